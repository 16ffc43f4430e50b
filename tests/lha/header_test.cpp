// Member headers, extended headers and the archive scan.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lha/header.h"
#include "lha/stream.h"
#include "lha_util.h"
#include "sys/text.h"

namespace {

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct HeaderReader : ::testing::Test {
  uint8_t buffer[kHeaderBufferSize];
  void TearDown() override {
    closeArchiveStream();
    sys::setCodePage(1252);
  }
  bool read(const Bytes& archive) {
    attachBytes(archive);
    std::memset(buffer, 0, sizeof buffer);
    return readMemberHeader(buffer);
  }
};

TEST(Crc16, CheckValueAndTableEntries) {
  buildCrc16Table();
  EXPECT_EQ(crc16State.table[0][1], 0xC0C1);
  EXPECT_EQ(crc16State.table[0][255], 0x4040);
  runningCrc16 = 0;
  crc16Update(reinterpret_cast<const uint8_t*>("123456789"), 9);
  EXPECT_EQ(runningCrc16, 0xBB3D);
}

TEST(Crc16, EveryLengthAndSplitMatchesTheBitwiseCrc) {
  buildCrc16Table();
  Bytes data(300);
  for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(k * 131 + 7);
  for (uint32_t length : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 300u}) {
    Bytes part(data.begin(), data.begin() + length);
    runningCrc16 = 0;
    crc16Update(part.data(), length);
    EXPECT_EQ(runningCrc16, referenceCrc16(part)) << length;
    // the register carries over between calls
    runningCrc16 = 0;
    crc16Update(part.data(), length / 3);
    crc16Update(part.data() + length / 3, length - length / 3);
    EXPECT_EQ(runningCrc16, referenceCrc16(part)) << length;
  }
}

TEST_F(HeaderReader, Level0FieldsAndStreamPosition) {
  Bytes a = level0Header("-lh5-", "dir\xFF" "file.txt", 1234, 5678, 0xBEEF);
  size_t headerLength = a.size();
  a.resize(a.size() + 10, 0xAA);
  ASSERT_TRUE(read(a));
  const MemberHeader& h = memberHeader;
  EXPECT_EQ(h.level, 0);
  EXPECT_STREQ(h.methodId, "-lh5-");
  EXPECT_STREQ(h.path, "dir\\file.txt");
  EXPECT_EQ(h.packedSize, 1234u);
  EXPECT_EQ(h.originalSize, 5678u);
  EXPECT_EQ(h.timeStamp, 0x50210000u);
  EXPECT_EQ(h.attribute, 0x20);
  EXPECT_EQ(h.storedCrc16, 0xBEEF);
  EXPECT_EQ(archiveTell(), static_cast<int64_t>(headerLength));
  EXPECT_TRUE(recorder.messages.empty());
}

// The 70-byte level-2 header: name extension, header CRC, an ignored 0x41 extension.
TEST_F(HeaderReader, Level2WithHeaderCrcNameAndUnknownExtension) {
  Bytes name = text("hello.txt");  // 9 bytes: extension of 12
  Bytes windowsTimes(24, 0x11);    // 0x41: 27 bytes
  Bytes a = level2Header("-lh5-", 0, 0, 0x1234, {{0x01, name}, {0x41, windowsTimes}}, true);
  ASSERT_EQ(a.size(), 70u);
  EXPECT_EQ(a[0] | a[1] << 8, 70);
  a.resize(a.size() + 5, 0);
  ASSERT_TRUE(read(a));
  EXPECT_STREQ(memberHeader.path, "hello.txt");
  EXPECT_EQ(memberHeader.level, 2);
  EXPECT_EQ(memberHeader.storedCrc16, 0x1234);
  EXPECT_EQ(memberHeader.timeStamp, 1577836800u);
  EXPECT_EQ(archiveTell(), 70);
  // the reader's CRC covers all 70 bytes with the CRC bytes as zero
  Bytes zeroed(a.begin(), a.begin() + 70);
  zeroed[27] = zeroed[28] = 0;
  EXPECT_EQ(runningCrc16, referenceCrc16(zeroed));
}

TEST_F(HeaderReader, Level2WrongHeaderCrcRejectsWithoutMessage) {
  Bytes a = level2Header("-lh5-", 0, 0, 0, {{0x01, text("a.txt")}}, true);
  a[27] ^= 0x01;
  EXPECT_FALSE(read(a));
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(HeaderReader, OnlyTheFirstHeaderCrcExtensionCounts) {
  // a second type-0 extension is ignored (its bytes are plain header bytes)
  Bytes a = level2Header("-lh5-", 0, 0, 0, {{0x01, text("a.txt")}, {0x00, {0x55, 0x55}}}, true);
  EXPECT_TRUE(read(a));
}

TEST_F(HeaderReader, Level1ExtensionsAreTakenOffThePackedSize) {
  Bytes data = text("0123456789");
  Bytes a = level1Header("-lh0-", "x.txt", static_cast<uint32_t>(data.size()), 10, 0,
                         {{0x40, {0x21, 0x00}}, {0x02, text("subd\xFF" "dir\xFF")}});
  // the extensions are 5 and 12 bytes; the stored packed size counts them, the reader's not
  a.insert(a.end(), data.begin(), data.end());
  Bytes next = level0Header("-lh0-", "next", 0, 0, 0);
  a.insert(a.end(), next.begin(), next.end());

  ASSERT_TRUE(read(a));
  EXPECT_EQ(memberHeader.packedSize, data.size());
  EXPECT_EQ(memberHeader.attribute, 0x21);
  EXPECT_STREQ(memberHeader.path, "subd\\dir\\x.txt");
  ASSERT_TRUE(archiveSeek(archiveTell() + memberHeader.packedSize));
  ASSERT_TRUE(readMemberHeader(buffer));
  EXPECT_STREQ(memberHeader.path, "next");
}

TEST_F(HeaderReader, Level1ExtensionsLargerThanThePackedSizeReject) {
  Bytes a = level1Header("-lh0-", "x", 0, 0, 0, {{0x01, text("long-name")}});
  a[7] = 3;  // less than the 12 bytes of the extension
  a[8] = a[9] = a[10] = 0;
  uint8_t sum = 0;
  for (size_t k = 2; k < static_cast<size_t>(a[0]) + 2; ++k) sum = static_cast<uint8_t>(sum + a[k]);
  a[1] = sum;
  EXPECT_FALSE(read(a));
}

TEST_F(HeaderReader, Level2DirectoryAndNameExtensions) {
  Bytes a = level2Header("-lh5-", 0, 0, 0, {{0x02, text("docs\xFFimg\xFF")}, {0x01, text("a.txt")}}, false);
  ASSERT_TRUE(read(a));
  EXPECT_STREQ(memberHeader.path, "docs\\img\\a.txt");
}

TEST_F(HeaderReader, NameExtensionReplacesBaseNameAndIsCutAt260) {
  Bytes longName(300, 'n');
  Bytes a = level1Header("-lh5-", "base", 0, 0, 0, {{0x01, longName}});
  ASSERT_TRUE(read(a));
  EXPECT_EQ(std::strlen(memberHeader.path), 260u);
  EXPECT_EQ(memberHeader.path[0], 'n');
  EXPECT_FALSE(memberHeader.nameValid);
  // cut between the characters of a UTF-8 name, what is left would still be a name
  Bytes utf8Name = text("ab");
  for (int i = 0; i < 100; ++i) utf8Name.insert(utf8Name.end(), {0xE6, 0x97, 0xA5});  // 日
  ASSERT_TRUE(read(level2Header("-lh5-", 0, 0, 0, {{0x01, utf8Name}, {kCodePageExtension, {0xE9, 0xFD, 0, 0}}}, true)));
  EXPECT_FALSE(memberHeader.nameValid);
}

// A member's name in its code page: the one extended header 0x46 names, else the system's
// ANSI one. The path comes out as UTF-8; a name its code page cannot read is marked.
struct NameCase {
  const char* what;
  std::string directory, name;  // stored bytes, 0xFF between folders
  uint32_t codePage;            // extended header 0x46 (0: none)
  unsigned system;              // the system's code page the row needs (0: any)
  const char* path;             // read as
  bool valid;
};

class NameInItsCodePage : public HeaderReader, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameInItsCodePage, ReadsAsUtf8) {
  const NameCase& c = GetParam();
  if (c.system) sys::setCodePage(c.system);
  if (c.system && sys::activeCodePage() != c.system) GTEST_SKIP() << "the system's code page is not " << c.system;
  std::vector<ExtendedHeader> extensions = {{0x01, text(c.name)}};
  if (!c.directory.empty()) extensions.push_back({0x02, text(c.directory)});
  if (c.codePage) extensions.push_back({kCodePageExtension, {static_cast<uint8_t>(c.codePage), static_cast<uint8_t>(c.codePage >> 8), 0, 0}});
  ASSERT_TRUE(read(level2Header("-lh5-", 0, 0, 0, extensions, true))) << c.what;
  EXPECT_STREQ(memberHeader.path, c.path) << c.what;
  EXPECT_EQ(memberHeader.nameValid, c.valid) << c.what;
  EXPECT_EQ(memberHeader.codePage, c.codePage) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, NameInItsCodePage,
    ::testing::Values(
        NameCase{"932 named, on any system: the trail byte 0x5C stays in its character", "", "\x95\x5C.txt", 932,
                 0, "\u8868.txt", true},
        NameCase{"no code page named, 1252 system: read as ever", "", "\x95\x5C.txt", 0, 1252, "\u2022\\.txt", true},
        NameCase{"no code page named, 932 system", "\x83\x5C\xFF", "\x95\x5C.txt", 0, 932, "\u30BD\\\u8868.txt", true},
        NameCase{"0xFF after a lead byte is neither a separator nor a character", "d\x81\xFF\xFF", "f", 0, 932,
                 "d??\\f", false},
        NameCase{"UTF-8 named", "\xED\x95\x9C\xFF", "caf\xC3\xA9.txt", 65001, 0, "\uD55C\\caf\u00E9.txt", true},
        NameCase{"UTF-8 cut short", "", "a\xC3", 65001, 0, "a?", false},
        NameCase{"dots spelt overlong in UTF-8", "\xC0\xAE\xC0\xAE\xFF", "x", 65001, 0, "????\\x", false},
        NameCase{"a code page no system has", "", "x", 12345, 0, "x", false},
        NameCase{"this thread's code page: another on each machine", "", "x", 3, 0, "x", false},
        NameCase{"the symbol code page", "", "x", 42, 0, "x", false}));

TEST_F(HeaderReader, Level0WrongChecksumShowsInvalidHeader) {
  Bytes a = level0Header("-lh5-", "a", 0, 0, 0);
  a[1] ^= 0x40;
  EXPECT_FALSE(read(a));
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0], "invalid header.");
}

TEST_F(HeaderReader, NameLongerThanTheHeaderShowsInvalidHeader) {
  Bytes a = level0Header("-lh5-", "abc", 0, 0, 0);
  a[21] = 200;  // name length beyond the header; fix the checksum so only that is wrong
  uint8_t sum = 0;
  for (size_t k = 2; k < a.size(); ++k) sum = static_cast<uint8_t>(sum + a[k]);
  a[1] = sum;
  EXPECT_FALSE(read(a));
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0], "invalid header.");
}

struct RejectCase {
  const char* what;
  size_t offset;
  uint8_t value;
};

class SilentRejection : public HeaderReader, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(SilentRejection, RejectsWithoutMessage) {
  Bytes a = level0Header("-lh5-", "name", 0, 0, 0);
  a.resize(a.size() + 300, 0);
  a[GetParam().offset] = GetParam().value;
  EXPECT_FALSE(read(a)) << GetParam().what;
  EXPECT_TRUE(recorder.messages.empty()) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, SilentRejection,
    ::testing::Values(RejectCase{"level 3", 20, 3}, RejectCase{"level 255", 20, 0xFF},
                      RejectCase{"end mark", 0, 0}, RejectCase{"length wraps (254)", 0, 254},
                      RejectCase{"length wraps (255)", 0, 255}, RejectCase{"length 20", 0, 18},
                      RejectCase{"method not -l", 3, 'p'}, RejectCase{"method not -", 2, 'x'}));

TEST_F(HeaderReader, Level2LengthWithLowByteZeroRejects) {
  Bytes a = level2Header("-lh5-", 0, 0, 0, {}, false);
  a[0] = 0;
  a[1] = 1;
  EXPECT_FALSE(read(a));
}

// A level-2 header is as long as its length field says; the padding behind the chain is
// covered by the header CRC.
struct StatedLengthCase {
  const char* what;
  size_t padding;
  int statedDelta;     // added to the length field before the CRC is put in
  bool crcOverPadding;
  bool accepted;
};

class Level2StatedLength : public HeaderReader, public ::testing::WithParamInterface<StatedLengthCase> {};

TEST_P(Level2StatedLength, HeaderEndsWhereItsLengthSays) {
  const StatedLengthCase& c = GetParam();
  Bytes a = level2Header("-lh0-", 3, 3, 0, {{0x01, text("padded.txt")}}, true, c.padding);
  auto stated = static_cast<uint16_t>(static_cast<int>(a.size()) + c.statedDelta);
  restateLevel2Header(a, c.crcOverPadding ? stated : static_cast<uint16_t>(a.size() - c.padding));
  a[0] = static_cast<uint8_t>(stated);
  a[1] = static_cast<uint8_t>(stated >> 8);
  Bytes data = text("abc");
  a.insert(a.end(), data.begin(), data.end());
  a.resize(a.size() + 400, 0);
  EXPECT_EQ(read(a), c.accepted) << c.what;
  if (!c.accepted) return;
  EXPECT_STREQ(memberHeader.path, "padded.txt") << c.what;
  EXPECT_EQ(archiveTell(), stated) << c.what;  // on the first data byte
}

INSTANTIATE_TEST_SUITE_P(
    Headers, Level2StatedLength,
    ::testing::Values(StatedLengthCase{"no padding", 0, 0, true, true},
                      StatedLengthCase{"one byte, as writers avoid a length of 256", 1, 0, true, true},
                      StatedLengthCase{"300 bytes", 300, 0, true, true},
                      StatedLengthCase{"CRC over the chain only", 1, 0, false, false},
                      StatedLengthCase{"length shorter than the chain", 0, -1, true, false}));

// What may follow a member: the archive's end in its three forms, a member, or damage,
// which shows "invalid header." exactly once.
struct NextCase {
  const char* what;
  Bytes behind;        // the bytes where the next header would begin
  int64_t endCut;      // archiveEnd this many bytes before the end of the file
  NextHeader expected;
};

class NextHeaderAt : public HeaderReader, public ::testing::WithParamInterface<NextCase> {};

TEST_P(NextHeaderAt, EndMemberOrDamage) {
  const NextCase& c = GetParam();
  Bytes a = level0Header("-lh0-", "first", 0, 0, 0);
  a.insert(a.end(), c.behind.begin(), c.behind.end());
  attachBytes(a);
  ASSERT_TRUE(readMemberHeader(buffer));
  EXPECT_EQ(readNextHeader(buffer, static_cast<int64_t>(a.size()) - c.endCut), c.expected) << c.what;
  EXPECT_EQ(recorder.messages.size(), c.expected == NextHeader::damaged ? 1u : 0u) << c.what;
  if (c.expected == NextHeader::member) {
    EXPECT_STREQ(memberHeader.path, "second") << c.what;
  }
}

Bytes junk(size_t n) { return Bytes(n, 0x41); }
Bytes then(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Bytes cut(Bytes b, size_t n) {
  b.resize(n);
  return b;
}
Bytes level2WrongCrc() {
  Bytes h = level2Header("-lh0-", 0, 0, 0, {{0x01, text("second")}}, true);
  h[27] ^= 1;
  return h;
}
Bytes badChecksum() {
  Bytes h = level0Header("-lh0-", "second", 0, 0, 0);
  h[1] ^= 1;
  return h;
}

INSTANTIATE_TEST_SUITE_P(
    Archives, NextHeaderAt,
    ::testing::Values(
        NextCase{"end of the file", {}, 0, NextHeader::end},
        NextCase{"zero byte, nothing after it read", then({0}, junk(40)), 0, NextHeader::end},
        NextCase{"23 bytes left", junk(23), 0, NextHeader::end},
        NextCase{"a member", level0Header("-lh0-", "second", 0, 0, 0), 0, NextHeader::member},
        NextCase{"a member behind the archive's end (a certificate table)",
                 level0Header("-lh0-", "second", 0, 0, 0), 30, NextHeader::end},
        NextCase{"24 bytes that are no header", junk(24), 0, NextHeader::damaged},
        NextCase{"a header the reader reports itself", badChecksum(), 0, NextHeader::damaged},
        NextCase{"a level-2 header with a wrong CRC", level2WrongCrc(), 0, NextHeader::damaged},
        NextCase{"a header cut short", cut(level0Header("-lh0-", "second", 0, 0, 0), 25), 0,
                 NextHeader::damaged}));

TEST_F(HeaderReader, ExtendedHeaderOf5000BytesRejects) {
  Bytes a = level2Header("-lh5-", 0, 0, 0, {{0x01, text("x")}}, false);
  a[24] = 5000 & 0xFF;
  a[25] = 5000 >> 8;
  a.resize(a.size() + 6000, 0);
  EXPECT_FALSE(read(a));
}

TEST_F(HeaderReader, ShortReadsReject) {
  Bytes whole = level2Header("-lh5-", 0, 0, 0, {{0x01, text("name.txt")}}, true);
  for (size_t cut : std::vector<size_t>{0, 5, 20, 25, 30, whole.size() - 1}) {
    Bytes a(whole.begin(), whole.begin() + static_cast<long>(cut));
    EXPECT_FALSE(read(a)) << cut;
  }
  EXPECT_TRUE(read(whole));
}

TEST_F(HeaderReader, ReadHeaderBytesRefusesBadCounts) {
  attachBytes(Bytes(5000, 1));
  headerChecksum = 0;
  EXPECT_EQ(readHeaderBytes(buffer, -1), -1);
  EXPECT_EQ(readHeaderBytes(buffer, 4097), -1);
  EXPECT_EQ(archiveTell(), 0);
  EXPECT_EQ(readHeaderBytes(buffer, 4096), 4096);
  EXPECT_EQ(headerChecksum, static_cast<uint8_t>(4096));
  EXPECT_EQ(readHeaderBytes(buffer, 4096), 904);  // short at end of file
}

// A file handed over at any position is read from its first byte.
TEST_F(HeaderReader, AttachedFileIsReadFromItsFirstByte) {
  buildCrc16Table();
  Bytes archive = level0Header("-lh0-", "a.txt", 0, 0, 0x1234);
  for (long position : {0L, 7L, static_cast<long>(archive.size())}) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::fwrite(archive.data(), 1, archive.size(), f);
    std::fseek(f, position, SEEK_SET);
    attachArchiveStream(f);
    EXPECT_EQ(archiveTell(), 0) << position;
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_TRUE(readMemberHeader(buffer)) << position;
    EXPECT_STREQ(memberHeader.path, "a.txt") << position;
    EXPECT_EQ(archiveTell(), static_cast<int64_t>(archive.size())) << position;
    closeArchiveStream();
  }
}

// --- the scan ---

struct ScanCase {
  const char* what;
  Bytes file;
  bool found;
  uint32_t offset;
  size_t messages;
};

Bytes joined(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<ScanCase> scanCases() {
  Bytes member = level0Header("-lh5-", "m", 0, 0, 0);
  Bytes badChecksum = level0Header("-lh5-", "bad", 0, 0, 0);
  badChecksum[1] ^= 1;
  // "-lhd-" text inside an image: byte 20 after it is no level
  Bytes decoy = text("xx-lhd-..............zzzzzzzzzz");
  Bytes stub(100000, 0x90);
  std::vector<ScanCase> cases;
  cases.push_back({"empty file", {}, false, 0, 0});
  cases.push_back({"shorter than 21 bytes", Bytes(member.begin(), member.begin() + 20), false, 0, 0});
  cases.push_back({"no candidate", Bytes(70000, 'x'), false, 0, 0});
  cases.push_back({"at offset 0", member, true, 0, 0});
  cases.push_back({"behind a decoy", joined({decoy, member}), true, static_cast<uint32_t>(decoy.size()), 0});
  cases.push_back({"behind a bad checksum", joined({Bytes(7, 0), badChecksum, member}), true,
                   static_cast<uint32_t>(7 + badChecksum.size()), 1});
  cases.push_back({"behind a stub", joined({stub, member}), true, 100000, 0});
  // the first header begins in the last 20 bytes of the first 64 KiB block
  cases.push_back({"across a block seam", joined({Bytes(65536 - 10, 0), member}), true, 65526, 0});
  cases.push_back({"at a block seam after a failed candidate",
                   joined({Bytes(65536 - 30, 0), badChecksum, member}), true,
                   static_cast<uint32_t>(65536 - 30 + badChecksum.size()), 1});
  return cases;
}

class Scan : public HeaderReader, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(Scan, FindsTheFirstAcceptedHeader) {
  const ScanCase& c = GetParam();
  attachBytes(c.file);
  uint32_t offset = 0xFFFFFFFF;
  bool found = findFirstHeader(buffer, &offset);
  EXPECT_EQ(found, c.found) << c.what;
  if (found && c.found) {
    EXPECT_EQ(offset, c.offset) << c.what;
    // the stream stands behind the accepted header, and that header reads again
    EXPECT_EQ(archiveTell(), static_cast<int64_t>(offset + 25));  // level 0, one-byte name
    ASSERT_TRUE(archiveSeek(offset));
    EXPECT_TRUE(readMemberHeader(buffer));
    EXPECT_STREQ(memberHeader.path, "m");
  }
  EXPECT_EQ(recorder.messages.size(), c.messages) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Archives, Scan, ::testing::ValuesIn(scanCases()));

TEST_F(HeaderReader, ScanStartsAtTheCurrentPosition) {
  Bytes first = level0Header("-lh0-", "m", 0, 0, 0);
  Bytes a = joined({first, first});
  attachBytes(a);
  ASSERT_TRUE(archiveSeek(1));
  uint32_t offset = 0;
  ASSERT_TRUE(findFirstHeader(buffer, &offset));
  EXPECT_EQ(offset, first.size());
}

}  // namespace
