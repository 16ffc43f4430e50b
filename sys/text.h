// Platform seam: the system ANSI code page and conversions to and from UTF-16.
#pragma once

namespace sys {

// The active ANSI code page (GetACP). POSIX side: 1252 unless setCodePage chose 932.
unsigned activeCodePage();
// POSIX side only (ignored on Win32): select 1252 or 932 so the double-byte rules run natively.
void setCodePage(unsigned codePage);

// IsDBCSLeadByte for the active code page.
bool isLeadByte(unsigned char byte);

// MultiByteToWideChar / WideCharToMultiByte with the active code page, for NUL-terminated
// texts. Return the number of units written without the NUL (the output is always
// terminated when capacity > 0), or -1 when the result does not fit.
int ansiToWide(const char* text, char16_t* out, int capacity);
int wideToAnsi(const char16_t* text, char* out, int capacity);

// lstrcmpiA: compares two ANSI texts ignoring case; 0 when equal. Trail bytes of
// double-byte characters are compared exactly.
int compareIgnoreCase(const char* a, const char* b);

// printf-style formatting of %s, %d, %u and %lu (with width and zero fill) into `out`,
// always terminated and cut to capacity; returns the bytes written. The Win32 side uses
// the system runtime's formatter, which keeps the stub small.
int formatText(char* out, int capacity, const char* format, ...);

#ifndef _WIN32
// POSIX side only: the native file system stores names as UTF-8. Same result
// convention as ansiToWide.
int wideToUtf8(const char16_t* text, char* out, int capacity);
int utf8ToWide(const char* text, char16_t* out, int capacity);
#endif

}  // namespace sys
