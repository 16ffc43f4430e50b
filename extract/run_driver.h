// The run from start to end: open, scan, question, check, destination, extraction,
// final action.
#pragma once

// archivePath (260 bytes): empty for the program's own payload, which then receives the
// program's path. Returns 1 when the run completed with its final action, 0 otherwise.
int runExtraction(char* archivePath);
