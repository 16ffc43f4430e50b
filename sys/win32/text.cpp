// Win32 side of the code-page seam: the system ANSI code page (CP_ACP).
#include "sys/text.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace sys {

unsigned activeCodePage() { return GetACP(); }

void setCodePage(unsigned) {}

bool isLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

int ansiToWide(const char* text, char16_t* out, int capacity) {
  if (capacity <= 0) return -1;
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(out), capacity);
  if (n <= 0) {
    out[0] = 0;
    return -1;
  }
  return n - 1;
}

int wideToAnsi(const char16_t* text, char* out, int capacity) {
  if (capacity <= 0) return -1;
  int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text), -1, out,
                              capacity, nullptr, nullptr);
  if (n <= 0) {
    out[0] = 0;
    return -1;
  }
  return n - 1;
}

int compareIgnoreCase(const char* a, const char* b) { return lstrcmpiA(a, b); }

}  // namespace sys

namespace sys {

int formatText(char* out, int capacity, const char* format, ...) {
  if (capacity <= 0) return 0;
  va_list arguments;
  va_start(arguments, format);
  // The runtime's own _vsnprintf leaves the text unterminated when it fills the buffer.
  int n = _vsnprintf(out, static_cast<size_t>(capacity - 1), format, arguments);
  va_end(arguments);
  out[capacity - 1] = '\0';
  return n < 0 ? capacity - 1 : n;
}

}  // namespace sys
