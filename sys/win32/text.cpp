// Win32 side of the text seam: the program's UTF-8 against the system's UTF-16, and the
// code pages texts come in with.
#include "sys/text.h"

#include <windows.h>

#include "sys/win32/wide.h"

#include <cstdarg>
#include <cstdio>

namespace sys {

unsigned activeCodePage() { return GetACP(); }

void setCodePage(unsigned) {}

bool isLeadByte(unsigned codePage, unsigned char byte) {
  return IsDBCSLeadByteEx(codePage ? codePage : CP_ACP, byte) != 0;
}

int codePageToUtf8(unsigned codePage, const char* bytes, int count, char* out, int capacity) {
  if (capacity <= 0) return -1;
  out[0] = '\0';
  // 1, 2, 3 and 42 stand for whatever this machine uses (OEM, Mac, thread, symbol); a
  // header that names them names no code page.
  if (codePage == CP_OEMCP || codePage == CP_MACCP || codePage == CP_THREAD_ACP || codePage == CP_SYMBOL) return -1;
  if (count == 0) return 0;
  // Names and fields are short: a member's part is at most 260 bytes, a path 259 units.
  wchar_t wide[1040];
  int units = MultiByteToWideChar(codePage ? codePage : CP_ACP, MB_ERR_INVALID_CHARS, bytes, count, wide, 1039);
  if (units <= 0) return -1;
  wide[units] = 0;
  return wideToUtf8(reinterpret_cast<const char16_t*>(wide), out, capacity);
}

int utf8ToWide(const char* text, char16_t* out, int capacity) {
  if (capacity <= 0) return -1;
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, reinterpret_cast<wchar_t*>(out), capacity);
  if (n <= 0) {
    out[0] = 0;
    return -1;
  }
  return n - 1;
}

int wideToUtf8(const char16_t* text, char* out, int capacity) {
  if (capacity <= 0) return -1;
  // WideCharToMultiByte would put U+FFFD in its place, naming another file.
  if (lonelySurrogate(text)) {
    out[0] = 0;
    return -1;
  }
  int n = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text), -1, out, capacity, nullptr,
                              nullptr);
  if (n <= 0) {
    out[0] = 0;
    return -1;
  }
  return n - 1;
}

Wide::Wide(const char* text) {
  if (!text || utf8ToWide(text, reinterpret_cast<char16_t*>(this->text), 520) < 0) this->text[0] = 0;
}

bool toUtf8(const wchar_t* text, char* out, int capacity) {
  return wideToUtf8(reinterpret_cast<const char16_t*>(text), out, capacity) >= 0;
}

// Names that are not UTF-8 are never equal to one that is; byte order keeps them apart.
static int byteOrder(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

int compareIgnoreCase(const char* a, const char* b) {
  // Unit by unit after upper-casing, as the file system compares names; lstrcmpi's
  // language rules would pass over characters such as the soft hyphen.
  wchar_t x[1040], y[1040];
  int n = utf8ToWide(a, reinterpret_cast<char16_t*>(x), 1040);
  int m = utf8ToWide(b, reinterpret_cast<char16_t*>(y), 1040);
  if (n < 0 || m < 0) return byteOrder(a, b);
  CharUpperBuffW(x, static_cast<DWORD>(n));
  CharUpperBuffW(y, static_cast<DWORD>(m));
  int i = 0;
  while (x[i] && x[i] == y[i]) ++i;
  return static_cast<int>(x[i]) - static_cast<int>(y[i]);
}

}  // namespace sys

namespace sys {

int formatText(char* out, int capacity, const char* format, ...) {
  if (capacity <= 0) return 0;
  va_list arguments;
  va_start(arguments, format);
  // The runtime's own _vsnprintf leaves the text unterminated when it fills the buffer.
  int n = _vsnprintf(out, static_cast<size_t>(capacity - 1), format, arguments);
  va_end(arguments);
  if (n >= 0 && n < capacity - 1) return n;
  // cut: never in the middle of a character, which would make the whole text invalid
  n = wholeCharacters(out, capacity - 1);
  out[n] = '\0';
  return n;
}

}  // namespace sys
