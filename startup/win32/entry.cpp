// Process entry of the stub: no C runtime start-up arguments are needed, the command
// line is read from the system so the program name rules stay ours.
#include <windows.h>

#include "extract/run_driver.h"
#include "startup/cmdline.h"
#include "sys/text.h"

// The runtime's start-up installs this math-error hook. The library's own prints to a
// standard error stream that a GUI program does not have, and brings half a kilobyte of
// text and formatting into the stub; the stub does no floating-point math.
extern "C" int _matherr(struct _exception*) { return 0; }

// The runtime's start-up also applies pseudo-relocations, which only data imported from a
// library without dllimport needs. The stub imports none (the linker leaves the list
// empty), and the runtime's relocator brings a kilobyte of code and error texts; should a
// list ever appear, the stub ends at once rather than run on unrelocated data.
extern "C" char __RUNTIME_PSEUDO_RELOC_LIST__, __RUNTIME_PSEUDO_RELOC_LIST_END__;
extern "C" void _pei386_runtime_relocator() {
  if (&__RUNTIME_PSEUDO_RELOC_LIST__ != &__RUNTIME_PSEUDO_RELOC_LIST_END__) ExitProcess(3);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // In UTF-16, as the system holds it: an archive or destination named on it may have any
  // name. Room for the program's path and the longest argument text the parser takes; a
  // longer line, or one that does not convert (a lone surrogate), is refused.
  char commandLine[3 * 260 + kArgumentBytes + 8];
  if (sys::wideToUtf8(reinterpret_cast<const char16_t*>(GetCommandLineW()), commandLine, sizeof commandLine) < 0)
    ExitProcess(kExitBadCommandLine);
  const char* arguments = skipProgramName(commandLine);
  ExitProcess(static_cast<UINT>(sfxMain(GetModuleHandleW(nullptr), arguments)));
}
