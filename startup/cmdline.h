// Process start: the argument text, its switches, the archive path and a destination.
#pragma once

// Working copy of the argument text: UTF-8 of up to 511 characters (three bytes each).
constexpr int kArgumentBytes = 3 * 512;

// The text behind the program name and the blanks after it.
const char* skipProgramName(const char* commandLine);

#include <cstdint>

// Applies the switches to sfxSettings and picks the archive path (kPathBytes, made full
// against the current folder) and an optional destination. True to go on (archivePath
// filled, or empty for the own payload); false to stop without any message, *exitCode
// then saying why (kExitBadCommandLine, kExitNotFound).
bool parseCommandLine(const char* argumentText, char* archivePath, uint32_t* exitCode);

// Resets the settings, parses the argument text and runs the extraction; returns the
// process's exit code.
uint32_t sfxMain(const void* instance, const char* argumentText);
