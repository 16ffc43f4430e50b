// The run from start to end: open, scan, question, check, destination, extraction,
// final action.
#pragma once

#include <cstdint>

// How a run ended, as the process's exit code: the values Windows installers use, so that
// whatever started the package (often unattended) can tell.
enum RunExit : uint32_t {
  kExitSuccess = 0,
  kExitNotFound = 2,         // a named archive that does not exist; a stub without payload
  kExitBadCommandLine = 87,  // a command line refused as too long for its buffers
  kExitCancelled = 1602,     // No to the question, Cancel in a dialog or the progress window
  kExitFailed = 1603,        // damage, a member not written, a folder not made, nothing started
};

// archivePath (260 bytes): empty for the program's own payload, which then receives the
// program's path. Returns kExitSuccess when every member was extracted and checked (or
// kept by the user's choice) and the final action was taken; the setup program's own exit
// code when the run waited for it; else the code of what ended the run.
uint32_t runExtraction(char* archivePath);
