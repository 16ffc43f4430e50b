// The decoder frame: method selection, the dictionary loop, output and stored copies.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "extract/run_state.h"
#include "lha/bits.h"
#include "lha/decode.h"
#include "lha/header.h"
#include "lha/huffman.h"
#include "lha/stream.h"
#include "lha_util.h"

namespace {

struct SelectCase {
  const char* id;
  uint32_t method;
};

class SelectDecodeMethod : public ::testing::TestWithParam<SelectCase> {};

TEST_P(SelectDecodeMethod, MapsTheId) { EXPECT_EQ(selectDecodeMethod(GetParam().id), GetParam().method) << GetParam().id; }

INSTANTIATE_TEST_SUITE_P(
    Ids, SelectDecodeMethod,
    ::testing::Values(SelectCase{"-lh0-", 0}, SelectCase{"-lh1-", 1}, SelectCase{"-lh2-", 2}, SelectCase{"-lh3-", 3},
                      SelectCase{"-lh4-", 4}, SelectCase{"-lh5-", 5}, SelectCase{"-lh6-", 6}, SelectCase{"-lh7-", 7},
                      SelectCase{"-lzs-", 13}, SelectCase{"-lz4-", 14}, SelectCase{"-lz5-", 15},
                      // only the fourth character decides, the third only for '4' and '5'
                      SelectCase{"-lz7-", 7}, SelectCase{"-lhs-", 13}, SelectCase{"-lz0-", 0}, SelectCase{"-lh8-", 11},
                      SelectCase{"-lhx-", 11}, SelectCase{"-lhd-", 11}, SelectCase{"-lH5-", 5},
                      SelectCase{"-lh5", 5}, SelectCase{"", 11}, SelectCase{"-l", 11}));

TEST(MethodTable, EveryListedMethodIsSupported) {
  for (uint32_t m : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 13u, 14u, 15u}) EXPECT_TRUE(decodeMethodSupported(m)) << m;
  for (uint32_t m : {8u, 9u, 10u, 11u, 12u, 16u, 0xFFFFFFFFu}) EXPECT_EQ(findDecodeMethod(m), nullptr) << m;
  struct Expect {
    uint32_t method, dictionarySize, lengthOffset;
  };
  for (Expect e : {Expect{1, 4096, 253}, Expect{2, 8192, 253}, Expect{3, 8192, 253}, Expect{4, 4096, 253},
                   Expect{5, 8192, 253}, Expect{6, 32768, 253}, Expect{7, 65536, 253}, Expect{13, 2048, 254},
                   Expect{15, 4096, 253}}) {
    const DecodeMethodRecord* r = findDecodeMethod(e.method);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(1u << r->dictionaryBits, e.dictionarySize) << e.method;
    EXPECT_EQ(r->lengthOffset, e.lengthOffset) << e.method;
  }
}

TEST(DecodeMember, MethodsWithoutDecoderReadAndWriteNothing) {
  for (uint32_t m : {11u, 99u}) {
    DecodeResult r = decodeBytes(m, Bytes(100, 0x55), 100, 50);
    EXPECT_TRUE(r.output.empty()) << m;
    EXPECT_EQ(r.crc, 0) << m;
    EXPECT_EQ(r.archivePosition, 0) << m;
    EXPECT_TRUE(r.progress.empty()) << m;
  }
}

// --- stored methods ---

struct StoredCase {
  const char* what;
  uint32_t method;
  size_t fileBytes;
  uint32_t packedSize;
  size_t expectOut;
  size_t expectWrites;
};

class CopyStored : public ::testing::TestWithParam<StoredCase> {};

TEST_P(CopyStored, CopiesThePackedBytes) {
  const StoredCase& c = GetParam();
  Bytes data = pattern(c.fileBytes);
  DecodeResult r = decodeBytes(c.method, data, c.packedSize, 12345 /* never looked at */);
  Bytes expect(data.begin(), data.begin() + static_cast<long>(c.expectOut));
  EXPECT_EQ(r.output, expect) << c.what;
  EXPECT_EQ(r.crc, referenceCrc16(expect)) << c.what;
  EXPECT_EQ(r.progress.size(), c.expectWrites) << c.what;
  EXPECT_EQ(r.status, 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, CopyStored,
    ::testing::Values(StoredCase{"lh0 empty", 0, 100, 0, 0, 0}, StoredCase{"lz4 empty", 14, 100, 0, 0, 0},
                      StoredCase{"lh0 small", 0, 100, 60, 60, 1}, StoredCase{"lz4 small", 14, 100, 60, 60, 1},
                      StoredCase{"exactly one piece", 0, 40000, 32768, 32768, 1},
                      StoredCase{"one byte over a piece", 0, 40000, 32769, 32769, 2},
                      StoredCase{"size unknown reads to the end", 0, 70000, 0xFFFFFFFF, 70000, 3},
                      StoredCase{"file ends early", 0, 1000, 5000, 1000, 1}));

// --- writeOutput ---

// Progress is the archive read since the first header, the unit of the bar's range.
TEST(WriteOutput, WithoutStreamStillCountsChecksAndReports) {
  attachBytes(pattern(8192));
  ASSERT_TRUE(archiveSeek(7000));
  startProgressReport(1000, 0);
  outputStream = nullptr;
  totalBytesWritten = 4999000;
  runningCrc16 = 0;
  Bytes data = pattern(1000);
  EXPECT_EQ(writeOutput(data.data(), 1000), 1000u);
  EXPECT_EQ(totalBytesWritten, 5000000u);
  EXPECT_EQ(runningCrc16, referenceCrc16(data));
  ASSERT_TRUE(archiveSeek(500));  // before the origin: nothing read yet
  EXPECT_EQ(writeOutput(data.data(), 1000), 1000u);
  startProgressReport(0, 0);
  ASSERT_EQ(recorder.progress.size(), 2u);
  EXPECT_EQ(recorder.progress[0], 5u);
  EXPECT_EQ(recorder.progress[1], 0u);
}

// A report only once the position has moved by a 64th of the archive.
TEST(WriteOutput, ReportsInStepsOfTheArchive) {
  attachBytes(pattern(1 << 17));
  startProgressReport(0, 1 << 17);  // 128 KiB: steps of 2 KiB
  Bytes data = pattern(10);
  for (int64_t at : {0, 1024, 2048, 3072, 4096, 6000, (1 << 17) - 1}) {
    ASSERT_TRUE(archiveSeek(at));
    writeOutput(data.data(), 10);
  }
  EXPECT_EQ(recorder.progress, (std::vector<uint32_t>{2, 4, 127}));
  reportProgressNow();
  EXPECT_EQ(recorder.progress.back(), 127u);
  startProgressReport(0, 0);
}

TEST(WriteOutput, StoppedRunWritesNothing) {
  attachBytes({});
  totalBytesWritten = 0;
  runningCrc16 = 0;
  stopRun(kRunCancelled);
  Bytes data = pattern(10);
  EXPECT_EQ(writeOutput(data.data(), 10), 0u);
  EXPECT_EQ(totalBytesWritten, 0u);
  EXPECT_EQ(runningCrc16, 0);
  EXPECT_TRUE(recorder.progress.empty());
  runStatus.store(0);
}

// A stream opened for reading refuses writes: a short write stops the run.
TEST(WriteOutput, ShortWriteStopsTheRunAndLaterWritesDoNothing) {
  attachBytes(Bytes(10, 0));
  outputStream = archiveStream.file;  // read-only
  totalBytesWritten = 0;
  runningCrc16 = 0;
  Bytes data = pattern(10);
  EXPECT_EQ(writeOutput(data.data(), 10), 0u);
  EXPECT_EQ(runStatus.load(), kRunFailed);
  EXPECT_EQ(totalBytesWritten, 0u);
  EXPECT_TRUE(recorder.progress.empty());
  outputStream = nullptr;
  EXPECT_EQ(writeOutput(data.data(), 10), 0u);
  runStatus.store(0);
  closeArchiveStream();
}

// --- the bit reader ---

TEST(BitReader, ReadsMostSignificantFirstThenZerosThenFF) {
  // two packed bytes allowed; the file holds three, then ends
  attachBytes({0xA5, 0x3C, 0x77});
  bitReader.packedRemaining = 2;
  initBitReader();
  EXPECT_EQ(bitBuffer(), 0xA53C);
  EXPECT_EQ(getBits(0), 0u);
  EXPECT_EQ(getBits(4), 0xAu);
  EXPECT_EQ(getBits(12), 0x53Cu);
  EXPECT_EQ(getBits(16), 0u);  // past packedSize: zero bits
  // the reader never took more than the two packed bytes
  EXPECT_EQ(archiveTell(), 2);

  attachBytes({0x12});
  bitReader.packedRemaining = 3;  // more than the file holds: 0xFF after its end
  initBitReader();
  EXPECT_EQ(getBits(8), 0x12u);
  EXPECT_EQ(getBits(16), 0xFFFFu);
  EXPECT_EQ(getBits(16), 0u);
  closeArchiveStream();
}

TEST(BitReader, FillBitsUpToSeventeenKeepsTheStream) {
  Bytes data = pattern(64, 9);
  attachBytes(data);
  bitReader.packedRemaining = 64;
  initBitReader();
  // read the same stream with odd widths and compare with a plain bit walk
  uint64_t bitPos = 0;
  auto bitAt = [&](uint64_t i) { return (data[i / 8] >> (7 - i % 8)) & 1; };
  for (uint32_t n : {17u, 3u, 16u, 1u, 9u, 13u, 17u, 5u, 12u, 8u, 16u, 11u, 0u, 7u}) {
    uint32_t expect = 0;
    for (uint32_t k = 0; k < 16; ++k) expect = expect << 1 | bitAt(bitPos + k);
    EXPECT_EQ(bitBuffer(), expect) << bitPos;
    fillBits(n);
    bitPos += n;
  }
  closeArchiveStream();
}

// --- the dictionary loop, driven by hand-made -lh5- streams ---

struct Stream {
  BitWriter w;
  StaticBlock block;
  explicit Stream(uint32_t method, uint16_t codes) : block(fullBlock(method)) { block.begin(w, codes); }
};

TEST(DecodeLoop, FirstMatchCopiesThePrefilledSpaces) {
  Stream s(kMethodLh5, 1);
  s.block.match(s.w, 3, 0);
  DecodeResult r = decodeBytes(kMethodLh5, s.w.finish(), static_cast<uint32_t>(s.w.bytes.size()), 3);
  EXPECT_EQ(r.output, Bytes(3, ' '));
}

TEST(DecodeLoop, OverlappingMatchRepeatsTheLastByte) {
  Stream s(kMethodLh5, 2);
  s.block.literal(s.w, 'a');
  s.block.match(s.w, 10, 0);
  DecodeResult r = decodeBytes(kMethodLh5, s.w.finish(), static_cast<uint32_t>(s.w.bytes.size()), 11);
  EXPECT_EQ(r.output, Bytes(11, 'a'));
  EXPECT_EQ(r.crc, referenceCrc16(r.output));
}

TEST(DecodeLoop, LastMatchIsWrittenWholePastTheOriginalSize) {
  Stream s(kMethodLh5, 2);
  s.block.literal(s.w, 'x');
  s.block.match(s.w, 20, 0);
  DecodeResult r = decodeBytes(kMethodLh5, s.w.finish(), static_cast<uint32_t>(s.w.bytes.size()), 5);
  EXPECT_EQ(r.output, Bytes(21, 'x'));
  EXPECT_EQ(r.crc, referenceCrc16(r.output));
}

TEST(DecodeLoop, OriginalSizeZeroWritesNothing) {
  Stream s(kMethodLh6, 1);
  s.block.literal(s.w, 'x');
  DecodeResult r = decodeBytes(kMethodLh6, s.w.finish(), 1, 0);
  EXPECT_TRUE(r.output.empty());
  EXPECT_TRUE(r.progress.empty());
  EXPECT_LE(r.archivePosition, 1);  // no more than packedSize bytes were taken
}

struct WriteCase {
  uint32_t method;
  uint32_t size;
  size_t writes;
};

class DictionaryWrites : public ::testing::TestWithParam<WriteCase> {};

// Output leaves a full dictionary at a time, plus one partial write at the end.
TEST_P(DictionaryWrites, OneWritePerDictionary) {
  const WriteCase& c = GetParam();
  Stream s(c.method, static_cast<uint16_t>(c.size));
  Bytes expect = pattern(c.size, c.size);
  for (uint8_t b : expect) s.block.literal(s.w, b);
  DecodeResult r = decodeBytes(c.method, s.w.finish(), static_cast<uint32_t>(s.w.bytes.size()), c.size);
  EXPECT_EQ(r.output, expect);
  EXPECT_EQ(r.progress.size(), c.writes);
  ASSERT_FALSE(r.progress.empty());
  // the last write comes after the member's packed bytes were all read
  EXPECT_EQ(r.progress.back(), static_cast<uint32_t>(r.archivePosition / 1024));
}

INSTANTIATE_TEST_SUITE_P(Sizes, DictionaryWrites,
                         ::testing::Values(WriteCase{kMethodLh4, 4096, 1}, WriteCase{kMethodLh4, 4097, 2},
                                           WriteCase{kMethodLh5, 8192, 1}, WriteCase{kMethodLh5, 8193, 2},
                                           WriteCase{kMethodLh6, 32768, 1}, WriteCase{kMethodLh6, 32769, 2},
                                           WriteCase{kMethodLh7, 65535, 1}, WriteCase{kMethodLh7, 10, 1}));

TEST(DecodeLoop, MatchAcrossTheRingEndWraps) {
  // fill -lh4-'s 4096-byte ring to 4090, then copy 20 bytes from 100 back
  Stream s(kMethodLh4, 4091);
  Bytes expect = pattern(4090, 3);
  for (uint8_t b : expect) s.block.literal(s.w, b);
  s.block.match(s.w, 20, 99);
  for (int k = 0; k < 20; ++k) expect.push_back(expect[expect.size() - 100]);
  DecodeResult r = decodeBytes(kMethodLh4, s.w.finish(), static_cast<uint32_t>(s.w.bytes.size()), 4110);
  EXPECT_EQ(r.output, expect);
  EXPECT_EQ(r.progress.size(), 2u);
}

struct CopyCase {
  const char* what;
  uint32_t method;
  uint32_t literals;  // written before the match
  uint32_t length;
  uint32_t p;
};

class MatchCopies : public ::testing::TestWithParam<CopyCase> {};

// The copies of the static loop's ring of two dictionaries: a source closer than eight
// bytes goes by its period; a source behind the ring's end (after the first dictionary
// the ring starts again at 0) is read whole, or wraps around that end.
TEST_P(MatchCopies, CopyAsTheModel) {
  const CopyCase& c = GetParam();
  Stream s(c.method, static_cast<uint16_t>(c.literals + 2));
  OutputModel model;
  for (uint8_t b : pattern(c.literals, c.literals)) {
    s.block.literal(s.w, b);
    model.literal(b);
  }
  s.block.match(s.w, c.length, c.p);
  model.match(c.length, c.p);
  s.block.match(s.w, 20, c.length + 3);  // reads across the first match's end
  model.match(20, c.length + 3);
  DecodeResult r =
      decodeBytes(c.method, s.w.finish(), static_cast<uint32_t>(s.w.bytes.size()), static_cast<uint32_t>(model.out.size()));
  EXPECT_EQ(r.output, model.out) << c.what;
  EXPECT_EQ(r.crc, referenceCrc16(model.out)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Copies, MatchCopies,
    ::testing::Values(CopyCase{"period 3 over 200 bytes", kMethodLh5, 3, 200, 2},
                      CopyCase{"period 7, a period and two bytes", kMethodLh5, 7, 9, 6},
                      CopyCase{"period 5, shorter than its period", kMethodLh5, 5, 4, 4},
                      // at the ring's start, so nothing is read before it
                      CopyCase{"period 2 at the ring's start", kMethodLh4, 4096 + 2, 3, 1},
                      CopyCase{"source wraps around the ring's end", kMethodLh4, 4096 + 10, 30, 19},
                      CopyCase{"source ends at the ring's end", kMethodLh4, 4096 + 10, 10, 19},
                      CopyCase{"source behind the ring's end, whole", kMethodLh5, 8192 + 100, 50, 500}));

// -lh4- position code 13 names distances up to 8,192 in a 4,096-byte dictionary: the
// distance is taken modulo the dictionary size.
TEST(DecodeLoop, DistanceBeyondTheDictionaryWrapsInsideIt) {
  Stream s(kMethodLh4, 4);
  for (uint8_t b : {'p', 'q', 'r'}) s.block.literal(s.w, b);
  s.block.match(s.w, 3, 4096 + 2);  // the same place as p = 2
  DecodeResult r = decodeBytes(kMethodLh4, s.w.finish(), static_cast<uint32_t>(s.w.bytes.size()), 6);
  EXPECT_EQ(r.output, (Bytes{'p', 'q', 'r', 'p', 'q', 'r'}));
  EXPECT_EQ(r.status, 0);
}

TEST(DecodeLoop, CancelStopsBeforeTheNextCodeAndDropsTheDictionary) {
  Stream s(kMethodLh5, 3);
  for (uint8_t b : {'a', 'b', 'c'}) s.block.literal(s.w, b);
  attachBytes(s.w.finish());
  stopRun(kRunCancelled);
  outputStream = nullptr;
  runningCrc16 = 0;
  totalBytesWritten = 0;
  decodeMember(kMethodLh5, static_cast<uint32_t>(s.w.bytes.size()), 3);
  EXPECT_EQ(totalBytesWritten, 0u);
  EXPECT_TRUE(recorder.progress.empty());
  runStatus.store(0);
  closeArchiveStream();
}

// Truncated packed data: the reader feeds zero bits, decoding goes on to originalSize
// (or to a zero block size), and the CRC-16 tells.
TEST(DecodeLoop, TruncatedDataEndsWithAWrongCrc) {
  Stream s(kMethodLh5, 3000);
  Bytes expect = pattern(3000, 5);
  for (uint8_t b : expect) s.block.literal(s.w, b);
  Bytes packed = s.w.finish();
  uint32_t cut = static_cast<uint32_t>(packed.size() / 2);
  DecodeResult r = decodeBytes(kMethodLh5, packed, cut, 3000);
  EXPECT_LE(r.archivePosition, static_cast<int64_t>(cut));
  EXPECT_NE(r.crc, referenceCrc16(expect));
  EXPECT_EQ(r.crc, referenceCrc16(r.output));
}

// A write failure in the middle of a -lh6- member: nothing more is written afterwards.
TEST(DecodeLoop, WriteFailureStopsTheMember) {
  const uint32_t size = 3 * 32768;
  Stream s(kMethodLh6, 0xFFFF);
  Bytes data = pattern(size, 11);
  uint32_t codes = 0;
  for (uint32_t k = 0; k < size && codes < 0xFFFF; ++k, ++codes) s.block.literal(s.w, data[k]);
  attachBytes(s.w.finish());
  // a read-only stream fails the first write
  outputStream = archiveStream.file;
  runningCrc16 = 0;
  totalBytesWritten = 0;
  decodeMember(kMethodLh6, static_cast<uint32_t>(s.w.bytes.size()), size);
  EXPECT_EQ(runStatus.load(), kRunFailed);
  EXPECT_EQ(totalBytesWritten, 0u);
  EXPECT_TRUE(recorder.progress.empty());
  // the loop stopped at the code after the failed write: it consumed only the first
  // dictionary's worth of codes (65,535 - 32,768 codes were left in the block)
  EXPECT_EQ(huffman.blockSize, 0xFFFF - 32768);
  outputStream = nullptr;
  runStatus.store(0);
  closeArchiveStream();
}

}  // namespace
