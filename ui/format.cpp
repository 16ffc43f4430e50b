#include "ui/format.h"

#include <algorithm>
#include <cstring>

#include "extract/paths.h"
#include "sys/text.h"
#include "sys/ui.h"
#include "ui/strings.h"

namespace {

struct FormatState {
  char sizeBuffer[32];
};
FormatState formatState;

// 日 月 火 水 木 金 土 in UTF-8, Sunday first.
constexpr char kWeekdays[7][4] = {"\xE6\x97\xA5", "\xE6\x9C\x88", "\xE7\x81\xAB", "\xE6\xB0\xB4",
                                  "\xE6\x9C\xA8", "\xE9\x87\x91", "\xE5\x9C\x9F"};

}  // namespace

const char* FormatThousands(uint32_t value) {
  char digits[16];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  std::reverse(digits, digits + n);
  int separators = (n - 1) / 3;
  if (n + separators >= static_cast<int>(sizeof formatState.sizeBuffer)) return nullptr;
  char* out = formatState.sizeBuffer;
  for (int i = 0; i < n; ++i) {
    *out++ = digits[i];
    int left = n - 1 - i;
    if (left > 0 && left % 3 == 0) *out++ = ',';
  }
  *out = '\0';
  return formatState.sizeBuffer;
}

int weekdayOf(int year, int month, int day) {
  if (month == 1 || month == 2) {
    year -= 1;
    month += 12;
  }
  return (day + (13 * month + 8) / 5 + year + year / 4 - year / 100 + year / 400) % 7;
}

int formatMemberInfoWith(const char* format, uint32_t dosDateTime, char* out, int capacity) {
  if (capacity <= 0) return 0;
  out[0] = '\0';
  int year = static_cast<int>(dosDateTime >> 25) + 1980;
  int month = (dosDateTime >> 21) & 0x0F;
  int day = (dosDateTime >> 16) & 0x1F;
  int hour = (dosDateTime >> 11) & 0x1F;
  int minute = (dosDateTime >> 5) & 0x3F;
  int second = (dosDateTime & 0x1F) * 2;
  if (std::strstr(format, "Byte")) {
    sys::formatText(out, capacity, format, month, day, year, hour, minute, second);
  } else {
    sys::formatText(out, capacity, format, year, month, day, hour, minute, second);
    // "??" stands for the weekday: two bytes in the table's old code page, three in UTF-8
    char* mark = std::strstr(out, "??");
    size_t n = std::strlen(out);
    if (mark && n + 2 <= static_cast<size_t>(capacity)) {
      std::memmove(mark + 3, mark + 2, n - (mark - out) - 1);
      std::memcpy(mark, kWeekdays[weekdayOf(year, month, day)], 3);
    }
  }
  return static_cast<int>(std::strlen(out));
}

int FormatMemberInfo(uint32_t dosDateTime, char* out, int capacity) {
  char format[128];
  if (sys::loadString(kStrMemberInfoFormat, format, sizeof format) == 0) {
    if (capacity > 0) out[0] = '\0';
    return 0;
  }
  return formatMemberInfoWith(format, dosDateTime, out, capacity);
}

void applyArchiveFolderBox(char* text, bool checked, const char* archiveName) {
  if (checked) {
    ensureTrailingBackslash(text, kPathBytes);
    // A name that does not fit is not appended in part: that would name another folder.
    if (joinedFits(text, archiveName))
      std::strcat(text, archiveName);
  } else if (archiveName[0]) {
    removeTrailingBackslash(text);
    // Only a whole last folder equal to the archive name is what ticking the box added;
    // the same name earlier in the path, or inside a longer name, belongs to the user.
    char16_t name[kWideUnits];
    const char16_t* w = toWide(archiveName);
    size_t nameUnits = 0;
    while (w[nameUnits]) name[nameUnits] = w[nameUnits], ++nameUnits;
    const char16_t* wide = toWide(text);
    size_t units = 0;
    while (wide[units]) ++units;
    if (nameUnits > 0 && units >= nameUnits &&
        std::memcmp(wide + units - nameUnits, name, nameUnits * sizeof(char16_t)) == 0) {
      size_t start = units - nameUnits;
      if (start == 0 || wide[start - 1] == u'\\') {
        char16_t kept[kWideUnits];
        std::memcpy(kept, wide, start * sizeof(char16_t));
        kept[start] = 0;
        std::strcpy(text, toNarrow(kept));
      }
    }
  }
  ensureTrailingBackslash(text, kPathBytes);
}
