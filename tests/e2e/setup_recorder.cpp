// A stand-in setup program: records how it was started, then behaves like an installer
// as its arguments say. GUI program, so the shell's input-idle wait applies to it.
//
//   recorder.exe [--sleep MS] [--window MS] [--exit CODE] [anything else]
//     --sleep MS   stay running MS milliseconds before ending (serving its message queue)
//     --exit CODE  end with this exit code (an installer's 3010, "restart needed")
//     --window MS  start a second process that shows a window titled "Setup" for MS
//                  milliseconds, and end at once (an installer that hands over)
// The record goes to the file named by ZAROZA_SETUP_RECORD (default C:\setup-record.txt):
// "command=", "folder=" (current folder), "program=" and one "file=" line per file
// beside the program.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

// Texts go to the record in UTF-8, whatever the system's code page: the scripts compare
// names that no single code page holds.
void put(FILE* out, const char* key, const wchar_t* text) {
  char utf8[4 * MAX_PATH];
  if (!WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr)) std::strcpy(utf8, "?");
  std::fprintf(out, "%s=%s\n", key, utf8);
}

void record() {
  char path[MAX_PATH] = "C:\\setup-record.txt";
  GetEnvironmentVariableA("ZAROZA_SETUP_RECORD", path, MAX_PATH);
  FILE* out = std::fopen(path, "w");
  if (!out) return;
  wchar_t text[MAX_PATH];
  put(out, "command", GetCommandLineW());
  GetCurrentDirectoryW(MAX_PATH, text);
  put(out, "folder", text);
  GetModuleFileNameW(nullptr, text, MAX_PATH);
  put(out, "program", text);
  if (wchar_t* slash = wcsrchr(text, L'\\')) lstrcpyW(slash + 1, L"*");
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(text, &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) put(out, "file", found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  std::fclose(out);
}

// Waits like a program with a user interface: its message queue is served all along, so
// the launcher's input-idle wait sees it ready.
void serveMessagesFor(DWORD ms) {
  // Waits in GetMessage, as a program with a user interface does; Wine reports it
  // input-idle only then.
  UINT_PTR timer = SetTimer(nullptr, 0, ms ? ms : 1, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.wParam == timer) break;
    DispatchMessageA(&message);
  }
  KillTimer(nullptr, timer);
}

void showSetupWindow(DWORD ms) {
  HWND window = CreateWindowExA(0, "STATIC", "Setup", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 80,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  serveMessagesFor(ms);
  DestroyWindow(window);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--show-window")) {  // the handed-over installer
      showSetupWindow(static_cast<DWORD>(std::atoi(argv[i + 1])));
      return 0;
    }
  }
  record();
  serveMessagesFor(0);
  int exitCode = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--exit")) exitCode = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--sleep")) {
      // A window of its own, as installers have.
      HWND window = CreateWindowExA(0, "STATIC", "Recorder", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 80,
                                    nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
      serveMessagesFor(static_cast<DWORD>(std::atoi(argv[i + 1])));
      DestroyWindow(window);
    }
    if (!std::strcmp(argv[i], "--window")) {
      // Copied out of the destination first, as real installers do before it is deleted.
      char program[MAX_PATH], copy[MAX_PATH], line[2 * MAX_PATH];
      GetModuleFileNameA(nullptr, program, MAX_PATH);
      GetTempPathA(MAX_PATH, copy);
      std::strcat(copy, "recorder-window.exe");
      CopyFileA(program, copy, FALSE);
      std::snprintf(line, sizeof line, "\"%s\" --show-window %s", copy, argv[i + 1]);
      STARTUPINFOA startup{};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION process{};
      if (CreateProcessA(copy, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
      }
    }
  }
  return exitCode;
}
