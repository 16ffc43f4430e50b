// Win32 side of the user-interface seam: real message boxes, the program's own string
// table, and the progress window's private message.
#include "sys/ui.h"

#include <windows.h>
#include <commctrl.h>

namespace sys {
namespace {
// Message 111 moves the progress bar; the value is the bytes written so far / 1024.
constexpr UINT kProgressMessage = 111;

struct Win32UiState {
  HWND progressWindow;
};
Win32UiState uiState;
}  // namespace

int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned flags) {
  return MessageBoxA(static_cast<HWND>(owner), text, caption, flags);
}

int loadString(unsigned id, char* buffer, int capacity) {
  if (capacity <= 0) return 0;
  buffer[0] = '\0';
  // An executable's instance handle is its module handle.
  return LoadStringA(GetModuleHandleA(nullptr), id, buffer, capacity);
}

WindowHandle progressWindow() { return uiState.progressWindow; }
void setProgressWindow(WindowHandle window) { uiState.progressWindow = static_cast<HWND>(window); }

void sendProgress(uint32_t kibWritten) {
  if (uiState.progressWindow)
    SendMessageA(uiState.progressWindow, kProgressMessage, 0, static_cast<LPARAM>(kibWritten));
}

// Hooks exist for the windowless build only.
void setMessageHook(MessageHook) {}
void setProgressHook(ProgressHook) {}

void initCommonControls() { InitCommonControls(); }

}  // namespace sys
