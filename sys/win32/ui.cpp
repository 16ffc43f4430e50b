// Win32 side of the user-interface seam: real message boxes, the program's own string
// table, and the progress window's private message.
#include "sys/ui.h"

#include <windows.h>
#include <commctrl.h>

#include "sys/text.h"
#include "sys/win32/wide.h"

#include <atomic>


namespace sys {
namespace {
// Message 111 moves the progress bar; the value is in KiB, the unit of its range.
constexpr UINT kProgressMessage = 111;

struct Win32UiState {
  // Written by the main thread, read by the worker for its messages.
  std::atomic<HWND> progressWindow;
  // Set only by test programs, which have no user to answer and no resources.
  MessageHook messageHook;
  ProgressHook progressHook;
  StringFallback stringFallback;
};
Win32UiState uiState;
}  // namespace

int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned flags) {
  if (uiState.messageHook) return uiState.messageHook(owner, text, caption, flags);
  // texts may hold a path longer than Wide takes, with the message around it
  wchar_t wideText[1024];
  if (utf8ToWide(text, reinterpret_cast<char16_t*>(wideText), 1024) < 0) wideText[0] = 0;
  return MessageBoxW(static_cast<HWND>(owner), wideText, Wide(caption), flags);
}

int loadString(unsigned id, char* buffer, int capacity) {
  if (capacity <= 0) return 0;
  buffer[0] = '\0';
  // An executable's instance handle is its module handle. The table's UTF-16 text, not
  // its ANSI form: a Japanese string shows on a system of any code page.
  wchar_t text[512];
  int n = LoadStringW(GetModuleHandleW(nullptr), id, text, 512);
  if (n > 0 && toUtf8(text, buffer, capacity)) return lstrlenA(buffer);
  // A program without the string table (a test program) may name where its texts come from.
  const char* s = uiState.stringFallback ? uiState.stringFallback(id) : nullptr;
  if (!s) return 0;
  for (n = 0; s[n] != '\0' && n < capacity - 1; ++n) buffer[n] = s[n];
  buffer[n] = '\0';
  return n;
}

WindowHandle progressWindow() { return uiState.progressWindow.load(); }
void setProgressWindow(WindowHandle window) { uiState.progressWindow = static_cast<HWND>(window); }

void sendProgress(uint32_t kib) {
  if (uiState.progressHook) uiState.progressHook(kib);
  if (HWND window = uiState.progressWindow.load())
    SendMessageW(window, kProgressMessage, 0, static_cast<LPARAM>(kib));
}

void setMessageHook(MessageHook hook) { uiState.messageHook = hook; }
void setStringFallback(StringFallback fallback) { uiState.stringFallback = fallback; }
void setProgressHook(ProgressHook hook) { uiState.progressHook = hook; }

void initCommonControls() { InitCommonControls(); }

}  // namespace sys
