// POSIX side of the process seam: the host tool names the "own" file explicitly.
#include "sys/process.h"

#include <cstring>

namespace sys {
namespace {
struct PosixProcessState {
  char moduleFileName[260] = "";
  int wow64Answer = 0;
};
PosixProcessState processState;
}  // namespace

int moduleFileName(char* out, int capacity) {
  if (capacity <= 0) return 0;
  int n = static_cast<int>(std::strlen(processState.moduleFileName));
  if (n >= capacity) n = capacity - 1;
  std::memcpy(out, processState.moduleFileName, n);
  out[n] = '\0';
  return n;
}

void setModuleFileName(const char* path) {
  std::strncpy(processState.moduleFileName, path, sizeof processState.moduleFileName - 1);
  processState.moduleFileName[sizeof processState.moduleFileName - 1] = '\0';
}

const void* moduleImageBase() { return nullptr; }

int wow64Switch(int mode) { return mode == -1 ? processState.wow64Answer : 0; }
void setWow64ForTests(int answer) { processState.wow64Answer = answer; }

}  // namespace sys

// Threads are real; the processes of the setup command are a script for the tests.
#include <pthread.h>
#include <unistd.h>

#include <string>

namespace sys {
namespace {
struct ProcessFake {
  ProcessScript script;
  std::string log;
  uint64_t sleptMs = 0;
  uint32_t polls = 0;
  uint32_t searches = 0;
  uint32_t exitCodeCalls = 0;
};
ProcessFake processFake;
int fakeProcess;  // the one "process" handle the fake hands out

void logLine(const std::string& line) { processFake.log += line + "\n"; }
std::string text(const char* s) { return s ? s : "(null)"; }

void* threadStart(void* entry) {
  reinterpret_cast<void (*)()>(entry)();
  return nullptr;
}
}  // namespace

ThreadHandle startThread(void (*entry)()) {
  auto* thread = new pthread_t;
  if (pthread_create(thread, nullptr, threadStart, reinterpret_cast<void*>(entry)) != 0) {
    delete thread;
    return nullptr;
  }
  return thread;
}

void joinThread(ThreadHandle handle) {
  if (!handle) return;
  auto* thread = static_cast<pthread_t*>(handle);
  pthread_join(*thread, nullptr);
  delete thread;
}

void sleepMs(uint32_t ms) { processFake.sleptMs += ms; }

ProcessHandle shellExecute(const char* file, const char* parameters, const char* directory) {
  logLine("shellExecute " + text(file) + "|" + text(parameters) + "|" + text(directory));
  return processFake.script.launchFails ? nullptr : &fakeProcess;
}

ProcessHandle createProcess(const char* application, const char* commandLine, const char* directory) {
  logLine("createProcess " + text(application) + "|" + text(commandLine) + "|" + text(directory));
  return processFake.script.launchFails ? nullptr : &fakeProcess;
}

void waitForInputIdle(ProcessHandle) { logLine("inputIdle"); }

bool getExitCode(ProcessHandle, uint32_t* code) {
  logLine("exitCode");
  *code = processFake.exitCodeCalls++ == 0 ? processFake.script.exitCode : processFake.script.finalExitCode;
  return true;
}

bool waitForProcess(ProcessHandle, uint32_t ms) {
  if (ms == kWaitForever) {
    logLine("wait forever");
    return true;
  }
  return processFake.polls++ >= processFake.script.runningPolls;
}

void closeProcess(ProcessHandle) { logLine("close"); }

bool windowExists(const char* className, const char* title) {
  const ProcessScript& s = processFake.script;
  uint32_t call = ++processFake.searches;
  bool named = (className && className[0] && text(className) == s.windowClass) ||
               (title && title[0] && text(title) == s.windowTitle);
  return named && s.windowAfterSearches != 0 && call >= s.windowAfterSearches &&
         call < s.windowAfterSearches + s.windowStays;
}

int shortPathName(const char* path, char* out, int capacity) {
  if (processFake.script.shortPathFails || capacity <= 0) {
    if (capacity > 0) out[0] = '\0';
    return 0;
  }
  std::string shortForm = "SHORT~1(" + text(path) + ")";
  if (static_cast<int>(shortForm.size()) >= capacity) return 0;
  std::memcpy(out, shortForm.c_str(), shortForm.size() + 1);
  return static_cast<int>(shortForm.size());
}

void openFolderInShell(const char* path) { logLine("openFolder " + text(path)); }

void limitLibrarySearch() {}

void setProcessScriptForTests(const ProcessScript& script) {
  processFake = ProcessFake{};
  processFake.script = script;
}
const char* processLogForTests() { return processFake.log.c_str(); }
uint64_t sleptMsForTests() { return processFake.sleptMs; }
uint32_t windowSearchesForTests() { return processFake.searches; }

}  // namespace sys
