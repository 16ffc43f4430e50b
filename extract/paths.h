// Path text operations and folder variables. Path texts are UTF-8, as every text inside
// the program, and hold at most 259 UTF-16 units, the system's limit (MAX_PATH); a byte
// 0x5C is always a backslash. Rules that count characters work on the UTF-16 form.
#pragma once
#include <cstdint>

constexpr int kPathUnits = 260;                // MAX_PATH: 259 UTF-16 units and the NUL
constexpr int kPathBytes = 3 * kPathUnits;     // a path text buffer: 3 UTF-8 bytes per unit at most
constexpr int kWideUnits = 2 * kPathUnits;     // toWide scratch area: two paths joined

// UTF-16 units of a text, as the system counts a path's length (-1: not valid UTF-8).
int pathUnits(const char* text);
// True when a path text stays within the system's 259 units.
inline bool pathFits(const char* text) {
  int units = pathUnits(text);
  return units >= 0 && units < kPathUnits;
}
// True when two texts joined stay within the system's 259 units (false when either is not
// valid UTF-8).
inline bool joinedFits(const char* a, const char* b) {
  int x = pathUnits(a), y = pathUnits(b);
  return x >= 0 && y >= 0 && x + y < kPathUnits;
}

// Conversions into process-wide scratch areas (kWideUnits units, kPathBytes bytes). Each
// call clears and overwrites the previous result of its kind; copy before converting
// again. A text that does not fit or is not valid yields an empty result.
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
// longer than 259 units is never cut: the destination is left empty (the archive's folder
// is then taken) and the result is false.
bool expandDestinationMacro(const char* blockDestination, uint32_t deleteAfterSetup,
                            const char* programPath);

// Value of the current user's shell-folders key; out (kPathBytes) stays empty on failure.
void readShellFolder(const char* valueName, char* out);
