// Platform seam: message boxes, the string table, the dialogs and the progress window.
// Win32 side: sys/win32/ui.cpp (boxes, strings) and the window procedures in ui/win32/.
// POSIX side: hooks that tests and the host tool answer through.
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
// Win32 side: texts for a program without the string table (the Windows test programs
// take the English table, so the stub does not carry it twice).
using StringFallback = const char* (*)(unsigned id);
void setStringFallback(StringFallback fallback);

// The progress window of the running extraction, or null when there is none.
WindowHandle progressWindow();
void setProgressWindow(WindowHandle window);

// Message 111 to the progress window: the bar's position in KiB of archive consumed.
void sendProgress(uint32_t kib);

// Lets tests and the host tool see what the core would show. A null hook restores the
// default (POSIX: text to stderr, default button; Win32: the real message box). The stub
// never sets one; the Windows test programs do, as they have no user to answer.
using MessageHook = int (*)(WindowHandle owner, const char* text, const char* caption, unsigned flags);
void setMessageHook(MessageHook hook);
using ProgressHook = void (*)(uint32_t kib);
void setProgressHook(ProgressHook hook);

// InitCommonControls (progress bar, animation); nothing on POSIX.
void initCommonControls();

// What the replace dialog shows: the existing file and the member that would replace it.
// Stamps are DOS date-times (date in the high 16 bits), 0 when unknown.
struct ReplaceInfo {
  const char* existingPath;
  uint32_t existingStamp;
  uint32_t memberStamp;
  uint32_t existingSize;
  uint32_t memberSize;
};
// Results of ShowReplaceDialog.
enum : int { kReplaceYes = 6, kReplaceNo = 7, kReplaceAll = 100, kReplaceCancel = -1 };

// Modal destination dialog; edits sfxSettings.destinationPath. 1 OK, 2 Cancel.
int ShowDestinationDialog(const char* archiveName);
using DestinationHook = int (*)(const char* archiveName);
void setDestinationHook(DestinationHook hook);
// Modal replace dialog owned by the progress window (called on the worker thread).
// Newer sets sfxSettings.newerOnly and answers kReplaceYes; Cancel closes the progress
// window and answers kReplaceCancel.
int ShowReplaceDialog(const ReplaceInfo& info);
using ReplaceHook = int (*)(const ReplaceInfo& info);
void setReplaceHook(ReplaceHook hook);

// The progress window, modeless on the calling (main) thread; archiveBytes sets the bar's
// range. False when it cannot be created.
bool CreateProgressWindow(uint32_t archiveBytes);
// Control 114: the member being written (called on the worker thread).
void setProgressMemberText(const char* path);
// The worker's last act: WM_CLOSE to the progress window, which ends the message loop.
void closeProgressWindow();
// The main thread's loop while the worker runs; returns once the progress window is gone.
void runProgressMessageLoop();

// The CRC-check window: shown while the archive is read, no window procedure of its own.
void openCrcCheckWindow();
void setCrcCheckRange(int32_t maximum);
void setCrcCheckPosition(uint32_t position);
// Takes at most one message of the thread's queue and dispatches it.
void pumpOneMessage();
void closeCrcCheckWindow();

}  // namespace sys
