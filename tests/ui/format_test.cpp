// Sizes, dates and the destination dialog's check-box rule.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "extract/paths.h"
#include "sys/text.h"
#include "ui/format.h"

namespace {

// String 9 of both tables, in UTF-8 as the stub loads it.
constexpr const char* kEnglishFormat = "%%s Bytes\nModified: %02d, %02d, %04d,  %02d:%02d:%02d";
constexpr const char* kJapaneseFormat =
    "%%s \u30D0\u30A4\u30C8\n%04d\u5E74%02d\u6708%02d\u65E5 ??\u66DC\u65E5\u3001%02d:%02d:%02d";

uint32_t dosStamp(int year, int month, int day, int hour, int minute, int second) {
  return static_cast<uint32_t>(year - 1980) << 25 | month << 21 | day << 16 | hour << 11 |
         minute << 5 | second / 2;
}

// What the replace dialog shows: the member text with the size put in.
std::string shown(const char* format, uint32_t stamp, uint32_t size) {
  char info[256], text[320];
  if (formatMemberInfoWith(format, stamp, info, sizeof info) == 0) return "";
  std::snprintf(text, sizeof text, info, FormatThousands(size));
  return text;
}

TEST(FormatThousands, SeparatesEveryThreeDigits) {
  const struct { uint32_t value; const char* text; } cases[] = {
      {0, "0"}, {999, "999"}, {1000, "1,000"}, {1234567, "1,234,567"},
      {100000, "100,000"}, {4294967295u, "4,294,967,295"},
  };
  for (const auto& c : cases) EXPECT_STREQ(FormatThousands(c.value), c.text) << c.value;
}

TEST(FormatMemberInfo, BothLayoutsOfTheFifteenthOfMay2007) {
  uint32_t stamp = dosStamp(2007, 5, 15, 13, 45, 20);
  EXPECT_EQ(shown(kEnglishFormat, stamp, 1234), "1,234 Bytes\nModified: 05, 15, 2007,  13:45:20");
  EXPECT_EQ(shown(kJapaneseFormat, stamp, 1234),
            "1,234 \u30D0\u30A4\u30C8\n2007\u5E7405\u670815\u65E5 \u706B\u66DC\u65E5\u300113:45:20");
}

TEST(FormatMemberInfo, JapaneseWeekdayAcrossLeapDaysAndCenturies) {
  // Sunday first: 日 月 火 水 木 金 土
  const char* names[7] = {"\u65E5", "\u6708", "\u706B", "\u6C34", "\u6728", "\u91D1", "\u571F"};
  const struct { int year, month, day, weekday; } cases[] = {
      {1980, 1, 1, 2},  {1999, 12, 31, 5}, {2000, 2, 29, 2}, {2000, 3, 1, 3}, {2004, 2, 29, 0},
      {2100, 2, 28, 0}, {2100, 3, 1, 1},   {2107, 12, 31, 6},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(weekdayOf(c.year, c.month, c.day), c.weekday) << c.year << "-" << c.month << "-" << c.day;
    std::string text = shown(kJapaneseFormat, dosStamp(c.year, c.month, c.day, 0, 0, 0), 1);
    size_t day = text.find("\u65E5 ");  // 日 and the blank before the weekday
    ASSERT_NE(day, std::string::npos);
    EXPECT_EQ(text.substr(day + 4, 3), names[c.weekday]) << c.year << "-" << c.month << "-" << c.day;
  }
}

struct CodePageGuard {
  ~CodePageGuard() { sys::setCodePage(1252); }
};

std::string afterClick(const char* text, bool checked, const char* name) {
  char buffer[kPathBytes];
  std::strcpy(buffer, text);
  applyArchiveFolderBox(buffer, checked, name);
  return buffer;
}

TEST(ArchiveFolderBox, TickingAddsAndClearingTakesOffOnlyTheAddedFolder) {
  const struct { const char* text; bool checked; const char* name; const char* result; } cases[] = {
      {"C:\\dest\\", true, "data", "C:\\dest\\data\\"},
      {"C:\\dest", true, "data", "C:\\dest\\data\\"},
      {"", true, "data", "data\\"},
      {"C:\\dest\\data\\", false, "data", "C:\\dest\\"},
      {"C:\\dest\\data", false, "data", "C:\\dest\\"},
      {"C:\\dest", false, "data", "C:\\dest\\"},
      // the name earlier in the path, followed by a backslash, is the user's
      {"C:\\data\\x\\", false, "data", "C:\\data\\x\\"},
      // a package in a folder of its own name: only the last one was added
      {"C:\\setup\\setup\\", false, "setup", "C:\\setup\\"},
      // the name inside a longer folder name is not a folder of its own
      {"C:\\foo\\mydata\\", false, "data", "C:\\foo\\mydata\\"},
      {"C:\\dest\\Data\\", false, "data", "C:\\dest\\Data\\"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(afterClick(c.text, c.checked, c.name), c.result) << c.text << (c.checked ? " ticked" : " cleared");
}

TEST(ArchiveFolderBox, NameThatDoesNotFitIsNotAppendedInPart) {
  std::string text = "C:\\" + std::string(250, 'a') + "\\";
  EXPECT_EQ(afterClick(text.c_str(), true, "archive"), text);
}

TEST(ArchiveFolderBox, JapaneseNames) {
  // 表 (95 5C in code page 932) is one character: nothing is cut inside it
  EXPECT_EQ(afterClick("C:\\\u8868", true, "\u8868"), "C:\\\u8868\\\u8868\\");
  EXPECT_EQ(afterClick("C:\\\u8868\\\u8868\\", false, "\u8868"), "C:\\\u8868\\");
  EXPECT_EQ(afterClick("C:\\a\u8868\\", false, "\u8868"), "C:\\a\u8868\\");
}

}  // namespace
