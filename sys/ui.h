// Platform seam: message boxes, string table, progress window messages.
// Win32 side: the real user interface. POSIX side: hooks for tests and the host tool.
#pragma once
#include <cstdint>

namespace sys {

using WindowHandle = void*;

// MessageBox flags and results, with the values of the Win32 API.
enum : unsigned {
  kMbOk = 0x0, kMbOkCancel = 0x1, kMbYesNo = 0x4,
  kMbIconError = 0x10, kMbIconQuestion = 0x20, kMbIconWarning = 0x30,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

// Shows a message box; returns the button pressed (kIdOk, kIdYes, ...).
int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned flags);

// Loads string `id` of the string table into `buffer` (NUL-terminated, cut to capacity).
// Returns the number of bytes copied, 0 when the string does not exist.
int loadString(unsigned id, char* buffer, int capacity);

// The progress window of the running extraction, or null when there is none.
WindowHandle progressWindow();
void setProgressWindow(WindowHandle window);

// Message 111 to the progress window: kibWritten = bytes written so far / 1024.
void sendProgress(uint32_t kibWritten);

// Lets tests and the host tool see what the core would show. A null hook restores the
// default (POSIX: text to stderr, default button; Win32: the real message box). The stub
// never sets one; the Windows test programs do, as they have no user to answer.
using MessageHook = int (*)(WindowHandle owner, const char* text, const char* caption, unsigned flags);
void setMessageHook(MessageHook hook);
using ProgressHook = void (*)(uint32_t kibWritten);
void setProgressHook(ProgressHook hook);

}  // namespace sys

namespace sys {
// InitCommonControls (progress bar, animation); nothing on POSIX.
void initCommonControls();
}  // namespace sys
