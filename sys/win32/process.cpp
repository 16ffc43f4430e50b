// Win32 side of the process seam: the program's own image and file, the WOW64 query and
// redirection switch, the worker thread and the setup command's processes.
#include "sys/process.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

namespace sys {
namespace {
using Wow64RedirectionEntry = BOOLEAN(WINAPI*)(BOOLEAN);
using IsWow64ProcessEntry = BOOL(WINAPI*)(HANDLE, PBOOL);

// Filled on first use and kept until exit; IsWow64Process is deliberately not kept.
struct Wow64State {
  bool kernelLookedUp;
  HMODULE kernel;
  bool redirectionLookedUp;
  Wow64RedirectionEntry redirection;
};
Wow64State wow64State;
}  // namespace

int moduleFileName(char* out, int capacity) {
  if (capacity <= 0) return 0;
  out[0] = '\0';
  DWORD n = GetModuleFileNameA(GetModuleHandleA(nullptr), out, static_cast<DWORD>(capacity));
  // A full buffer means the path was cut: treat as a failure.
  if (n == 0 || n >= static_cast<DWORD>(capacity)) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<int>(n);
}

// The running program's path comes from the system.
void setModuleFileName(const char*) {}

const void* moduleImageBase() { return GetModuleHandleA(nullptr); }

int wow64Switch(int mode) {
  if (!wow64State.kernelLookedUp) {
    wow64State.kernelLookedUp = true;
    wow64State.kernel = GetModuleHandleA("kernel32");
  }
  if (!wow64State.kernel) return 0;
  if (!wow64State.redirectionLookedUp) {
    wow64State.redirectionLookedUp = true;
    wow64State.redirection = reinterpret_cast<Wow64RedirectionEntry>(
        reinterpret_cast<void*>(GetProcAddress(wow64State.kernel, "Wow64EnableWow64FsRedirection")));
  }
  if (mode != -1) {
    if (!wow64State.redirection) return 0;
    return wow64State.redirection(static_cast<BOOLEAN>(mode));
  }
  BOOL answer = FALSE;
  if (!wow64State.redirection) return 0;
  auto isWow64 = reinterpret_cast<IsWow64ProcessEntry>(
      reinterpret_cast<void*>(GetProcAddress(wow64State.kernel, "IsWow64Process")));
  if (isWow64 && !isWow64(GetCurrentProcess(), &answer)) answer = FALSE;
  return answer;
}

// The answer comes from the system.
void setWow64ForTests(int) {}

}  // namespace sys

namespace sys {

namespace {
DWORD WINAPI threadStart(void* entry) {
  reinterpret_cast<void (*)()>(entry)();
  return 0;
}
}  // namespace

ThreadHandle startThread(void (*entry)()) {
  return CreateThread(nullptr, 0, threadStart, reinterpret_cast<void*>(entry), 0, nullptr);
}

void joinThread(ThreadHandle thread) {
  if (!thread) return;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

void sleepMs(uint32_t ms) { Sleep(ms); }

ProcessHandle shellExecute(const char* file, const char* parameters, const char* directory) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = file;
  info.lpParameters = parameters;
  info.lpDirectory = directory;
  info.nShow = SW_SHOW;
  // The shell may hand the file to a COM handler; it needs COM on the calling thread.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  bool started = ShellExecuteExA(&info) != 0;
  if (SUCCEEDED(com)) CoUninitialize();
  return started ? info.hProcess : nullptr;
}

ProcessHandle createProcess(const char* application, const char* commandLine, const char* directory) {
  char line[1024];
  lstrcpynA(line, commandLine, sizeof line);  // CreateProcessA may write into it
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(application, line, nullptr, nullptr, FALSE, 0, nullptr, directory, &startup, &process))
    return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

void waitForInputIdle(ProcessHandle process) { WaitForInputIdle(process, INFINITE); }

bool getExitCode(ProcessHandle process, uint32_t* code) {
  DWORD value = 0;
  if (!GetExitCodeProcess(process, &value)) return false;
  *code = value;
  return true;
}

bool waitForProcess(ProcessHandle process, uint32_t ms) {
  return WaitForSingleObject(process, ms == kWaitForever ? INFINITE : ms) != WAIT_TIMEOUT;
}

void closeProcess(ProcessHandle process) {
  if (process) CloseHandle(process);
}

bool windowExists(const char* className, const char* title) {
  return FindWindowA(className && className[0] ? className : nullptr,
                     title && title[0] ? title : nullptr) != nullptr;
}

int shortPathName(const char* path, char* out, int capacity) {
  DWORD n = GetShortPathNameA(path, out, static_cast<DWORD>(capacity));
  if (n == 0 || n >= static_cast<DWORD>(capacity)) {
    if (capacity > 0) out[0] = '\0';
    return 0;
  }
  return static_cast<int>(n);
}

void openFolderInShell(const char* path) {
  // By its full path: a bare "explorer" is searched for, first in the package's own
  // folder, where a planted explorer.exe would run.
  char explorer[MAX_PATH + 16];
  UINT n = GetWindowsDirectoryA(explorer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  lstrcatA(explorer, explorer[n - 1] == '\\' ? "explorer.exe" : "\\explorer.exe");
  // Quoted: explorer takes commas as the separators of its switches ("/select,PATH") and
  // Wine's cuts an unquoted path at its first blank.
  char quoted[MAX_PATH + 3];
  wsprintfA(quoted, "\"%s\"", path);
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ShellExecuteA(nullptr, "open", explorer, quoted, nullptr, SW_SHOWDEFAULT);
  if (SUCCEEDED(com)) CoUninitialize();
  MessageBeep(MB_ICONASTERISK);
}

void limitLibrarySearch() {
  // SetDefaultDllDirectories exists from Windows 7 with KB2533623 on; older systems get
  // at least the current folder taken out of the search.
  using SetDefaultDllDirectoriesEntry = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesEntry>(
      reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
  if (!setDefault || !setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */)) SetDllDirectoryA("");
}

}  // namespace sys
