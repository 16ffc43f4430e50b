// Win32 side of the process seam: the program's own image and file, the WOW64 query and
// redirection switch, the worker thread and the setup command's processes.
#include "sys/process.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "sys/text.h"
#include "sys/win32/wide.h"

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
  // In UTF-16: a package may have any name, also one the ANSI code page cannot write.
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(GetModuleHandleW(nullptr), path, MAX_PATH);
  // A full buffer means the path was cut: treat as a failure.
  if (n == 0 || n >= MAX_PATH || !toUtf8(path, out, capacity)) {
    out[0] = '\0';
    return 0;
  }
  return lstrlenA(out);
}

// The running program's path comes from the system.
void setModuleFileName(const char*) {}

const void* moduleImageBase() { return GetModuleHandleW(nullptr); }

int wow64Switch(int mode) {
  if (!wow64State.kernelLookedUp) {
    wow64State.kernelLookedUp = true;
    wow64State.kernel = GetModuleHandleW(L"kernel32");
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
  Wide wideFile(file), wideDirectory(directory);
  // parameters may be longer than a path: a buffer of their own
  wchar_t wideParameters[1024];
  if (parameters && utf8ToWide(parameters, reinterpret_cast<char16_t*>(wideParameters), 1024) < 0) return nullptr;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = wideFile;
  info.lpParameters = parameters ? wideParameters : nullptr;
  info.lpDirectory = wideDirectory;
  info.nShow = SW_SHOW;
  // The shell may hand the file to a COM handler; it needs COM on the calling thread.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  bool started = ShellExecuteExW(&info) != 0;
  if (SUCCEEDED(com)) CoUninitialize();
  return started ? info.hProcess : nullptr;
}

ProcessHandle createProcess(const char* application, const char* commandLine, const char* directory) {
  wchar_t line[2048];  // CreateProcessW may write into it
  if (utf8ToWide(commandLine, reinterpret_cast<char16_t*>(line), 2048) < 0) return nullptr;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(Wide(application), line, nullptr, nullptr, FALSE, 0, nullptr, Wide(directory), &startup,
                      &process))
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
  Wide wideClass(className), wideTitle(title);
  return FindWindowW(wideClass.text[0] ? wideClass.text : nullptr, wideTitle.text[0] ? wideTitle.text : nullptr) !=
         nullptr;
}

int shortPathName(const char* path, char* out, int capacity) {
  wchar_t shortPath[MAX_PATH];
  DWORD n = GetShortPathNameW(Wide(path), shortPath, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || !toUtf8(shortPath, out, capacity)) {
    if (capacity > 0) out[0] = '\0';
    return 0;
  }
  return lstrlenA(out);
}

void openFolderInShell(const char* path) {
  // By its full path: a bare "explorer" is searched for, first in the package's own
  // folder, where a planted explorer.exe would run.
  wchar_t explorer[MAX_PATH + 16];
  UINT n = GetWindowsDirectoryW(explorer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  lstrcatW(explorer, explorer[n - 1] == L'\\' ? L"explorer.exe" : L"\\explorer.exe");
  // Quoted: explorer takes commas as the separators of its switches ("/select,PATH") and
  // Wine's cuts an unquoted path at its first blank.
  Wide folder(path);
  if (!folder.text[0] || lstrlenW(folder) >= MAX_PATH) return;
  wchar_t quoted[MAX_PATH + 3];
  wsprintfW(quoted, L"\"%s\"", folder.text);
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ShellExecuteW(nullptr, L"open", explorer, quoted, nullptr, SW_SHOWDEFAULT);
  if (SUCCEEDED(com)) CoUninitialize();
  MessageBeep(MB_ICONASTERISK);
}

void limitLibrarySearch() {
  // SetDefaultDllDirectories exists from Windows 7 with KB2533623 on; older systems get
  // at least the current folder taken out of the search.
  using SetDefaultDllDirectoriesEntry = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesEntry>(
      reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
  if (!setDefault || !setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */)) SetDllDirectoryA("");
}

}  // namespace sys
