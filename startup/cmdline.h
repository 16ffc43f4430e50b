// Process start: the argument text, its switches, the archive path and a destination.
#pragma once

constexpr int kArgumentBytes = 512;   // working copy: 511 bytes of argument text and NUL

// The text behind the program name and the blanks after it.
const char* skipProgramName(const char* commandLine);

#include <cstdint>

// Applies the switches to sfxSettings and picks the archive path (260 bytes, made full
// against the current folder) and an optional destination. True to go on (archivePath
// filled, or empty for the own payload); false to stop without any message, *exitCode
// then saying why (kExitBadCommandLine, kExitNotFound).
bool parseCommandLine(const char* argumentText, char* archivePath, uint32_t* exitCode);

// Resets the settings, parses the argument text and runs the extraction; returns the
// process's exit code.
uint32_t sfxMain(const void* instance, const char* argumentText);
