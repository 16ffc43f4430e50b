// The UTF-8 rules every side shares: they need nothing from the system.
#include <cstdint>

#include "sys/text.h"

namespace sys {

bool validUtf8(const char* bytes, int count) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  for (int i = 0; i < count;) {
    unsigned c = p[i];
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + extra >= count) return false;
    uint32_t value = extra ? c & (0x3F >> extra) : c;
    for (int k = 1; k <= extra; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      value = value << 6 | (p[i + k] & 0x3F);
    }
    static const uint32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
    if (value < kLeast[extra] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) return false;
    i += extra + 1;
  }
  return true;
}

int wholeCharacters(const char* text, int length) {
  int start = length;
  while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) --start;
  if (start == 0) return length;
  unsigned lead = static_cast<unsigned char>(text[start - 1]);
  int need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return length - (start - 1) < need ? start - 1 : length;
}

bool lonelySurrogate(const char16_t* text) {
  for (; *text; ++text) {
    if (*text >= 0xDC00 && *text < 0xE000) return true;
    if (*text >= 0xD800 && *text < 0xDC00) {
      if (text[1] < 0xDC00 || text[1] >= 0xE000) return true;
      ++text;
    }
  }
  return false;
}

}  // namespace sys
