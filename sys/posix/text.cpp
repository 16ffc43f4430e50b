// POSIX side of the text seam. The file system stores UTF-8, as the program does. Code
// page 1252 comes from a table, 932 from glibc's iconv ("CP932"); both are turned into
// lookup tables, so a conversion is a table walk with the same shape as
// MultiByteToWideChar: a lead byte always takes the next byte with it.
#include "sys/text.h"

#include <iconv.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace sys {
namespace {

struct CodePageTables {
  unsigned codePage = 0;          // 0 until the tables are built
  char16_t single[256];           // byte -> unit (lead bytes: 0)
  char16_t pair[65536];           // lead << 8 | trail -> unit (0 when invalid)
};
CodePageTables tables;
unsigned selectedCodePage = 1252;

constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isLead932(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

char16_t iconvPair(iconv_t cd, unsigned lead, unsigned trail) {
  char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  char out[8];
  char* inp = in;
  char* outp = out;
  size_t inLeft = 2, outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1)) return 0;
  if (inLeft != 0 || sizeof out - outLeft != 2) return 0;  // one BMP unit only
  char16_t unit;
  std::memcpy(&unit, out, 2);
  return unit;
}

void build932() {
  for (unsigned b = 0; b < 0x80; ++b) tables.single[b] = static_cast<char16_t>(b);
  for (unsigned b = 0xA1; b <= 0xDF; ++b) tables.single[b] = static_cast<char16_t>(0xFF61 + b - 0xA1);
  tables.single[0x80] = 0x0080;
  tables.single[0xA0] = 0xF8F0;
  tables.single[0xFD] = 0xF8F1;
  tables.single[0xFE] = 0xF8F2;
  tables.single[0xFF] = 0xF8F3;
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return;
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!isLead932(lead)) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      tables.pair[lead << 8 | trail] = iconvPair(cd, lead, trail);
    }
  }
  iconv_close(cd);
}

void buildTables(unsigned codePage) {
  std::memset(tables.single, 0, sizeof tables.single);
  std::memset(tables.pair, 0, sizeof tables.pair);
  if (codePage == 932) {
    build932();
  } else {
    for (unsigned b = 0; b < 256; ++b) tables.single[b] = static_cast<char16_t>(b);
    for (unsigned b = 0x80; b < 0xA0; ++b) tables.single[b] = kCp1252High[b - 0x80];
  }
  tables.codePage = codePage;
}


}  // namespace

unsigned activeCodePage() { return selectedCodePage; }

void setCodePage(unsigned codePage) { selectedCodePage = codePage == 932 ? 932 : 1252; }

bool isLeadByte(unsigned codePage, unsigned char byte) {
  return (codePage ? codePage : selectedCodePage) == 932 && isLead932(byte);
}

namespace {

// Bytes of the selected table's code page to UTF-16; false for a broken pair or an
// undefined byte, as MultiByteToWideChar with MB_ERR_INVALID_CHARS.
bool tableToWide(unsigned codePage, const unsigned char* p, int count, char16_t* out, int capacity, int* units) {
  if (tables.codePage != codePage) buildTables(codePage);
  int n = 0;
  for (int i = 0; i < count;) {
    char16_t unit;
    if (isLeadByte(codePage, p[i])) {
      if (i + 1 >= count || !(unit = tables.pair[p[i] << 8 | p[i + 1]])) return false;
      i += 2;
    } else {
      unit = tables.single[p[i++]];
      if (p[i - 1] && !unit) return false;
    }
    if (n + 1 >= capacity) return false;
    out[n++] = unit;
  }
  out[n] = 0;
  *units = n;
  return true;
}

}  // namespace

int codePageToUtf8(unsigned codePage, const char* bytes, int count, char* out, int capacity) {
  if (capacity <= 0) return -1;
  out[0] = '\0';
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  if (codePage == 0) codePage = selectedCodePage;
  if (codePage == 65001) {
    if (!validUtf8(bytes, count) || count >= capacity) return -1;
    std::memcpy(out, bytes, count);
    out[count] = '\0';
    return count;
  }
  // the code pages this side knows; any other is one the "system" does not have
  if (codePage != 932 && codePage != 1252) return -1;
  static char16_t wide[4096];
  int units = 0;
  if (!tableToWide(codePage, p, count, wide, 4096, &units)) return -1;
  return wideToUtf8(wide, out, capacity);
}

int compareIgnoreCase(const char* a, const char* b) {
  // Folded per UTF-16 unit: ASCII letters and the Latin-1 letters, as the tests need.
  char16_t x[2048], y[2048];
  if (utf8ToWide(a, x, 2048) < 0 || utf8ToWide(b, y, 2048) < 0) return std::strcmp(a, b);
  auto fold = [](char16_t c) -> char16_t {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 32);
    return c;
  };
  int i = 0;
  while (x[i] && fold(x[i]) == fold(y[i])) ++i;
  return static_cast<int>(fold(x[i])) - static_cast<int>(fold(y[i]));
}

int wideToUtf8(const char16_t* text, char* out, int capacity) {
  if (capacity <= 0) return -1;
  out[0] = 0;
  if (lonelySurrogate(text)) return -1;
  int n = 0;
  for (; *text; ++text) {
    uint32_t c = *text;
    if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
      ++text;
    }
    char buf[4];
    int len;
    if (c < 0x80) {
      buf[0] = static_cast<char>(c);
      len = 1;
    } else if (c < 0x800) {
      buf[0] = static_cast<char>(0xC0 | c >> 6);
      buf[1] = static_cast<char>(0x80 | (c & 0x3F));
      len = 2;
    } else if (c < 0x10000) {
      buf[0] = static_cast<char>(0xE0 | c >> 12);
      buf[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
      buf[2] = static_cast<char>(0x80 | (c & 0x3F));
      len = 3;
    } else {
      buf[0] = static_cast<char>(0xF0 | c >> 18);
      buf[1] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
      buf[2] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
      buf[3] = static_cast<char>(0x80 | (c & 0x3F));
      len = 4;
    }
    if (n + len >= capacity) {
      out[0] = 0;
      return -1;
    }
    std::memcpy(out + n, buf, len);
    n += len;
  }
  out[n] = 0;
  return n;
}

int utf8ToWide(const char* text, char16_t* out, int capacity) {
  if (capacity <= 0) return -1;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  if (!validUtf8(text, static_cast<int>(std::strlen(text)))) {
    out[0] = 0;
    return -1;
  }
  int n = 0;
  while (*p) {
    uint32_t c = *p;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra) c &= 0x3F >> extra;
    ++p;
    for (int i = 0; i < extra && (*p & 0xC0) == 0x80; ++i) c = c << 6 | (*p++ & 0x3F);
    int units = c >= 0x10000 ? 2 : 1;
    if (n + units >= capacity) {
      out[0] = 0;
      return -1;
    }
    if (units == 2) {
      out[n++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(c);
    }
  }
  out[n] = 0;
  return n;
}

}  // namespace sys

namespace sys {

int formatText(char* out, int capacity, const char* format, ...) {
  if (capacity <= 0) return 0;
  va_list arguments;
  va_start(arguments, format);
  int n = std::vsnprintf(out, static_cast<size_t>(capacity), format, arguments);
  va_end(arguments);
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  if (n < capacity) return n;
  // cut: never in the middle of a character, which would make the whole text invalid
  n = wholeCharacters(out, capacity - 1);
  out[n] = '\0';
  return n;
}

}  // namespace sys
