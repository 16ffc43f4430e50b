// Process entry of the stub: no C runtime start-up arguments are needed, the command
// line is read from the system so the program name rules stay ours.
#include <windows.h>

#include "startup/cmdline.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* arguments = skipProgramName(GetCommandLineA());
  ExitProcess(static_cast<UINT>(sfxMain(GetModuleHandleA(nullptr), arguments)));
}
