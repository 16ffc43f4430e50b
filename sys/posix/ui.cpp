// POSIX side of the user-interface seam: no windows. Messages go to a hook (tests, the
// host tool) or to stderr; the string table is the English one.
#include "sys/ui.h"

#include <cstdio>
#include <cstring>

#include "ui/strings.h"

namespace sys {
namespace {
struct PosixUiState {
  MessageHook messageHook = nullptr;
  ProgressHook progressHook = nullptr;
  ReplaceHook replaceHook = nullptr;
  DestinationHook destinationHook = nullptr;
  WindowHandle progressWindow = nullptr;
};
PosixUiState uiState;
}  // namespace

int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned flags) {
  if (uiState.messageHook) return uiState.messageHook(owner, text, caption, flags);
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  // Without a user, take the affirmative button.
  return (flags & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}

int loadString(unsigned id, char* buffer, int capacity) {
  if (capacity <= 0) return 0;
  buffer[0] = '\0';
  const char* s = englishString(id);
  if (!s) return 0;
  int n = static_cast<int>(std::strlen(s));
  if (n > capacity - 1) n = capacity - 1;
  std::memcpy(buffer, s, n);
  buffer[n] = '\0';
  return n;
}

WindowHandle progressWindow() { return uiState.progressWindow; }
void setProgressWindow(WindowHandle window) { uiState.progressWindow = window; }

void sendProgress(uint32_t kib) {
  if (uiState.progressHook) uiState.progressHook(kib);
}

void setMessageHook(MessageHook hook) { uiState.messageHook = hook; }
void setStringFallback(StringFallback) {}  // the English table is the only one here
void setProgressHook(ProgressHook hook) { uiState.progressHook = hook; }

void initCommonControls() {}

// No dialog to show: the destination stands as configured.
int ShowDestinationDialog(const char* archiveName) {
  return uiState.destinationHook ? uiState.destinationHook(archiveName) : kIdOk;
}
void setDestinationHook(DestinationHook hook) { uiState.destinationHook = hook; }

// Without someone to ask, an existing file is kept.
int ShowReplaceDialog(const ReplaceInfo& info) {
  return uiState.replaceHook ? uiState.replaceHook(info) : kReplaceNo;
}
void setReplaceHook(ReplaceHook hook) { uiState.replaceHook = hook; }

// No windows: the worker runs on the calling thread, so there is no loop to run either.
bool CreateProgressWindow(uint32_t) { return true; }
void setProgressMemberText(const char*) {}
void closeProgressWindow() {}
void runProgressMessageLoop() {}

void openCrcCheckWindow() {}
void setCrcCheckRange(int32_t) {}
void setCrcCheckPosition(uint32_t) {}
void pumpOneMessage() {}
void closeCrcCheckWindow() {}

}  // namespace sys
