// Path text operations and folder variables. Path texts are ANSI strings in the system
// code page, at most 259 bytes plus NUL. Every search for a backslash or a forbidden
// character works on the UTF-16 form, so a double-byte character whose trail byte is
// 0x5C is never taken for a separator.
#pragma once
#include <cstdint>

constexpr int kPathBytes = 260;   // ANSI path text buffers
constexpr int kWideUnits = 520;   // toWide scratch area

// Conversions into process-wide scratch areas (520 UTF-16 units, 260 bytes). Each call
// clears and overwrites the previous result of its kind; copy before converting again.
// A text that does not fit yields an empty result.
const char16_t* toWide(const char* text);
const char* toNarrow(const char16_t* text);

// In-place text operations. Only ensureTrailingBackslash can grow the text; it returns
// false (text unchanged) when the byte it needs does not fit `capacity`.
void trimTrailingSpaces(char* text);
void slashesToBackslashes(char* text);
bool ensureTrailingBackslash(char* text, int capacity);
void removeTrailingBackslash(char* text);
void stripParentReferences(char* text);
// path -> folder (drive and directory, keeps its trailing backslash) and name
// (file name and extension); both outputs have kPathBytes of room.
void splitFolderAndName(const char* path, char* folder, char* name);

// Expands a folder variable at the start of the configuration block's destination text
// into sfxSettings.destinationPath. Returns createdTempFolder: true when the destination
// is a private folder below the temporary folder (destination exactly "%temp%" with the
// block's deleteAfterSetup set). An empty text writes nothing and returns false. A result
// longer than 259 bytes is never cut: the destination is left empty (the archive's folder
// is then taken) and the result is false.
bool expandDestinationMacro(const char* blockDestination, uint32_t deleteAfterSetup,
                            const char* programPath);

// Value of the current user's shell-folders key; out (256 bytes) stays empty on failure.
void readShellFolder(const char* valueName, char* out);
