// Win32 side of the process seam: the program's own image and file, and the WOW64
// query and redirection switch.
#include "sys/process.h"

#include <windows.h>

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
