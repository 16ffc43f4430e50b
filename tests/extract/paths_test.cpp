// Path text operations, the code-page conversions and the folder variables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "extract/destination.h"
#include "extract/paths.h"
#include "startup/settings.h"
#include "sys/shell.h"
#include "sys/text.h"

namespace {

std::u16string wideOf(const char* text) { return std::u16string(toWide(text)); }

std::string withOp(void (*op)(char*), const char* text) {
  char buffer[kPathBytes * 2];
  std::strcpy(buffer, text);
  op(buffer);
  return buffer;
}

std::string fromCodePage(unsigned codePage, const std::string& bytes) {
  char out[kPathBytes];
  int n = sys::codePageToUtf8(codePage, bytes.data(), static_cast<int>(bytes.size()), out, sizeof out);
  return n < 0 ? "<invalid>" : std::string(out, static_cast<size_t>(n));
}

// Where texts come in: a code page's bytes as UTF-8, the trail byte 0x5C of code page 932
// part of its character, anything not valid in the code page refused.
TEST(CodePageToUtf8, ReadsEachCodePageAsItIs) {
  const struct { unsigned codePage; std::string bytes, utf8; } cases[] = {
      {932, "\x83\x5C", "\u30BD"},                       // ソ
      {932, "a\\\x95\x5C\\b", "a\\\u8868\\b"},         // 表 between separators
      {932, "\xB1", "\uFF71"},                           // half-width katakana
      {932, "\x83", "<invalid>"},                         // a lead byte alone
      {932, "\x81\x20", "<invalid>"},                     // a pair the code page lacks
      {1252, "\x80\xE9", "\u20AC\u00E9"},
      {1252, "\x95\x5C", "\u2022\\"},                   // 表's bytes in 1252: a backslash
      {65001, "caf\xC3\xA9", "caf\u00E9"},
      {65001, "\xC3", "<invalid>"},                        // cut
      {65001, "\xC0\xAF", "<invalid>"},                   // overlong '/'
      {65001, "\xED\xA0\x80", "<invalid>"},               // a surrogate
      {9999, "x", "<invalid>"},                            // no such code page
      {1, "x", "<invalid>"},                               // Windows' stand-in for the OEM one
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fromCodePage(c.codePage, c.bytes), c.utf8) << c.codePage << " " << c.bytes;
  }
  EXPECT_TRUE(sys::isLeadByte(932, 0x83));
  EXPECT_TRUE(sys::isLeadByte(932, 0xFC));
  EXPECT_FALSE(sys::isLeadByte(932, 0x5C));
  EXPECT_FALSE(sys::isLeadByte(932, 0xA1));
  EXPECT_FALSE(sys::isLeadByte(1252, 0x83));
}

TEST(CodePageToUtf8, Cp1252MapsEveryByte) {
  for (int b = 1; b < 256; ++b) {
    std::string utf8 = fromCodePage(1252, std::string(1, static_cast<char>(b)));
    std::u16string wide(toWide(utf8.c_str()));
    ASSERT_EQ(wide.size(), 1u) << b;
  }
}

// The UTF-8 rules both sides share: strict validity, a byte limit never leaving half a
// character, a formatted text cut whole, and names compared unit by unit ignoring case.
TEST(Utf8Rules, ValidCutAndCompared) {
  const struct { std::string bytes; bool valid; } texts[] = {
      {"caf\xC3\xA9", true},           {"\xF0\x9F\x98\x80", true},  // é, U+1F600
      {"\xC3", false},                   // cut short
      {"\xC0\xAE", false},               // '.' spelt in two bytes
      {"\xE0\x80\xAE", false},           // ... and in three
      {"\xED\xA0\x80", false},           // a surrogate
      {"\xF4\x90\x80\x80", false},       // above U+10FFFF
      {"\xFF", false},
  };
  for (const auto& t : texts)
    EXPECT_EQ(sys::validUtf8(t.bytes.data(), static_cast<int>(t.bytes.size())), t.valid) << t.bytes;

  // "aé日😀" is 1 + 2 + 3 + 4 bytes: each limit keeps the characters it holds whole
  const char* text = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";
  const int kept[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10};
  for (int limit = 0; limit <= 10; ++limit) EXPECT_EQ(sys::wholeCharacters(text, limit), kept[limit]) << limit;

  char out[6];
  EXPECT_EQ(sys::formatText(out, sizeof out, "%s", text), 3);  // 5 bytes would cut 日
  EXPECT_STREQ(out, "a\xC3\xA9");
  EXPECT_EQ(sys::formatText(out, sizeof out, "%s", "abc"), 3);
  EXPECT_STREQ(out, "abc");

  EXPECT_EQ(sys::compareIgnoreCase("Caf\xC3\xA9", "cAF\xC3\x89"), 0);  // é and É
  EXPECT_NE(sys::compareIgnoreCase("a\xC2\xAD" "b", "ab"), 0);         // a soft hyphen is a character
}

TEST(ToWide, TextsThatDoNotFitGiveEmptyResults) {
  std::string longText(kWideUnits, 'a');
  EXPECT_EQ(wideOf(longText.c_str()), u"");
  std::u16string longWide(kPathBytes, u'b');
  EXPECT_STREQ(toNarrow(longWide.c_str()), "");
  std::u16string fits(kPathBytes - 1, u'b');
  EXPECT_EQ(std::strlen(toNarrow(fits.c_str())), static_cast<size_t>(kPathBytes - 1));
  // a surrogate without its partner names nothing a UTF-8 text can name again
  EXPECT_STREQ(toNarrow(u"a\xD800" u"b"), "");
  EXPECT_STREQ(toNarrow(u"a\xDC00"), "");
  EXPECT_STREQ(toNarrow(u"\xD83D\xDE00"), "\U0001F600");
  // Each call clears the previous result of its kind.
  toWide("abcdef");
  EXPECT_EQ(wideOf("xy"), u"xy");
}

struct OpCase {
  const char* input;
  const char* expected;
};

TEST(TextOps, TrimTrailingSpaces) {
  const OpCase cases[] = {{"abc  ", "abc"}, {"a b", "a b"}, {"   ", ""}, {"", ""}, {"x\\ ", "x\\"}};
  for (const OpCase& c : cases) EXPECT_EQ(withOp(trimTrailingSpaces, c.input), c.expected) << c.input;
}

TEST(TextOps, SlashesToBackslashes) {
  const OpCase cases[] = {{"a/b/c", "a\\b\\c"}, {"/x/", "\\x\\"}, {"a\\b", "a\\b"}, {"", ""}};
  for (const OpCase& c : cases) EXPECT_EQ(withOp(slashesToBackslashes, c.input), c.expected) << c.input;
}

TEST(TextOps, StripParentReferences) {
  const OpCase cases[] = {
      {"a\\..\\b", "a\\b"},     {"..\\..\\x", "x"},          {"....\\x", "..x"},
      {"..", ".."},             {"a..\\b", "ab"},            {"..\\", ""},
      {".\\x", ".\\x"},         {"...\\..\\y", ".y"},        {"", ""},
  };
  for (const OpCase& c : cases) EXPECT_EQ(withOp(stripParentReferences, c.input), c.expected) << c.input;
  // No length limit: a long text is compacted whole.
  std::string longText;
  for (int i = 0; i < 600; ++i) longText += "..\\";
  longText += "end";
  EXPECT_EQ(withOp(stripParentReferences, longText.substr(0, 300).c_str()), "");
  char big[2048];
  std::strcpy(big, longText.c_str());
  stripParentReferences(big);
  EXPECT_STREQ(big, "end");
}

std::string ensured(const char* text, int capacity = kPathBytes) {
  char buffer[kPathBytes + 1] = {};
  std::strcpy(buffer, text);
  ensureTrailingBackslash(buffer, capacity);
  return buffer;
}

TEST(TextOps, EnsureTrailingBackslash) {
  const OpCase cases[] = {{"", ""}, {"C:\\x", "C:\\x\\"}, {"C:\\x\\", "C:\\x\\"}, {"C:", "C:\\"}};
  for (const OpCase& c : cases) EXPECT_EQ(ensured(c.input), c.expected) << c.input;
  // No room for the byte: the text stays as it is.
  char full[8] = "abcdefg";
  EXPECT_FALSE(ensureTrailingBackslash(full, sizeof full));
  EXPECT_STREQ(full, "abcdefg");
  char room[9] = "abcdefg";
  EXPECT_TRUE(ensureTrailingBackslash(room, sizeof room));
  EXPECT_STREQ(room, "abcdefg\\");
}

// ソ and 表, whose code page 932 forms end in 0x5C, are plain characters in UTF-8.
TEST(TextOps, TrailingBackslashAfterJapaneseNames) {
  EXPECT_EQ(ensured("C:\\\u30BD"), "C:\\\u30BD\\");
  EXPECT_EQ(ensured("\u8868"), "\u8868\\");
  EXPECT_EQ(ensured("C:\\\u8868\\"), "C:\\\u8868\\");
  EXPECT_EQ(withOp(removeTrailingBackslash, "C:\\\u30BD"), "C:\\\u30BD");
  EXPECT_EQ(withOp(removeTrailingBackslash, "C:\\\u30BD\\"), "C:\\\u30BD");
}

TEST(TextOps, RemoveTrailingBackslash) {
  const OpCase cases[] = {{"C:\\x\\", "C:\\x"}, {"C:\\x", "C:\\x"}, {"\\", ""}, {"", ""}, {"a\\\\", "a\\"}};
  for (const OpCase& c : cases) EXPECT_EQ(withOp(removeTrailingBackslash, c.input), c.expected) << c.input;
}

struct SplitCase {
  const char* path;
  const char* folder;
  const char* name;
};

TEST(TextOps, SplitFolderAndName) {
  const SplitCase cases[] = {
      {"C:\\dl\\pkg.exe", "C:\\dl\\", "pkg.exe"}, {"pkg.exe", "", "pkg.exe"},
      {"", "", ""},                               {"C:pkg.exe", "C:", "pkg.exe"},
      {"a/b/c.txt", "a/b/", "c.txt"},             {"C:\\dl\\", "C:\\dl\\", ""},
      {"\\\\srv\\sh\\x.y.z", "\\\\srv\\sh\\", "x.y.z"},
  };
  for (const SplitCase& c : cases) {
    char folder[kPathBytes] = "junk", name[kPathBytes] = "junk";
    splitFolderAndName(c.path, folder, name);
    EXPECT_STREQ(folder, c.folder) << c.path;
    EXPECT_STREQ(name, c.name) << c.path;
  }
}

TEST(TextOps, SplitFolderAndNameJapanese) {
  char folder[kPathBytes], name[kPathBytes];
  splitFolderAndName("C:\\\u30BD\\\u8868.exe", folder, name);  // C:\ソ\表.exe
  EXPECT_STREQ(folder, "C:\\\u30BD\\");
  EXPECT_STREQ(name, "\u8868.exe");
}

// ---- folder variables ----

std::string systemTempPath() {
  char temp[kPathBytes];
  sys::tempPath(temp, sizeof temp);
  return temp;
}

std::string withoutTrailingBackslash(std::string text) {
  if (!text.empty() && text.back() == '\\') text.pop_back();
  return text;
}

struct MacroCase {
  const char* text;
  uint32_t deleteAfterSetup;
  std::string expected;
  bool createdTempFolder;
};

TEST(ExpandDestinationMacro, TempAndPrivateFolder) {
  std::string temp = systemTempPath();
  ASSERT_FALSE(temp.empty());
  ASSERT_EQ(temp.back(), '\\');
  const MacroCase cases[] = {
      {"%temp%", 1, temp + "~pkg.exe", true},
      {"%temp%", 0, withoutTrailingBackslash(temp), false},
      {"%temp%\\sub", 1, withoutTrailingBackslash(temp) + "\\sub", false},
      {"%Temp%", 1, "", false},  // names are compared with their case
      {"%Foo%\\x", 0, "\\x", false},
      {"C:\\plain", 1, "C:\\plain", false},
      {"%temp", 1, "%temp", false},
      {"%%rest", 0, "rest", false},
  };
  for (const MacroCase& c : cases) {
    resetSfxSettings();
    std::strcpy(sfxSettings.destinationPath, "stale");
    EXPECT_EQ(expandDestinationMacro(c.text, c.deleteAfterSetup, "C:\\dl\\pkg.exe"), c.createdTempFolder) << c.text;
    EXPECT_EQ(std::string(sfxSettings.destinationPath), c.expected) << c.text;
  }
}

TEST(ExpandDestinationMacro, EmptyTextWritesNothing) {
  std::strcpy(sfxSettings.destinationPath, "kept");
  EXPECT_FALSE(expandDestinationMacro("", 1, "C:\\pkg.exe"));
  EXPECT_STREQ(sfxSettings.destinationPath, "kept");
}

TEST(ExpandDestinationMacro, UnknownVariableEndsBesideTheArchive) {
  resetSfxSettings();
  expandDestinationMacro("%Foo%\\x", 0, "C:\\dl\\pkg.exe");
  EXPECT_EQ(normalizeDestination("C:\\dl\\"), DestinationOutcome::accepted);
  EXPECT_STREQ(sfxSettings.destinationPath, "C:\\dl\\x\\");
}

TEST(ExpandDestinationMacro, SystemFolders) {
#ifndef _WIN32
  sys::setShellFolderValueForTests("Desktop", "C:\\Users\\u\\Desktop");
  sys::setShellFolderValueForTests("Personal", "C:\\Users\\u\\Documents\\");
  sys::setSystemFoldersForTests("C:\\Program Files", "C:\\Windows\\system32", "C:\\Windows");
#endif
  char desktop[256], personal[256], programFiles[256], system[256], windows[256];
  readShellFolder("Desktop", desktop);
  readShellFolder("Personal", personal);
  sys::programFilesFolder(programFiles, 256);
  sys::systemDirectory(system, 256);
  sys::windowsDirectory(windows, 256);
  struct {
    const char* text;
    std::string folder;
  } cases[] = {
      {"%Desktop%\\x", desktop},      {"%MyDocuments%\\x", personal},
      {"%ProgramFiles%\\x", programFiles}, {"%SystemDir%\\x", system},
      {"%WinDir%\\x", windows},
  };
  for (const auto& c : cases) {
    ASSERT_FALSE(c.folder.empty()) << c.text;
    resetSfxSettings();
    EXPECT_FALSE(expandDestinationMacro(c.text, 1, "C:\\pkg.exe"));
    EXPECT_EQ(std::string(sfxSettings.destinationPath), withoutTrailingBackslash(c.folder) + "\\x") << c.text;
  }
#ifndef _WIN32
  sys::setShellFolderValueForTests("Desktop", nullptr);
  readShellFolder("Desktop", desktop);
  EXPECT_STREQ(desktop, "");
  resetSfxSettings();
  expandDestinationMacro("%Desktop%\\Tools", 0, "C:\\pkg.exe");
  EXPECT_STREQ(sfxSettings.destinationPath, "\\Tools");  // unreadable folder: only the rest
  sys::setShellFolderValueForTests("Personal", nullptr);
  sys::setSystemFoldersForTests(nullptr, nullptr, nullptr);
#endif
}

TEST(ExpandDestinationMacro, TooLongIsNeverCut) {
#ifndef _WIN32
  sys::setSystemFoldersForTests(nullptr, ("C:\\" + std::string(100, 's')).c_str(), nullptr);
#endif
  char system[256];
  ASSERT_GT(sys::systemDirectory(system, 256), 3);
  const size_t folderLength = std::strlen(system);
  // Folder plus the rest of a 259-unit text: always over the limit, as is a rest too long
  // to be counted at all.
  for (int rest : {kPathUnits - 1 - 12, kWideUnits + 10}) {
    std::string text = "%SystemDir%\\" + std::string(rest, 'r');
    resetSfxSettings();
    EXPECT_FALSE(expandDestinationMacro(text.c_str(), 1, "C:\\pkg.exe")) << rest;
    EXPECT_STREQ(sfxSettings.destinationPath, "");
  }
  // Exactly 259 units still fit.
  std::string fitting = "%SystemDir%" + std::string(kPathUnits - 1 - folderLength, 'f');
  resetSfxSettings();
  expandDestinationMacro(fitting.c_str(), 0, "C:\\pkg.exe");
  EXPECT_EQ(std::string(sfxSettings.destinationPath), system + fitting.substr(11));
  // A private folder whose name does not fit is not claimed.
  std::string program = "C:\\" + std::string(kPathBytes - 4, 'p');
  resetSfxSettings();
  EXPECT_FALSE(expandDestinationMacro("%temp%", 1, program.c_str()));
  EXPECT_STREQ(sfxSettings.destinationPath, "");
#ifndef _WIN32
  sys::setSystemFoldersForTests(nullptr, nullptr, nullptr);
#endif
}

}  // namespace
