// Process start: the argument text, its switches, the archive path and a destination.
#pragma once

constexpr int kArgumentBytes = 512;   // working copy: 511 bytes of argument text and NUL

// The text behind the program name and the blanks after it.
const char* skipProgramName(const char* commandLine);

// Applies the switches to sfxSettings and picks the archive path (260 bytes) and an
// optional destination. Returns 1 to go on (archivePath filled, or empty for the own
// payload), 0 to stop without any message.
int parseCommandLine(const char* argumentText, char* archivePath);

// Resets the settings, parses the argument text and runs the extraction. Always 0.
int sfxMain(const void* instance, const char* argumentText);
