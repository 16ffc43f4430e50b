// -lh1-, -lh2-, -lh3-, -lzs- and -lz5-: fixed bit-level examples, the rules for damaged
// input, and round trips through small encoders that follow each method's grammar.
#include <gtest/gtest.h>

#include <random>

#include "extract/run_state.h"
#include "lha/adaptive_huffman.h"
#include "lha/decode.h"
#include "lha/huffman.h"
#include "lha_util.h"

namespace {

// "1100 01" -> bytes, most significant bit first
Bytes bits(const std::string& text) {
  BitWriter w;
  for (char c : text)
    if (c != ' ') w.put(c == '1', 1);
  return w.bytes;
}

Bytes cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct ExampleCase {
  const char* what;
  uint32_t method;
  Bytes packed;
  uint32_t packedSize, originalSize;
  Bytes expect;
  const char* message = nullptr;  // a bad table the case reports
};

class Example : public ::testing::TestWithParam<ExampleCase> {};

// Damaged tables whose walks would cycle for ever: every direct entry names node 600,
// whose children are node 601 and back.
void poisonTables() {
  for (auto& e : huffman.cTable) e = 600;
  for (auto& e : huffman.ptTable) e = 600;
  huffman.treeLeft[600] = huffman.treeRight[600] = 601;
  huffman.treeLeft[601] = huffman.treeRight[601] = 600;
}

TEST_P(Example, Decodes) {
  const ExampleCase& c = GetParam();
  poisonTables();  // no case may depend on tables from an earlier member
  DecodeResult r = decodeBytes(c.method, c.packed, c.packedSize ? c.packedSize : static_cast<uint32_t>(c.packed.size()),
                               c.originalSize);
  EXPECT_EQ(r.output, c.expect) << c.what;
  EXPECT_EQ(r.messages, c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{}) << c.what;
  EXPECT_LE(r.archivePosition, c.packedSize ? c.packedSize : static_cast<int64_t>(c.packed.size())) << c.what;
}

const std::string kLh3Ones = "10000 10000 10000";  // -lh3- character lengths 1, 1, 1: a shortcut follows
const std::string kOneCode = "0000000000000001 ";   // -lh3- block size 1

INSTANTIATE_TEST_SUITE_P(
    Bits, Example,
    ::testing::Values(
        // fresh -lh1- codes; position code 0 of the fixed row is 000
        ExampleCase{"lh1 symbol 0", 1, bits("110001100"), 0, 1, {0}},
        ExampleCase{"lh1 symbol 255", 1, bits("10001011"), 0, 1, {0xFF}},
        ExampleCase{"lh1 symbol 313: length 60", 1, bits("11000101 000 000000"), 0, 1, Bytes(60, ' ')},
        ExampleCase{"lh1 0x41 three times, its code shrinking", 1, bits("111001101 11000101 1100001"), 0, 3,
                    {'A', 'A', 'A'}},
        // -lh2- escape 285 (fresh code 11100001) + 8 bits; whatever the position, it copies spaces
        ExampleCase{"lh2 escape 255: length 287", 2, bits("11100001 11111111 000000"), 0, 1, Bytes(287, ' ')},
        ExampleCase{"lh2 escape 0: length 32", 2, bits("11100001 00000000 000000"), 0, 1, Bytes(32, ' ')},
        // -lh3-: every code 'A', taking no bits; code 285 + 00000001 is a match of 33
        ExampleCase{"lh3 shortcut A", 3, bits("0000000000000101 " + kLh3Ones + " 001000001 0"), 0, 5, Bytes(5, 'A')},
        ExampleCase{"lh3 escape 1: length 33", 3, bits(kOneCode + kLh3Ones + " 100011101 0 00000001 00 000000"), 0, 1,
                    Bytes(33, ' ')},
        ExampleCase{"lzs literal", 13, bits("1 01000001"), 0, 1, {'A'}},
        ExampleCase{"lzs match from index 17", 13, bits("0 00000000000 0000"), 0, 1, {' ', ' '}},
        // -lz5-: flag byte 0xFE, a match of 18 from index 18, then seven literals
        ExampleCase{"lz5 flags", 15, {0xFE, 0x00, 0x0F, 'a', 'b', 'c', 'd', 'e', 'f', 'g'}, 0, 25,
                    cat(cat(Bytes(13, 0), Bytes(5, 1)), {'a', 'b', 'c', 'd', 'e', 'f', 'g'})},
        ExampleCase{"lz5 pre-fill 0..17 is zeros", 15, {0x00, 0xF2, 0xF0}, 0, 3, Bytes(3, 0)},
        ExampleCase{"lz5 pre-fill 3986.. is spaces", 15, {0x00, 0x80, 0xFF}, 0, 18, Bytes(18, ' ')},
        // -lz5- ends where its packed bytes end: not in the next member, not at end of file
        ExampleCase{"lz5 stops at packedSize", 15, {0xFF, 'a', 'b', 0x00, 'X', 'Y', 'Z'}, 3, 100, {'a', 'b'}},
        ExampleCase{"lz5 stops at end of file", 15, {0xFF, 'a'}, 50, 100, {'a'}},
        ExampleCase{"lz5 match cut in half", 15, {0xFE, 0x12}, 0, 100, {}},
        // a single-code value outside the alphabet reads as code 0: 100101100 is 300
        ExampleCase{"lh3 character value 300", 3, bits("0000000000000010 " + kLh3Ones + " 100101100 0"), 0, 2, {0, 0}},
        // rejected lists leave the poisoned tables in place: the walks stop after 16 steps
        ExampleCase{"lh3 character walk", 3, bits(kOneCode + "10000" + std::string(285, '0') + " 0"), 0, 1, {},
                    "Bad table (case b)"},
        ExampleCase{"lh3 position walk", 3,  // 100000110 is 262, a match of 9
                    bits(kOneCode + kLh3Ones + " 100000110 1 0001" + std::string(127 * 4, '0')), 0,
                    1, {}, "Bad table (case b)"},
        // the same rule in the static methods: an incomplete character list, a walk in the old table
        ExampleCase{"lh5 character walk", 5, [] {
                      StaticBlock b = fullBlock(kMethodLh5);
                      b.charLengths.assign(510, 9);
                      BitWriter w;
                      b.begin(w, 1);
                      return w.bytes;
                    }(), 0, 1, {}, "Bad table (case b)"}));

// A member whose packed bytes run out long before its claimed size ends soon after them:
// zero bits (or the 0xFF bytes past the end of the file) make no more output.
struct BoundedCase {
  const char* what;
  uint32_t method;
  Bytes packed;
  uint32_t packedSize;
};

class PackedBytesSpent : public ::testing::TestWithParam<BoundedCase> {};

TEST_P(PackedBytesSpent, OutputStaysSmall) {
  const BoundedCase& c = GetParam();
  uint32_t packedSize = c.packedSize ? c.packedSize : static_cast<uint32_t>(c.packed.size());
  DecodeResult r = decodeBytes(c.method, c.packed, packedSize, 50000000);
  EXPECT_LT(r.output.size(), 20000u) << c.what;
}

Bytes lh5BlockOf65535Codes() {
  StaticBlock b = fullBlock(kMethodLh5);
  BitWriter w;
  b.begin(w, 0xFFFF);
  return w.bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Methods, PackedBytesSpent,
    ::testing::Values(BoundedCase{"lh1, one byte", 1, {0}, 1}, BoundedCase{"lh2, one byte", 2, {0}, 1},
                      BoundedCase{"lh3, one byte", 3, {0}, 1}, BoundedCase{"lzs, one byte", 13, {0}, 1},
                      BoundedCase{"lh1, file ends first", 1, {0}, 0xFFFFFFFF},
                      BoundedCase{"lh2, file ends first", 2, {0}, 0xFFFFFFFF},
                      BoundedCase{"lh3, file ends first", 3, {0}, 0xFFFFFFFF},
                      BoundedCase{"lzs, file ends first", 13, {0}, 0xFFFFFFFF},
                      BoundedCase{"lh5, a block of 65535 codes announced", 5, lh5BlockOf65535Codes(), 0}));

// --- encoders of -lh1-/-lh2- and -lh3-, for the forms no peer's archive holds ---

struct Token {
  uint32_t length;  // 0: a literal
  uint32_t value;   // the literal, or p (the match starts p + 1 bytes back)
};

// Literals and matches of 3..maxLength bytes; p below `reach` (at most what was written
// when `inside`: -lh2- positions reach only as far as the codes have grown).
std::vector<Token> tokens(size_t count, uint32_t maxLength, uint32_t reach, bool inside, uint32_t seed) {
  std::mt19937 r(seed);
  std::vector<Token> out;
  uint32_t produced = 0;
  for (size_t k = 0; k < count; ++k) {
    uint32_t limit = inside ? std::min(produced, reach) : reach;
    uint32_t length = r() % 3 == 0 || limit == 0 ? 0 : 3 + r() % (maxLength - 2);
    uint32_t literal = r() % 8 ? static_cast<uint8_t>("etaoin shrdlu\n"[r() % 14]) : r() & 0xFF;
    out.push_back({length, static_cast<uint32_t>(length ? r() % (r() % 4 ? std::min(limit, 300u) : limit) : literal)});
    produced += length ? length : 1;
  }
  return out;
}

// Decodes what an encoder wrote and compares it with the tokens' model output.
void expectRoundTrip(uint32_t method, const std::vector<Token>& ts, const Bytes& packed) {
  OutputModel m;
  for (const Token& t : ts) t.length ? m.match(t.length, t.value) : m.literal(static_cast<uint8_t>(t.value));
  DecodeResult r =
      decodeBytes(method, packed, static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(m.out.size()));
  ASSERT_EQ(r.output, m.out) << method;
  EXPECT_TRUE(r.messages.empty()) << method;
}

// -lh1-/-lh2-: a symbol's code is its leaf's path from the root, read off the decoder's own
// tree, which is then updated as the decoder updates it. The tree itself is checked by the
// fixed codes above, by peers' -lh1- archives and by checkTree below; what this encoder
// adds independently is the grammar: escapes, and position codes growing every 64 bytes.
void putLeaf(BitWriter& w, uint32_t symbol, int32_t root) {
  std::string path;
  for (int32_t n = adaptive.symbolNode[symbol]; n != root; n = adaptive.nodeParent[n])
    path.insert(path.begin(), static_cast<char>('0' + adaptive.nodeChild[adaptive.nodeParent[n]] - n));
  for (char c : path) w.put(c == '1', 1);
}

Bytes encodeAdaptive(uint32_t method, const std::vector<Token>& ts) {
  attachBytes({});
  bitReader.packedRemaining = 0;
  decoderState.positionCodeCount = findDecodeMethod(method)->positionCodeCount;
  method == kMethodLh1 ? startLh1() : startLh2();
  std::vector<uint32_t> fixedCodes = canonicalCodes({huffman.ptLen, huffman.ptLen + 64});
  BitWriter w;
  uint32_t produced = 0, nextGrowth = 64;
  for (const Token& t : ts) {
    uint32_t code = t.length ? t.length + 253 : t.value;
    const bool escape = method == kMethodLh2 && code >= 285;
    putLeaf(w, escape ? 285 : code, kCharRoot);
    updateCharTree(escape ? 285 : code);
    if (escape) w.put(code - 285, 8);
    produced += t.length ? t.length : 1;
    if (!t.length) continue;
    uint32_t high = t.value >> 6;
    if (method == kMethodLh1) {
      w.put(fixedCodes[high], huffman.ptLen[high]);
    } else {
      for (; produced > nextGrowth && nextGrowth < 8192; nextGrowth += 64) addPositionCode(nextGrowth / 64);
      putLeaf(w, kPositionSymbolBase + high, kPositionRoot);
      updatePositionTree(high);
    }
    w.put(t.value & 63, 6);
  }
  return w.bytes;
}

// Weights fall with the index, internal weights are sums, links agree both ways, and
// every stretch of equal weights is one run led by its first node.
void checkTree(int32_t first, int32_t end) {
  const AdaptiveState& a = adaptive;
  for (int32_t i = first; i < end; ++i) {
    int32_t c = a.nodeChild[i];
    bool same = i > first && a.nodeWeight[i] == a.nodeWeight[i - 1];
    if (c >= 0) {
      ASSERT_GT(c - 1, i);
      EXPECT_TRUE(a.nodeParent[c] == i && a.nodeParent[c - 1] == i) << i;
      EXPECT_TRUE(a.nodeWeight[i] == 0xFFFF || a.nodeWeight[i] == a.nodeWeight[c] + a.nodeWeight[c - 1]) << i;
    } else {
      EXPECT_EQ(a.symbolNode[~c], i);
    }
    EXPECT_TRUE(i == first || (a.nodeWeight[i] <= a.nodeWeight[i - 1] && (a.nodeRun[i] == a.nodeRun[i - 1]) == same))
        << i;
    EXPECT_TRUE(same || a.runLeader[a.nodeRun[i]] == i) << i;
  }
}

class AdaptiveRoundTrip : public ::testing::TestWithParam<uint32_t> {};

// 70,000 codes: the character tree is rebuilt several times, the -lh2- position tree
// (some 47,000 position updates) once, and every position code has grown.
TEST_P(AdaptiveRoundTrip, LongStream) {
  const uint32_t method = GetParam();
  std::vector<Token> ts = method == kMethodLh1 ? tokens(70000, 60, 4096, false, 1) : tokens(70000, 287, 8192, true, 2);
  expectRoundTrip(method, ts, encodeAdaptive(method, ts));
  checkTree(kCharRoot, static_cast<int32_t>(2 * adaptive.charCodeCount - 1));
  if (method == kMethodLh2) {
    EXPECT_EQ(adaptive.lastPositionNode, kPositionRoot + 254);
    EXPECT_LT(adaptive.positionTotal, 40000);  // rebuilt
    checkTree(kPositionRoot, adaptive.lastPositionNode + 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, AdaptiveRoundTrip, ::testing::Values(kMethodLh1, kMethodLh2));

// -lh3-, one block per header form. Characters: 233 of 8 bits, 45 of 9 and a chain of
// 10..16, 16; positions: the lengths of the fixed row, sent (flag 1) or implied (flag 0).
struct Lh3Block {
  uint32_t codes;               // a block size field of 0 means 65,536
  bool fixedPositions = false;  // position flag 0
  int charShortcut = -1, positionShortcut = -1;
};

Bytes encodeLh3(const std::vector<Lh3Block>& blocks, const std::vector<Token>& ts) {
  std::vector<uint8_t> charLengths(286, 8), positions(128, 2);
  for (uint32_t s = 233; s < 286; ++s) charLengths[s] = static_cast<uint8_t>(s < 278 ? 9 : s < 285 ? s - 268 : 16);
  // fixed row 1: 2 bits, then 4 bits stepping up at codes 3, 6, 13, 31 and 78
  for (uint32_t k = 1; k < 128; ++k)
    positions[k] = static_cast<uint8_t>(4 + (k >= 3) + (k >= 6) + (k >= 13) + (k >= 31) + (k >= 78));
  std::vector<uint32_t> charCodes = canonicalCodes(charLengths), positionCodes = canonicalCodes(positions);
  BitWriter w;
  auto t = ts.begin();
  for (const Lh3Block& b : blocks) {
    w.put(b.codes & 0xFFFF, 16);
    if (b.charShortcut >= 0) {
      w.put(0x4210, 15);  // 10000 three times: lengths 1, 1, 1
      w.put(static_cast<uint32_t>(b.charShortcut), 9);
    } else {
      for (uint8_t l : charLengths) w.put(16 | (l - 1u), 5);
    }
    w.put(!b.fixedPositions, 1);
    if (b.positionShortcut >= 0) {
      w.put(0x111, 12);
      w.put(static_cast<uint32_t>(b.positionShortcut), 7);
    } else if (!b.fixedPositions) {
      for (uint8_t l : positions) w.put(l, 4);
    }
    for (uint32_t k = 0; k < b.codes; ++k, ++t) {
      uint32_t code = t->length ? t->length + 253 : t->value, symbol = std::min(code, 285u);
      if (b.charShortcut < 0) w.put(charCodes[symbol], charLengths[symbol]);
      if (symbol == 285) w.put(code - 285, 8);
      if (t->length && b.positionShortcut < 0) w.put(positionCodes[t->value >> 6], positions[t->value >> 6]);
      if (t->length) w.put(t->value & 63, 6);
    }
  }
  return w.bytes;
}

TEST(Lh3RoundTrip, EveryHeaderForm) {
  std::vector<Lh3Block> blocks = {{3000}, {3000, true}, {65536}, {500, false, -1, 5}, {400, true, 256 + 7}};
  std::vector<Token> ts = tokens(3000 + 3000 + 65536, 287, 8192, false, 3);
  for (uint32_t k = 0; k < 500; ++k) ts.push_back({k % 3 ? 3 + k % 200 : 0, k % 3 ? 5 * 64 + k % 64 : 'q'});
  for (uint32_t k = 0; k < 400; ++k) ts.push_back({10, k * 20 % 8192});
  expectRoundTrip(kMethodLh3, ts, encodeLh3(blocks, ts));
}

}  // namespace
