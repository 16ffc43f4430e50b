// Platform seam: the running program's own image and file, WOW64.
#pragma once
#include <cstdint>

namespace sys {

// Full path of the program's own file (GetModuleFileNameA); returns its length, 0 on failure.
// POSIX side: the path given to setModuleFileName (the host tool and tests set it).
int moduleFileName(char* out, int capacity);
void setModuleFileName(const char* path);

// Base of the program's own image in memory (its module handle), null on POSIX.
const void* moduleImageBase();

}  // namespace sys

namespace sys {

// WOW64 query and file-system redirection switch, looked up lazily in "kernel32".
// mode -1: non-zero when the process runs under WOW64 (0 when the redirection entry is
// missing); mode 0: redirection off, 1: back on (result of Wow64EnableWow64FsRedirection,
// 0 when that entry does not exist). POSIX side: the query answers setWow64ForTests'
// value (0 by default) and switching returns 0.
int wow64Switch(int mode);
void setWow64ForTests(int answer);

}  // namespace sys

namespace sys {

// The extraction worker's thread: started once, joined once.
using ThreadHandle = void*;
ThreadHandle startThread(void (*entry)());  // null when it cannot be started
void joinThread(ThreadHandle thread);       // waits without a time limit, then closes it

void sleepMs(uint32_t ms);

// Child processes of the setup command.
using ProcessHandle = void*;
// ShellExecuteExA with the default verb, SW_SHOW and SEE_MASK_NOCLOSEPROCESS: the process
// started, or null when the call failed or gave no process.
ProcessHandle shellExecute(const char* file, const char* parameters, const char* directory);
// CreateProcessA of `application` (a full path: nothing is searched for) with the whole
// command line, handles not inherited, in `directory`. Null on failure.
ProcessHandle createProcess(const char* application, const char* commandLine, const char* directory);
void waitForInputIdle(ProcessHandle process);   // no time limit
bool getExitCode(ProcessHandle process, uint32_t* code);
// True once the process has ended, after waiting at most ms (0: just ask; kWaitForever).
constexpr uint32_t kWaitForever = 0xFFFFFFFF;
bool waitForProcess(ProcessHandle process, uint32_t ms);
void closeProcess(ProcessHandle process);
constexpr uint32_t kStillActive = 259;

// FindWindowA; a null or empty name matches any.
bool windowExists(const char* className, const char* title);
// GetShortPathNameA; 0 on failure (out is then empty).
int shortPathName(const char* path, char* out, int capacity);
// The destination in the shell's file browser ("explorer" with the path), then a beep.
void openFolderInShell(const char* path);

// Libraries loaded at run time come from the system folder only (called first thing).
void limitLibrarySearch();

#ifndef _WIN32
// POSIX side only: what the process calls answer, and a log of what they were asked, so
// the launcher's rules run in native tests. Sleeps are summed, not logged.
struct ProcessScript {
  bool launchFails = false;         // shellExecute / createProcess answer null
  uint32_t exitCode = 0;            // getExitCode's answer at the first call
  uint32_t runningPolls = 0;        // waitForProcess(.., 0) answers false this many times
  const char* windowClass = "";     // windowExists answers true for this class or title ...
  const char* windowTitle = "";
  uint32_t windowAfterSearches = 0; // ... from this call on (0: never) ...
  uint32_t windowStays = 0;         // ... for this many calls
  bool shortPathFails = false;
  uint32_t finalExitCode = 0;       // getExitCode's answer at later calls
};
void setProcessScriptForTests(const ProcessScript& script);
// One line per call ("shellExecute FILE|PARAMETERS|DIRECTORY", "createProcess APP|LINE|DIR",
// "inputIdle", "exitCode", "wait FOREVER", "close", "openFolder PATH").
const char* processLogForTests();
uint64_t sleptMsForTests();
uint32_t windowSearchesForTests();
#endif

}  // namespace sys
