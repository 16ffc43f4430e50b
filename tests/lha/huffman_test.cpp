// Static Huffman methods: makeTable, the length lists, block headers and codes, written
// bit by bit with the test bit writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "extract/run_state.h"
#include "lha/bits.h"
#include "lha/decode.h"
#include "lha/header.h"
#include "lha/huffman.h"
#include "lha/stream.h"
#include "lha_util.h"

namespace {

struct TableCase {
  const char* what;
  std::vector<uint8_t> lengths;
  const char* message;  // nullptr: a good table
};

class MakeTable : public ::testing::TestWithParam<TableCase> {};

// A good table maps every 8-bit prefix to the symbol whose canonical code it starts with;
// a bad one is reported with its case and stops the run.
TEST_P(MakeTable, BuildsCanonicalCodesOrReports) {
  const TableCase& c = GetParam();
  startRecording();
  std::vector<uint8_t> lengths = c.lengths;
  uint16_t treeCanary[kTreeNodeCount];
  std::memcpy(treeCanary, huffman.treeLeft, sizeof treeCanary);
  uint16_t tableBefore[256];
  std::memcpy(tableBefore, huffman.ptTable, sizeof tableBefore);
  uint8_t tableLengths[256];
  std::memset(tableLengths, 0xEE, sizeof tableLengths);
  bool ok = makeTable(static_cast<int16_t>(lengths.size()), lengths.data(), 8, huffman.ptTable, tableLengths);
  if (c.message) {
    EXPECT_FALSE(ok) << c.what;
    ASSERT_EQ(recorder.messages.size(), 1u) << c.what;
    EXPECT_EQ(recorder.messages[0], c.message) << c.what;
    EXPECT_EQ(runStatus.load(), kRunFailed) << c.what;
    // short codes never write past ptTable into the arrays behind it
    bool shortCodes = std::all_of(lengths.begin(), lengths.end(), [](uint8_t l) { return l <= 8; });
    if (shortCodes) {
      EXPECT_EQ(0, std::memcmp(treeCanary, huffman.treeLeft, sizeof treeCanary)) << c.what;
    }
  } else {
    EXPECT_TRUE(ok) << c.what;
    EXPECT_TRUE(recorder.messages.empty()) << c.what;
    EXPECT_EQ(runStatus.load(), kRunGoing) << c.what;
    std::vector<uint32_t> codes = canonicalCodes(lengths);
    for (uint32_t prefix = 0; prefix < 256; ++prefix) {
      uint32_t expect = 0xFFFF;
      for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] && lengths[s] <= 8 && (prefix >> (8 - lengths[s])) == codes[s]) expect = static_cast<uint32_t>(s);
      if (expect != 0xFFFF) {
        EXPECT_EQ(huffman.ptTable[prefix], expect) << c.what << " prefix " << prefix;
        EXPECT_EQ(tableLengths[prefix], lengths[expect]) << c.what << " prefix " << prefix;
      }
    }
    // a list without codes leaves the table as it was, its entries now taking no bits
    if (std::all_of(lengths.begin(), lengths.end(), [](uint8_t l) { return l == 0; })) {
      EXPECT_EQ(0, std::memcmp(tableBefore, huffman.ptTable, sizeof tableBefore)) << c.what;
      for (uint32_t prefix = 0; prefix < 256; ++prefix) EXPECT_EQ(tableLengths[prefix], 0) << c.what;
    }
  }
  runStatus.store(0);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, MakeTable,
    ::testing::Values(TableCase{"1,2,3,3: codes 0, 10, 110, 111", {1, 2, 3, 3}, nullptr},
                      TableCase{"1,1,1 over-full", {1, 1, 1}, "Bad table (case b)"},
                      TableCase{"1,2 incomplete", {1, 2}, "Bad table (case b)"},
                      TableCase{"length 17", {1, 17, 2}, "Bad table (case a)"},
                      TableCase{"all zero is an empty code", {0, 0, 0, 0}, nullptr},
                      TableCase{"with absent symbols", {0, 2, 0, 2, 2, 3, 3}, nullptr},
                      // the 16-bit total wraps to 0 though the list is over-full
                      TableCase{"1,1,1,1 wraps", {1, 1, 1, 1}, "Bad table (case c)"},
                      TableCase{"eight lengths of 2 wrap", {2, 2, 2, 2, 2, 2, 2, 2}, "Bad table (case c)"}));

TEST(MakeTable, ExampleCodesAreZeroTenOneTenOneEleven) {
  startRecording();
  uint8_t lengths[4] = {1, 2, 3, 3};
  ASSERT_TRUE(makeTable(4, lengths, 8, huffman.ptTable));
  for (uint32_t k = 0; k < 128; ++k) EXPECT_EQ(huffman.ptTable[k], 0);
  for (uint32_t k = 128; k < 192; ++k) EXPECT_EQ(huffman.ptTable[k], 1);
  for (uint32_t k = 192; k < 224; ++k) EXPECT_EQ(huffman.ptTable[k], 2);
  for (uint32_t k = 224; k < 256; ++k) EXPECT_EQ(huffman.ptTable[k], 3);
}

// The node arrays bound the trees: a table whose nodes would start near their end (an
// alphabet of 1,016) is reported instead of written past them.
TEST(MakeTable, TreeGrowthBeyondTheNodeArraysIsABadTable) {
  startRecording();
  std::vector<uint8_t> lengths(1016, 0);
  // 1, 2, ..., 15, 16, 16: a complete code whose longest codes need tree nodes
  for (int k = 0; k < 15; ++k) lengths[k] = static_cast<uint8_t>(k + 1);
  lengths[15] = lengths[16] = 16;
  EXPECT_FALSE(makeTable(1016, lengths.data(), 12, huffman.cTable));
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0], "Bad table (case c)");
  runStatus.store(0);
  // the same list over 17 symbols fits
  startRecording();
  EXPECT_TRUE(makeTable(17, lengths.data(), 12, huffman.cTable));
  EXPECT_TRUE(recorder.messages.empty());
}

// --- whole streams ---

struct Tokens {
  BitWriter w;
  OutputModel model;
  const StaticBlock* block = nullptr;
  void literal(uint8_t b) {
    block->literal(w, b);
    model.literal(b);
  }
  void match(uint32_t length, uint32_t p) {
    block->match(w, length, p);
    model.match(length, p);
  }
};

DecodeResult decodeTokens(uint32_t method, const Tokens& t, uint32_t originalSize) {
  return decodeBytes(method, t.w.bytes, static_cast<uint32_t>(t.w.bytes.size()), originalSize);
}

// The longest match a method's positions reach, and every position code's boundaries.
std::vector<uint32_t> positionsFor(uint32_t method) {
  uint32_t np = staticParams(method).positionCodeCount;
  uint32_t dictionary = 1u << findDecodeMethod(method)->dictionaryBits;
  std::vector<uint32_t> ps = {0, 1, 2, 3};
  for (uint32_t j = 2; j < np; ++j) {
    uint32_t low = 1u << (j - 1), high = (1u << j) - 1;
    if (low < dictionary) ps.push_back(low);
    if (high < dictionary) ps.push_back(high);
  }
  ps.push_back(dictionary - 1);
  return ps;
}

class StaticMethod : public ::testing::TestWithParam<uint32_t> {};

TEST_P(StaticMethod, LiteralsMatchLengthsAndEveryPositionCode) {
  uint32_t method = GetParam();
  StaticBlock b = fullBlock(method);
  std::vector<uint32_t> ps = positionsFor(method);
  Tokens t;
  t.block = &b;
  uint32_t codes = 256 + 3 * static_cast<uint32_t>(ps.size());
  b.begin(t.w, static_cast<uint16_t>(codes));
  for (uint32_t v = 0; v < 256; ++v) t.literal(static_cast<uint8_t>(v * 7));
  for (uint32_t p : ps) {
    t.match(3, p);    // code 256: the shortest match
    t.match(256, p);  // code 509: the longest
    t.match(100, p);
  }
  DecodeResult r = decodeTokens(method, t, static_cast<uint32_t>(t.model.out.size()));
  EXPECT_EQ(r.output, t.model.out);
  EXPECT_EQ(r.crc, referenceCrc16(t.model.out));
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.messages.empty());
}

// Codes of 10 to 16 bits go through the overflow trees of both tables.
TEST_P(StaticMethod, LongCodesThroughTheTrees) {
  uint32_t method = GetParam();
  StaticBlock b = fullBlock(method);
  // 9 of 8 bits, 493 of 9, then 10, 11, 12, 13, 14, 15, 16, 16: complete
  for (uint32_t s = 0; s < 510; ++s) b.charLengths[s] = s < 9 ? 8 : 9;
  const uint8_t chain[8] = {10, 11, 12, 13, 14, 15, 16, 16};
  for (uint32_t k = 0; k < 8; ++k) b.charLengths[502 + k] = chain[k];
  // positions: 1, 2, 3, ... and the last two equal, so the longest have 16 bits on lh7
  uint32_t np = b.params.positionCodeCount;
  for (uint32_t j = 0; j < np; ++j) b.positionLengths[j] = static_cast<uint8_t>(j + 1 < np ? j + 1 : np - 1);
  std::vector<uint32_t> ps = positionsFor(method);
  Tokens t;
  t.block = &b;
  b.begin(t.w, static_cast<uint16_t>(256 + 8 * ps.size()));
  for (uint32_t v = 0; v < 256; ++v) t.literal(static_cast<uint8_t>(255 - v));
  for (uint32_t p : ps)
    for (uint32_t length = 249; length <= 256; ++length) t.match(length, p);
  DecodeResult r = decodeTokens(method, t, static_cast<uint32_t>(t.model.out.size()));
  EXPECT_EQ(r.output, t.model.out);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Methods, StaticMethod, ::testing::Values(kMethodLh4, kMethodLh5, kMethodLh6, kMethodLh7));

// A block of 65,535 codes, then a block with other codes: the tables change exactly
// after the 65,535th code.
TEST(StaticBlocks, NewBlockHeaderAfter65535Codes) {
  StaticBlock first = fullBlock(kMethodLh5);
  StaticBlock second = fullBlock(kMethodLh5);
  // the second block swaps which symbols are short
  for (uint32_t s = 0; s < 510; ++s) second.charLengths[s] = (s == 'x' || s == 'y') ? 8 : 9;
  Tokens t;
  t.block = &first;
  first.begin(t.w, 0xFFFF);
  Bytes data = pattern(0xFFFF - 1, 77);
  for (uint8_t b : data) t.literal(b);
  t.match(10, 5);  // the 65,535th code
  t.block = &second;
  second.begin(t.w, 3);
  t.literal('x');
  t.literal('y');
  t.match(256, 1);
  DecodeResult r = decodeTokens(kMethodLh5, t, static_cast<uint32_t>(t.model.out.size()));
  EXPECT_EQ(r.output, t.model.out);
  EXPECT_EQ(r.status, 0);
}

// A zero block size only comes from damaged or exhausted data: the member ends there
// with what was decoded, without a failure of the run.
TEST(StaticBlocks, ZeroBlockSizeEndsTheMember) {
  StaticBlock b = fullBlock(kMethodLh6);
  Tokens t;
  t.block = &b;
  b.begin(t.w, 5);
  for (uint8_t c : {'h', 'e', 'l', 'l', 'o'}) t.literal(c);
  t.w.put(0, 16);                       // block size 0
  for (int k = 0; k < 40; ++k) t.w.put(0xA5, 8);  // whatever follows is not read
  DecodeResult r = decodeTokens(kMethodLh6, t, 1000);
  EXPECT_EQ(r.output, t.model.out);
  EXPECT_EQ(r.crc, referenceCrc16(t.model.out));
  EXPECT_EQ(r.status, 0);
}

TEST(SingleCodeTables, CharacterCountZeroMakesEveryCodeTheSameLiteral) {
  StaticBlock b = fullBlock(kMethodLh5);
  b.prepare();
  BitWriter w;
  w.put(1000, 16);
  b.putCodeLengthList(w);
  w.put(0, 9);
  w.put(65, 9);  // every code is 'A'
  b.putPositionLengths(w);
  uint32_t headerBytes = static_cast<uint32_t>(w.bytes.size());
  DecodeResult r = decodeBytes(kMethodLh5, w.bytes, headerBytes, 1000);
  EXPECT_EQ(r.output, Bytes(1000, 'A'));
  EXPECT_EQ(r.archivePosition, headerBytes);  // no bits per code
}

TEST(SingleCodeTables, PositionCountZeroMakesEveryPositionCodeFive) {
  StaticBlock b = fullBlock(kMethodLh5);
  b.prepare();
  Tokens t;
  t.block = &b;
  t.w.put(16 + 16, 16);
  b.putCodeLengthList(t.w);
  b.putCharLengths(t.w);
  t.w.put(0, 4);
  t.w.put(5, 4);  // position code 5: p from 16 to 31 after 4 extra bits
  for (uint32_t k = 0; k < 16; ++k) t.literal(static_cast<uint8_t>('a' + k));
  for (uint32_t extra = 0; extra < 16; ++extra) {
    b.code(t.w, 3 + 253);
    t.w.put(extra, 4);
    t.model.match(3, 16 + extra);
  }
  DecodeResult r = decodeTokens(kMethodLh5, t, static_cast<uint32_t>(t.model.out.size()));
  EXPECT_EQ(r.output, t.model.out);
}

struct OutsideCase {
  const char* what;
  uint32_t charValue;      // 9-bit single character code
  uint32_t positionValue;  // single position code
  Bytes expect;
};

class SingleCodeOutsideTheAlphabet : public ::testing::TestWithParam<OutsideCase> {};

// A single-code value that is no symbol of its alphabet reads as symbol 0.
TEST_P(SingleCodeOutsideTheAlphabet, ReadsAsSymbolZero) {
  const OutsideCase& c = GetParam();
  StaticBlock b = fullBlock(kMethodLh5);
  b.prepare();
  BitWriter w;
  w.put(static_cast<uint32_t>(c.expect.size()), 16);
  b.putCodeLengthList(w);
  w.put(0, 9);
  w.put(c.charValue, 9);
  w.put(0, 4);
  w.put(c.positionValue, 4);
  DecodeResult r = decodeBytes(kMethodLh5, w.bytes, static_cast<uint32_t>(w.bytes.size()),
                               static_cast<uint32_t>(c.expect.size()));
  EXPECT_EQ(r.output, c.expect) << c.what;
  EXPECT_EQ(r.status, 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Values, SingleCodeOutsideTheAlphabet,
    ::testing::Values(OutsideCase{"character 510", 510, 0, Bytes(4, 0)},
                      OutsideCase{"character 511", 511, 0, Bytes(4, 0)},
                      // match of 3 (code 256) at position code 15 of 14: distance 1 -> spaces
                      OutsideCase{"position 15 of 14", 256, 15, Bytes(3, ' ')},
                      OutsideCase{"position 14 of 14", 256, 14, Bytes(3, ' ')}));

TEST(SingleCodeTables, CodeLengthValueOutsideTheAlphabetGivesZeroLengths) {
  StaticBlock b = fullBlock(kMethodLh5);
  b.prepare();
  BitWriter w;
  w.put(1, 16);
  w.put(0, 5);
  w.put(25, 5);   // no symbol of the 19: every length token reads as "one zero"
  w.put(3, 9);    // three character lengths, all zero then; no bits consumed per token
  w.put(0, 9);    // ... which leaves these bits for the position list: count 0, value 0
  startRecording();
  decodeBytes(kMethodLh5, w.bytes, static_cast<uint32_t>(w.bytes.size()), 1);
  for (uint32_t s = 0; s < 510; ++s) ASSERT_EQ(huffman.cLen[s], 0) << s;
  for (uint32_t k = 0; k < 19; ++k) EXPECT_EQ(huffman.ptLen[k], 0);
}

// The code-length list may announce 31 lengths; the zero run after the third counts
// towards them and only the first 19 are used.
TEST(LengthLists, CodeLengthListOf31) {
  StaticBlock b = fullBlock(kMethodLh7);
  b.prepare();
  Tokens t;
  t.block = &b;
  t.w.put(2, 16);
  t.w.put(31, 5);
  for (uint32_t k = 0; k < 31; ++k) {
    putSmallLength(t.w, k < 19 ? b.codeLengthLengths[k] : (k % 2 ? 7 : 12));
    if (k == 2) t.w.put(0, 2);
  }
  b.putCharLengths(t.w);
  b.putPositionLengths(t.w);
  t.literal('q');
  t.match(256, 0);
  DecodeResult r = decodeTokens(kMethodLh7, t, static_cast<uint32_t>(t.model.out.size()));
  EXPECT_EQ(r.output, t.model.out);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(huffman.ptLen[30], 12);  // read and ignored
}

// A zero run after the third code-length length: positions 3.. of the 19 are zero.
TEST(LengthLists, ZeroRunAfterTheThirdCodeLength) {
  StaticBlock b = fullBlock(kMethodLh5);
  // a complete code-length code without symbols 3, 4 and 5 (3/4 + 2/8)
  b.codeLengthLengths = {2, 2, 2, 0, 0, 0, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  // character lengths may then only be 4 or 5 (tokens 6 and 7) or zero (tokens 0..2)
  for (uint32_t s = 0; s < 510; ++s) b.charLengths[s] = 0;
  for (uint32_t s = 0; s < 16; ++s) b.charLengths[s] = 4;  // a complete code of 16 literals
  b.prepare();
  Tokens t;
  t.block = &b;
  t.w.put(16, 16);
  t.w.put(8, 5);
  for (uint32_t k = 0; k < 3; ++k) putSmallLength(t.w, 2);
  t.w.put(3, 2);  // three zero lengths
  putSmallLength(t.w, 3);
  putSmallLength(t.w, 3);
  t.w.put(16, 9);
  for (uint32_t s = 0; s < 16; ++s) b.putCharToken(t.w, 6);
  b.putPositionLengths(t.w);
  for (uint32_t s = 0; s < 16; ++s) t.literal(static_cast<uint8_t>(15 - s));
  DecodeResult r = decodeTokens(kMethodLh5, t, 16);
  EXPECT_EQ(r.output, t.model.out);
  EXPECT_EQ(r.status, 0);
}

// Zero-run tokens of the character lengths: code 1 (3..18 zeros), code 2 (20..531).
TEST(LengthLists, ZeroRunCodes) {
  StaticBlock b = fullBlock(kMethodLh5);
  // 490 symbols: 22 of 8 bits, 468 of 9; 100..119 absent (one run of 20), 300..304 absent
  // (a run of 5) -> 485 used: 27 of 8 and 458 of 9 (27*256 + 458*128 = 65,536)
  for (uint32_t s = 0; s < 510; ++s) b.charLengths[s] = 9;
  for (uint32_t s = 100; s < 120; ++s) b.charLengths[s] = 0;
  for (uint32_t s = 300; s < 305; ++s) b.charLengths[s] = 0;
  for (uint32_t s = 0; s < 27; ++s) b.charLengths[s] = 8;
  b.prepare();
  Tokens t;
  t.block = &b;
  t.w.put(4, 16);
  b.putCodeLengthList(t.w);
  t.w.put(510, 9);
  for (uint32_t s = 0; s < 510;) {
    if (s == 100) {
      b.putCharToken(t.w, 2, 0);  // 20 zeros
      s += 20;
    } else if (s == 300) {
      b.putCharToken(t.w, 1, 2);  // 5 zeros
      s += 5;
    } else {
      b.putCharToken(t.w, b.charLengths[s] + 2u);
      ++s;
    }
  }
  b.putPositionLengths(t.w);
  t.literal(99);
  t.literal(120);
  t.match(256, 0);  // code 509
  t.match(52, 1);   // code 305, just past the run of 5
  DecodeResult r = decodeTokens(kMethodLh5, t, static_cast<uint32_t>(t.model.out.size()));
  EXPECT_EQ(r.output, t.model.out);
  for (uint32_t s = 100; s < 120; ++s) EXPECT_EQ(huffman.cLen[s], 0);
  EXPECT_EQ(huffman.cLen[120], 9);
}

// A zero run that goes past the 510th length is cut at the end of the list.
TEST(LengthLists, ZeroRunPastTheLastLengthIsCut) {
  StaticBlock b = fullBlock(kMethodLh5);
  for (uint32_t s = 0; s < 510; ++s) b.charLengths[s] = s < 256 ? 8 : 0;
  b.prepare();
  Tokens t;
  t.block = &b;
  t.w.put(3, 16);
  b.putCodeLengthList(t.w);
  t.w.put(510, 9);
  for (uint32_t s = 0; s < 256; ++s) b.putCharToken(t.w, 10);
  b.putCharToken(t.w, 2, 511);  // 531 zeros from 256
  // position list: count 0, value 0
  t.w.put(0, 4);
  t.w.put(0, 4);
  for (uint8_t c : {'o', 'k', '!'}) t.literal(c);
  DecodeResult r = decodeTokens(kMethodLh5, t, 3);
  EXPECT_EQ(r.output, t.model.out);
  EXPECT_EQ(r.status, 0);
}

struct BadBlockCase {
  const char* what;
  std::vector<uint8_t> positionLengths;
  const char* message;
};

class BadBlock : public ::testing::TestWithParam<BadBlockCase> {};

// A bad table in the second block: reported once, the run stops before the next code,
// and the bytes still in the dictionary are not written.
TEST_P(BadBlock, ReportsAndStops) {
  const BadBlockCase& c = GetParam();
  StaticBlock good = fullBlock(kMethodLh5);
  StaticBlock bad = good;
  bad.positionLengths = c.positionLengths;
  Tokens t;
  t.block = &good;
  good.begin(t.w, 10);
  for (uint32_t k = 0; k < 10; ++k) t.literal(static_cast<uint8_t>(k));
  bad.begin(t.w, 10);
  bad.literal(t.w, 'z');
  DecodeResult r = decodeTokens(kMethodLh5, t, 100);
  ASSERT_EQ(r.messages.size(), 1u) << c.what;
  EXPECT_EQ(r.messages[0], c.message) << c.what;
  EXPECT_EQ(r.status, kRunFailed) << c.what;
  EXPECT_TRUE(r.output.empty()) << c.what;
  EXPECT_TRUE(r.progress.empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, BadBlock,
    ::testing::Values(
        BadBlockCase{"incomplete", {3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 0}, "Bad table (case b)"},
        BadBlockCase{"over-full", {3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, "Bad table (case b)"},
        // 111 + thirteen 1 bits: the longest length the coding holds (20)
        BadBlockCase{"length 20", {3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 20}, "Bad table (case a)"},
        BadBlockCase{"length 17", {17, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, "Bad table (case a)"}));

}  // namespace
