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
