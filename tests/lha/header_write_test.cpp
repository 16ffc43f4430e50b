// Member headers the encoder writes: each reads back with readMemberHeader, field for
// field, and the limits of each level are refused rather than cut.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lha/header.h"
#include "lha/header_write.h"
#include "lha/stream.h"
#include "lha_util.h"
#include "sys/text.h"

namespace {

struct WriteCase {
  const char* what;
  uint8_t level;
  std::vector<std::string> folders;
  std::string name;
  const char* method;
  const char* path;  // as readMemberHeader gives it
  uint32_t codePage = 0;
};

std::string caseName(const ::testing::TestParamInfo<WriteCase>& info) {
  return std::string(info.param.what) + "_level" + std::to_string(info.param.level);
}

std::vector<WriteCase> writeCases() {
  // "ソ表" in code page 932: both trail bytes are 0x5C, a backslash
  const std::string sjis = "\x83\x5C\x95\x5C.txt";
  std::vector<WriteCase> cases;
  for (uint8_t level : {0, 1, 2}) {
    cases.push_back({"top_file", level, {}, "setup.exe", "-lh5-", "setup.exe"});
    cases.push_back({"nested_file", level, {"docs", "img"}, "a.txt", "-lh7-", "docs\\img\\a.txt"});
    cases.push_back({"folder_entry", level, {"docs"}, "", "-lhd-", "docs\\"});
    cases.push_back({"nested_folder_entry", level, {"docs", "img"}, "", "-lhd-", "docs\\img\\"});
    cases.push_back({"stored", level, {"bin"}, "x.dat", "-lh0-", "bin\\x.dat"});
    cases.push_back({"shift_jis", level, {sjis}, sjis, "-lh6-", "\u30BD\u8868.txt\\\u30BD\u8868.txt", 932});
    if (level > 0) {
      cases.push_back({"utf8", level, {"caf\xC3\xA9"}, "\xED\x95\x9C.txt", "-lh5-", "caf\u00E9\\\uD55C.txt", 65001});
      // the code page the first (and only) extended header
      cases.push_back({"utf8_top", level, {}, "\xED\x95\x9C.txt", "-lh5-", "\uD55C.txt", 65001});
    }
  }
  return cases;
}

struct HeaderWrite : ::testing::TestWithParam<WriteCase> {
  uint8_t buffer[kHeaderBufferSize];
  void TearDown() override {
    closeArchiveStream();
    sys::setCodePage(1252);
  }
};

TEST_P(HeaderWrite, ReadsBackFieldForField) {
  const WriteCase& c = GetParam();
  sys::setCodePage(932);
  // a level-0 name is read in the system's code page; Windows keeps its own
  if (c.level == 0 && c.codePage == 932 && sys::activeCodePage() != 932) GTEST_SKIP() << "system code page is not 932";
  MemberRecord r;
  r.level = c.level;
  r.methodId = c.method;
  r.folders = c.folders;
  r.name = c.name;
  r.packedSize = 1000;
  r.originalSize = 3000;
  r.timeStamp = c.level == 2 ? 1231062670u : 0x3A244E65u;
  r.attribute = 0x21;
  r.dataCrc = 0xBEEF;
  r.codePage = c.codePage;
  std::vector<uint8_t> bytes;
  std::string why;
  ASSERT_TRUE(appendMemberHeader(r, bytes, &why)) << why;
  const size_t headerBytes = bytes.size();
  bytes.resize(headerBytes + 1000, 0x55);  // the member's data
  bytes.push_back(0);                      // the end mark
  attachBytes(bytes);
  ASSERT_TRUE(readMemberHeader(buffer));
  const MemberHeader& h = memberHeader;
  EXPECT_EQ(h.level, c.level);
  EXPECT_STREQ(h.methodId, c.method);
  EXPECT_STREQ(h.path, c.path);
  EXPECT_EQ(h.packedSize, 1000u);
  EXPECT_EQ(h.originalSize, 3000u);
  EXPECT_EQ(h.timeStamp, r.timeStamp);
  EXPECT_EQ(h.attribute, 0x21);
  EXPECT_EQ(h.storedCrc16, 0xBEEF);
  // level 0 has no extended header to name the code page; the reader's own (932) reads it
  EXPECT_EQ(h.codePage, c.level == 0 ? 0u : c.codePage);
  EXPECT_TRUE(h.nameValid);
  EXPECT_TRUE(recorder.messages.empty());
  // the data begins right behind the header, and the next header read is the end mark
  EXPECT_EQ(archiveTell(), static_cast<int64_t>(headerBytes));
  archiveSeek(archiveTell() + h.packedSize);
  EXPECT_FALSE(readMemberHeader(buffer));
}

INSTANTIATE_TEST_SUITE_P(Members, HeaderWrite, ::testing::ValuesIn(writeCases()), caseName);

struct LimitCase {
  uint8_t level;
  size_t folderBytes;  // one folder of this many bytes (0: none)
  size_t nameBytes;
  bool fits;
};

class HeaderLimits : public ::testing::TestWithParam<LimitCase> {};

// What fits is stored whole; one byte more is refused with a reason, never cut.
TEST_P(HeaderLimits, FitWholeOrAreRefused) {
  const LimitCase& c = GetParam();
  std::vector<std::string> folders;
  if (c.folderBytes) folders.push_back(std::string(c.folderBytes, 'f'));
  std::string name(c.nameBytes, 'n');
  MemberRecord r;
  r.level = c.level;
  r.folders = folders;
  r.name = name;
  std::vector<uint8_t> bytes;
  std::string why;
  bool ok = appendMemberHeader(r, bytes, &why);
  EXPECT_EQ(ok, c.fits) << why;
  if (!ok) {
    EXPECT_TRUE(bytes.empty());
    EXPECT_NE(why.find("too long for header level " + std::to_string(c.level)), std::string::npos) << why;
    return;
  }
  uint8_t buffer[kHeaderBufferSize];
  bytes.push_back(0);
  attachBytes(bytes);
  ASSERT_TRUE(readMemberHeader(buffer));
  std::string expect = c.folderBytes ? folders[0] + "\\" + name : name;
  EXPECT_EQ(std::string(memberHeader.path), expect);
  closeArchiveStream();
}

INSTANTIATE_TEST_SUITE_P(
    Levels, HeaderLimits,
    ::testing::Values(
        // level 0: the whole path in a field of at most 231 bytes (separator counted)
        LimitCase{0, 0, 231, true}, LimitCase{0, 0, 232, false}, LimitCase{0, 100, 130, true},
        LimitCase{0, 100, 131, false},
        // level 1: the name in the base header, the folders in an extended header
        LimitCase{1, 0, 228, true}, LimitCase{1, 0, 229, false}, LimitCase{1, 259, 228, true},
        LimitCase{1, 260, 10, false},
        // level 2: name and folders 260 bytes each, as the reader takes them
        LimitCase{2, 0, 260, true}, LimitCase{2, 0, 261, false}, LimitCase{2, 259, 260, true},
        LimitCase{2, 260, 1, false}));

// A level-2 header whose length would be a multiple of 256 reads as the archive's end
// mark; the writer makes it longer instead. Every name length from 200 to 260, with and
// without folders, covers the lengths 256 and 512.
TEST(HeaderWriteLevel2, NoLengthIsAMultipleOf256) {
  uint8_t buffer[kHeaderBufferSize];
  int padded = 0;
  for (size_t folder : {0u, 1u, 200u, 217u})
    for (size_t n = 200; n <= 260; ++n) {
      std::vector<std::string> folders;
      if (folder) folders.push_back(std::string(folder, 'd'));
      std::string name(n, 'x');
      MemberRecord r;
      r.folders = folders;
      r.name = name;
      std::vector<uint8_t> bytes;
      ASSERT_TRUE(appendMemberHeader(r, bytes, nullptr)) << folder << " " << n;
      EXPECT_NE(bytes[0], 0) << folder << " " << n;
      uint32_t stated = bytes[0] | bytes[1] << 8;
      EXPECT_EQ(stated, bytes.size());
      padded += bytes.size() % 256 == 5;
      attachBytes(bytes);
      ASSERT_TRUE(readMemberHeader(buffer)) << folder << " " << n;
      EXPECT_EQ(archiveTell(), static_cast<int64_t>(bytes.size()));
      EXPECT_EQ(memberHeader.attribute, 0x20);
      closeArchiveStream();
    }
  EXPECT_GE(padded, 2);
}

TEST(HeaderWrite, RefusesPathsNoReaderCouldSplitBack) {
  struct Bad {
    std::vector<std::string> folders;
    std::string name;
  };
  for (const Bad& b : {Bad{{}, ""}, Bad{{"a\\b"}, "c"}, Bad{{}, "x\xFFy"}, Bad{{""}, "c"}, Bad{{"d"}, std::string("a\0b", 3)}})
    for (uint8_t level : {0, 1, 2}) {
      MemberRecord r;
      r.level = level;
      r.folders = b.folders;
      r.name = b.name;
      std::vector<uint8_t> bytes;
      std::string why;
      EXPECT_FALSE(appendMemberHeader(r, bytes, &why)) << b.name;
      EXPECT_FALSE(why.empty());
    }
  // level 0 cannot name a code page: a name that needs UTF-8 goes to level 1 or 2
  MemberRecord r;
  r.level = 0;
  r.name = "\xED\x95\x9C";
  r.codePage = 65001;
  std::vector<uint8_t> bytes;
  std::string why;
  EXPECT_FALSE(appendMemberHeader(r, bytes, &why));
  EXPECT_NE(why.find("level 1 or 2"), std::string::npos) << why;
}

TEST(HeaderWrite, Level1PackedSizeCountsItsExtensions) {
  std::vector<std::string> folders = {"docs"};
  MemberRecord r;
  r.level = 1;
  r.folders = folders;
  r.name = "a";
  r.packedSize = UINT32_MAX - 8;  // the directory header of 8 bytes still fits
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(appendMemberHeader(r, bytes, nullptr));
  EXPECT_EQ(bytes[7] | bytes[8] << 8 | bytes[9] << 16 | static_cast<uint32_t>(bytes[10]) << 24, UINT32_MAX);
  r.packedSize = UINT32_MAX - 7;
  bytes.clear();
  std::string why;
  EXPECT_FALSE(appendMemberHeader(r, bytes, &why));
  EXPECT_NE(why.find("too large"), std::string::npos);
}

}  // namespace
