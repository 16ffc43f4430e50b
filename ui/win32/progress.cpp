// The progress window (120), the main thread's message loop while the worker runs, and
// the CRC-check window (103).
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "extract/run_state.h"
#include "res/resource.h"
#include "sys/ui.h"
#include "sys/win32/wide.h"

namespace {

constexpr UINT kProgressMessage = 111;
constexpr UINT kPlayAnimation = 1025;
constexpr UINT kStopAnimation = 1026;
constexpr int kShellAnimation = 161;   // the file-copy animation of the shell library
constexpr int kAnimationX = 50;

struct ProgressWindowState {
  HWND window;
  HWND bar;
  HWND animation;
  HMODULE shellLibrary;
  uint32_t range;      // the bar's maximum: archive bytes / 1024
  HWND crcWindow;
};
ProgressWindowState progressState;

HINSTANCE programInstance() { return GetModuleHandleW(nullptr); }

// By its full path only: the program runs elevated from download folders, where a library
// of that name planted beside it must never be loaded.
HMODULE loadShellLibrary() {
  wchar_t path[MAX_PATH];
  UINT n = GetSystemDirectoryW(path, MAX_PATH);
  const wchar_t* name = L"\\shell32.dll";
  if (n == 0 || n + lstrlenW(name) >= MAX_PATH) return nullptr;
  if (path[n - 1] == L'\\') ++name;
  lstrcatW(path, name);
  return LoadLibraryW(path);
}

void startAnimation(HWND window) {
  ProgressWindowState& s = progressState;
  s.shellLibrary = loadShellLibrary();
  if (!s.shellLibrary) return;
  s.animation = CreateWindowExW(0, ANIMATE_CLASSW, nullptr,
                                WS_CHILD | WS_VISIBLE | ACS_TRANSPARENT | ACS_AUTOPLAY, 0, 0, 0, 0,
                                window, reinterpret_cast<HMENU>(1), s.shellLibrary, nullptr);
  if (!s.animation) return;
  SendMessageW(s.animation, ACM_OPENW, reinterpret_cast<WPARAM>(s.shellLibrary),
               reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kShellAnimation)));
  SetWindowPos(s.animation, nullptr, kAnimationX, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void initProgressWindow(HWND window, uint32_t archiveBytes) {
  ProgressWindowState& s = progressState;
  s.window = window;
  s.bar = GetDlgItem(window, IDC_PROGRESS_BAR);
  s.range = archiveBytes / 1024;
  SendMessageW(s.bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(s.range));
  startAnimation(window);
  sys::setProgressWindow(window);
}

// WM_CLOSE and the system-menu close: everything goes, and the loop of the main thread
// (the window's own thread) ends.
void destroyProgressWindow(HWND window) {
  ProgressWindowState& s = progressState;
  sys::setProgressWindow(nullptr);
  if (s.animation) DestroyWindow(s.animation);
  s.animation = nullptr;
  if (s.shellLibrary) FreeLibrary(s.shellLibrary);
  s.shellLibrary = nullptr;
  DestroyWindow(window);
  s.window = nullptr;
  s.bar = nullptr;
  PostQuitMessage(0);
}

INT_PTR CALLBACK progressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ProgressWindowState& s = progressState;
  switch (message) {
    case WM_INITDIALOG:
      initProgressWindow(window, static_cast<uint32_t>(lParam));
      return TRUE;
    case kProgressMessage: {
      // The position is in the unit of the range; damaged sizes must not overfill the bar.
      uint32_t position = static_cast<uint32_t>(lParam);
      SendMessageW(s.bar, PBM_SETPOS, position < s.range ? position : s.range, 0);
      return TRUE;
    }
    case kPlayAnimation:
      if (s.animation) SendMessageW(s.animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
      return TRUE;
    case kStopAnimation:
      if (s.animation) SendMessageW(s.animation, ACM_STOP, 0, 0);
      return TRUE;
    case WM_COMMAND:
      // Cancel only asks the worker to stop; it closes the window when it has.
      if (LOWORD(wParam) == IDCANCEL) stopRun(kRunCancelled);
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != SC_CLOSE) return FALSE;
      stopRun(kRunCancelled);
      destroyProgressWindow(window);
      return TRUE;
    case WM_CLOSE:
      destroyProgressWindow(window);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

namespace sys {

bool CreateProgressWindow(uint32_t archiveBytes) {
  // A window of UTF-16 texts: the member names it shows may be any the system allows.
  HWND window = CreateDialogParamW(programInstance(), MAKEINTRESOURCEW(IDD_PROGRESS), nullptr,
                                   progressProc, static_cast<LPARAM>(archiveBytes));
  if (!window) return false;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return true;
}

void setProgressMemberText(const char* path) {
  if (HWND window = static_cast<HWND>(progressWindow())) SetDlgItemTextW(window, IDC_MEMBER_PATH, Wide(path));
}

void closeProgressWindow() {
  if (HWND window = static_cast<HWND>(progressWindow())) SendMessageW(window, WM_CLOSE, 0, 0);
}

void runProgressMessageLoop() {
  MSG message;
  // GetMessage answers -1 on an error; that ends the loop rather than spinning on it.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    HWND window = progressState.window;
    if (window && IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void openCrcCheckWindow() {
  HWND window = CreateDialogParamW(programInstance(), MAKEINTRESOURCEW(IDD_CRC_CHECK), nullptr,
                                   nullptr, 0);
  progressState.crcWindow = window;
  if (!window) return;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
}

void setCrcCheckRange(int32_t maximum) {
  if (progressState.crcWindow)
    SendDlgItemMessageW(progressState.crcWindow, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, maximum);
}

void setCrcCheckPosition(uint32_t position) {
  if (progressState.crcWindow)
    SendDlgItemMessageW(progressState.crcWindow, IDC_PROGRESS_BAR, PBM_SETPOS, position, 0);
}

void pumpOneMessage() {
  MSG message;
  if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return;
  if (progressState.crcWindow && IsDialogMessageW(progressState.crcWindow, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void closeCrcCheckWindow() {
  if (progressState.crcWindow) DestroyWindow(progressState.crcWindow);
  progressState.crcWindow = nullptr;
}

}  // namespace sys
