// Opens one window of the real user interface (the code and resources of the stub) and
// prints what it answered, so the end-to-end scripts can drive it with uidriver before
// there is a whole run. Output lines are "key=value" in UTF-8.
//
//   ui_probe destination PATH ARCHIVENAME     destination dialog on PATH
//   ui_probe browse PATH                      the shell folder browser starting at PATH
//   ui_probe replace EXISTING EXISTINGSTAMP MEMBERSTAMP EXISTINGSIZE MEMBERSIZE
//                                             replace dialog from a worker thread, owned by
//                                             a progress window as in a run
//   ui_probe progress ARCHIVEBYTES            progress window; a stand-in worker closes it
//                                             1.5 s after the run is stopped
//   ui_probe crc ARCHIVEBYTES CHECKEDBYTES MS CRC-check window, shown for MS
//   ui_probe message NAME [ARGUMENT] [owned]  one message box of the table
// Arguments are taken from the UTF-16 command line and handed on in UTF-8, as the stub does.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "extract/run_state.h"
#include "startup/settings.h"
#include "sys/ui.h"
#include "sys/win32/wide.h"
#include "ui/messages.h"
#include "ui/win32/dialogs.h"

namespace {

// How long a stopped stand-in worker keeps the window: long enough for the harness to see
// it still open, stretched by ZAROZA_TIME_FACTOR (10 under qemu's emulation) as every time
// limit of the harness.
DWORD holdMs() {
  char factor[16] = "";
  GetEnvironmentVariableA("ZAROZA_TIME_FACTOR", factor, sizeof factor);
  DWORD n = static_cast<DWORD>(std::atoi(factor));
  return 1500 * (n >= 1 && n <= 100 ? n : 1);
}

void print(const char* key, const char* utf8Value) {
  std::printf("%s=%s\n", key, utf8Value);
  std::fflush(stdout);
}

void printNumber(const char* key, long value) {
  char text[32];
  std::snprintf(text, sizeof text, "%ld", value);
  print(key, text);
}

uint32_t number(const char* text) { return static_cast<uint32_t>(std::strtoul(text, nullptr, 0)); }

int probeDestination(const char* path, const char* archiveName) {
  std::strcpy(sfxSettings.destinationPath, path);
  printNumber("result", sys::ShowDestinationDialog(archiveName));
  print("destination", sfxSettings.destinationPath);
  return 0;
}

// The replace dialog and the message boxes of the worker run on a second thread while
// the main thread pumps the progress window, as in an extraction.
struct WorkerJob {
  DWORD (*body)(WorkerJob&);
  sys::ReplaceInfo info;
  Message message;
  const char* argument;
  long result;
  bool progressWasClosed;
};

DWORD WINAPI runWorker(void* parameter) {
  auto& job = *static_cast<WorkerJob*>(parameter);
  return job.body(job);
}

DWORD replaceBody(WorkerJob& job) {
  HWND progress = static_cast<HWND>(sys::progressWindow());
  job.result = sys::ShowReplaceDialog(job.info);
  job.progressWasClosed = !IsWindow(progress);
  sys::closeProgressWindow();
  return 0;
}

DWORD messageBody(WorkerJob& job) {
  job.result = showMessage(job.message, job.argument);
  sys::closeProgressWindow();
  return 0;
}

void runBesideProgressWindow(WorkerJob& job) {
  if (!sys::CreateProgressWindow(1 << 20)) {
    print("error", "no progress window");
    std::exit(1);
  }
  HANDLE worker = CreateThread(nullptr, 0, runWorker, &job, 0, nullptr);
  sys::runProgressMessageLoop();
  WaitForSingleObject(worker, INFINITE);
  CloseHandle(worker);
}

int probeReplace(char** argv) {
  WorkerJob job{};
  job.body = replaceBody;
  job.info = {argv[0], number(argv[1]), number(argv[2]), number(argv[3]), number(argv[4])};
  runBesideProgressWindow(job);
  printNumber("result", job.result);
  printNumber("newerOnly", static_cast<long>(sfxSettings.newerOnly));
  print("progress", job.progressWasClosed ? "closed" : "open");
  return 0;
}

// Set once the loop has ended, so a window closed without a stop lets the worker go too.
volatile LONG loopEnded;
volatile LONG workerClosing;

DWORD WINAPI standInWorker(void*) {
  while (readRunStatus() == kRunGoing && !loopEnded) Sleep(20);
  if (loopEnded) return 0;
  Sleep(holdMs());
  InterlockedExchange(&workerClosing, 1);
  sys::closeProgressWindow();
  return 0;
}

int probeProgress(uint32_t archiveBytes) {
  if (!sys::CreateProgressWindow(archiveBytes)) return 1;
  HANDLE worker = CreateThread(nullptr, 0, standInWorker, nullptr, 0, nullptr);
  sys::runProgressMessageLoop();
  // Whether the loop ended before the worker stopped (the system-menu close) or after.
  print("loop", workerClosing ? "ended-by-worker" : "ended-before-worker");
  InterlockedExchange(&loopEnded, 1);
  WaitForSingleObject(worker, INFINITE);
  CloseHandle(worker);
  printNumber("status", readRunStatus());
  return 0;
}

int probeCrc(uint32_t archiveBytes, uint32_t checkedBytes, DWORD ms) {
  sys::openCrcCheckWindow();
  sys::setCrcCheckRange(static_cast<int32_t>(archiveBytes) / 102400);
  sys::setCrcCheckPosition(checkedBytes / 102400);
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    sys::pumpOneMessage();
    Sleep(10);
  }
  sys::closeCrcCheckWindow();
  print("crc", "closed");
  return 0;
}

// The seam sees the flags and owner of each box; the box itself is the real one.
struct ShownBox {
  unsigned flags;
  char owner[384];
};
ShownBox shownBox;

int showAndRecord(sys::WindowHandle owner, const char* text, const char* caption, unsigned flags) {
  shownBox.flags = flags;
  shownBox.owner[0] = '\0';
  wchar_t ownerText[128];
  if (owner && GetWindowTextW(static_cast<HWND>(owner), ownerText, 128))
    sys::toUtf8(ownerText, shownBox.owner, sizeof shownBox.owner);
  return MessageBoxW(static_cast<HWND>(owner), sys::Wide(text), sys::Wide(caption), flags);
}

const struct {
  const char* name;
  Message message;
} kMessages[] = {
    {"cannotCreateFile", Message::cannotCreateFile}, {"cannotOpenArchive", Message::cannotOpenArchive},
    {"notSupportedFormat", Message::notSupportedFormat}, {"folderQuestion", Message::folderQuestion},
    {"invalidFileName", Message::invalidFileName}, {"cannotCreateFolder", Message::cannotCreateFolder},
    {"crcCheckError", Message::crcCheckError}, {"needs64Bit", Message::needs64Bit},
    {"startupQuestion", Message::startupQuestion}, {"invalidHeader", Message::invalidHeader},
    {"crcError", Message::crcError}, {"badTableA", Message::badTableA},
    {"badTableB", Message::badTableB}, {"badTableC", Message::badTableC},
};

int probeMessage(const char* name, const char* argument, bool owned) {
  WorkerJob job{};
  job.body = messageBody;
  job.argument = argument;
  bool known = false;
  for (const auto& m : kMessages)
    if (std::strcmp(m.name, name) == 0) job.message = m.message, known = true;
  if (!known) return 2;
  std::strcpy(sfxSettings.promptTitle, "Question");
  std::strcpy(sfxSettings.promptText, argument ? argument : "");
  sys::setMessageHook(showAndRecord);
  if (owned) {
    runBesideProgressWindow(job);
  } else {
    job.result = showMessage(job.message, job.argument);
  }
  printNumber("answer", job.result);
  char flags[16];
  std::snprintf(flags, sizeof flags, "0x%02X", shownBox.flags);
  print("flags", flags);
  print("owner", shownBox.owner);
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** wideArguments = CommandLineToArgvW(GetCommandLineW(), &argc);
  static char texts[8][1024];
  char* argv[8] = {};
  if (!wideArguments || argc > 8) return 2;
  for (int i = 0; i < argc; ++i) {
    if (!sys::toUtf8(wideArguments[i], texts[i], sizeof texts[i])) return 2;
    argv[i] = texts[i];
  }
  sys::initCommonControls();
  if (argc < 3) return 2;
  const char* command = argv[1];
  if (!std::strcmp(command, "destination") && argc >= 4) return probeDestination(argv[2], argv[3]);
  if (!std::strcmp(command, "browse")) {
    char path[MAX_PATH];
    lstrcpynA(path, argv[2], MAX_PATH);
    printNumber("chosen", BrowseForFolder(nullptr, path));
    print("path", path);
    return 0;
  }
  if (!std::strcmp(command, "replace") && argc >= 7) return probeReplace(argv + 2);
  if (!std::strcmp(command, "progress")) return probeProgress(number(argv[2]));
  if (!std::strcmp(command, "crc") && argc >= 5) return probeCrc(number(argv[2]), number(argv[3]), number(argv[4]));
  if (!std::strcmp(command, "message"))
    return probeMessage(argv[2], argc > 3 ? argv[3] : nullptr, argc > 4 && !std::strcmp(argv[4], "owned"));
  return 2;
}
