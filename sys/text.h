// Platform seam: texts. Inside the program every text is UTF-8, paths included, so a
// backslash byte is always a backslash; the system's calls get UTF-16. A code page
// matters only where a text comes in: a member name (the system's ANSI code page, or the
// one its archive names), a field of the configuration block without a UTF-8 mark.
#pragma once

namespace sys {

// The active ANSI code page (GetACP). POSIX side: 1252 unless setCodePage chose 932.
unsigned activeCodePage();
// POSIX side only (ignored on Win32): select 1252 or 932 as the "system" code page.
void setCodePage(unsigned codePage);

// IsDBCSLeadByteEx: a lead byte of a double-byte character in codePage (0: the ANSI one).
bool isLeadByte(unsigned codePage, unsigned char byte);

// count bytes of a code page (0: the system's ANSI code page; 65001: UTF-8) as UTF-8 in
// `out`, always terminated when capacity > 0. Returns the bytes written, or -1 when the
// code page is unknown here, the bytes are not valid in it, or the result does not fit.
int codePageToUtf8(unsigned codePage, const char* bytes, int count, char* out, int capacity);

// UTF-8 to UTF-16 and back, for NUL-terminated texts. Return the units (bytes) written
// without the NUL, or -1 when the text is not valid or the result does not fit.
int utf8ToWide(const char* text, char16_t* out, int capacity);
int wideToUtf8(const char16_t* text, char* out, int capacity);

// Strict UTF-8: every sequence complete and in its shortest form, no surrogates, nothing
// above U+10FFFF.
bool validUtf8(const char* bytes, int count);
// The length of text[0..length) without a character a byte limit cut short at its end.
int wholeCharacters(const char* text, int length);
// True when a UTF-16 text holds a surrogate without its partner: it names nothing that a
// UTF-8 text could name again.
bool lonelySurrogate(const char16_t* text);

// Compares two texts ignoring case, as the file system does; 0 when equal.
int compareIgnoreCase(const char* a, const char* b);

// printf-style formatting of %s, %d, %u and %lu (with width and zero fill) into `out`,
// always terminated and cut to capacity; returns the bytes written. The Win32 side uses
// the system runtime's formatter, which keeps the stub small.
int formatText(char* out, int capacity, const char* format, ...);

}  // namespace sys
