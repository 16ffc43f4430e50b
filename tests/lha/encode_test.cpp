// The member encoder: what it writes decodes back with our decoder to the input, for
// every method and both efforts, over data of every kind and size that matters to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "lha/decode.h"
#include "lha/encode.h"
#include "lha/encode_state.h"
#include "lha/header.h"
#include "lha/huffman.h"
#include "lha_util.h"

namespace {

// --- inputs ---

Bytes wordText(size_t n, uint32_t seed) {
  static const char* kWords[] = {"archive", "member", "the", "of", "a", "header", "block", "table", "code",
                                 "tree", "\n", "dictionary", "position", "length", "Huffman", "setup"};
  std::mt19937 r(seed);
  Bytes out;
  while (out.size() < n) {
    const char* w = kWords[r() % 16];
    out.insert(out.end(), w, w + std::char_traits<char>::length(w));
    out.push_back(' ');
  }
  out.resize(n);
  return out;
}

Bytes records(size_t n, uint32_t seed) {
  std::mt19937 r(seed);
  std::vector<Bytes> ops(200);
  for (auto& op : ops) {
    op.resize(2 + r() % 7);
    for (auto& b : op) b = static_cast<uint8_t>(r());
  }
  Bytes out;
  while (out.size() < n) {
    uint32_t k = r() % 10;
    if (k < 6) {
      const Bytes& op = ops[r() % ops.size()];
      out.insert(out.end(), op.begin(), op.end());
    } else if (k < 8) {
      uint32_t v = static_cast<uint32_t>(out.size());
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    } else {
      for (uint32_t i = 1 + r() % 16; i > 0; --i) out.push_back(static_cast<uint8_t>(r()));
    }
  }
  out.resize(n);
  return out;
}

Bytes noise(size_t n, uint32_t seed) {
  std::mt19937 r(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(r());
  return out;
}

Bytes runs(size_t n, uint32_t seed) {
  std::mt19937 r(seed);
  Bytes out;
  while (out.size() < n) out.insert(out.end(), 1 + r() % 2000, static_cast<uint8_t>(r() % 3));
  out.resize(n);
  return out;
}

// A block repeated at exactly the largest distance of each dictionary, and just beyond.
Bytes farRepeats(size_t n, uint32_t seed) {
  Bytes unit = noise(65536 + 7, seed);
  Bytes out;
  while (out.size() < n) {
    for (size_t d : {8192u, 32768u, 65536u, 8193u, 65537u})
      out.insert(out.end(), unit.begin(), unit.begin() + static_cast<long>(std::min(d, unit.size())));
  }
  out.resize(n);
  return out;
}

// Text, records, runs and noise in turn: statistics that change, where blocks are cut
// and each block is parsed by its own prices.
Bytes shifting(size_t n, uint32_t seed) {
  Bytes out;
  for (Bytes (*make)(size_t, uint32_t) : {wordText, records, runs, noise}) {
    Bytes part = make(n / 4 + 1, seed);
    out.insert(out.end(), part.begin(), part.end());
  }
  out.resize(n);
  return out;
}

struct Input {
  const char* name;
  Bytes (*make)(size_t, uint32_t);
  size_t size;
};

const Input kInputs[] = {
    {"empty", wordText, 0},
    {"one_byte", wordText, 1},
    {"two_bytes", runs, 2},
    {"three_same", runs, 3},
    {"text_small", wordText, 1000},
    {"text", wordText, 300000},
    {"records", records, 200000},
    {"noise", noise, 70000},
    {"runs", runs, 400000},
    {"far", farRepeats, 400000},
    {"shifting", shifting, 600000},
    // around each dictionary size
    {"text_8191", wordText, 8191},
    {"text_8192", wordText, 8192},
    {"text_8193", wordText, 8193},
    {"text_32768", wordText, 32768},
    {"text_65536", wordText, 65536},
    {"text_65537", wordText, 65537},
    // noise is one code per byte: a block holds at most 65,535 of them
    {"noise_65535", noise, 65535},
    {"noise_65536", noise, 65536},
    {"noise_131071", noise, 131071},
    // window slides of the encoder
    {"records_3mb", records, 3u << 20},
};

struct RoundTripCase {
  Input input;
  uint32_t method;
  EncodeEffort effort;
};

std::string caseName(const ::testing::TestParamInfo<RoundTripCase>& info) {
  return std::string(info.param.input.name) + "_lh" + std::to_string(info.param.method) +
         (info.param.effort == EncodeEffort::best ? "_best" : "_fast");
}

std::vector<RoundTripCase> roundTripCases() {
  std::vector<RoundTripCase> cases;
  for (const Input& in : kInputs)
    for (uint32_t m : {kMethodLh5, kMethodLh6, kMethodLh7})
      for (EncodeEffort e : {EncodeEffort::fast, EncodeEffort::best}) cases.push_back({in, m, e});
  return cases;
}

uint16_t crcOf(const Bytes& b) {
  buildCrc16Table();
  runningCrc16 = 0;
  crc16Update(b.data(), static_cast<uint32_t>(b.size()));
  return runningCrc16;
}

class EncodeRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(EncodeRoundTrip, DecodesToTheInput) {
  const RoundTripCase& c = GetParam();
  Bytes input = c.input.make(c.input.size, 7);
  Bytes packed = encodeMember(c.method, c.effort, input);
  DecodeResult r = decodeBytes(c.method, packed, static_cast<uint32_t>(packed.size()),
                               static_cast<uint32_t>(input.size()));
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.messages.empty());
  ASSERT_EQ(r.output.size(), input.size());
  EXPECT_TRUE(r.output == input);
  EXPECT_EQ(r.crc, crcOf(input));
}

INSTANTIATE_TEST_SUITE_P(Inputs, EncodeRoundTrip, ::testing::ValuesIn(roundTripCases()), caseName);

Bytes packedInPieces(uint32_t method, EncodeEffort effort, const Bytes& input, size_t piece) {
  EXPECT_TRUE(startEncoder(method, effort));
  Bytes packed;
  for (size_t at = 0; at < input.size(); at += piece) {
    encodeBytes(std::span<const uint8_t>(input).subspan(at, std::min(piece, input.size() - at)));
    packed.insert(packed.end(), encoderOutput().begin(), encoderOutput().end());
    encoderOutput().clear();
  }
  finishEncoder();
  packed.insert(packed.end(), encoderOutput().begin(), encoderOutput().end());
  encoderOutput().clear();
  return packed;
}

// Members follow each other in one window: what came before never leaks into a member,
// and the same bytes give the same packed bytes however they are fed.
TEST(Encoder, MembersAreIndependentAndFeedingDoesNotMatter) {
  Bytes first = records(3u << 20, 3);
  Bytes second(first.begin(), first.begin() + 200000);  // all of it matches the member before
  for (uint32_t m : {kMethodLh5, kMethodLh6, kMethodLh7})
    for (EncodeEffort e : {EncodeEffort::fast, EncodeEffort::best}) {
      Bytes whole = encodeMember(m, e, second);
      encodeMember(m, e, first);
      Bytes after = encodeMember(m, e, second);
      EXPECT_TRUE(after == whole) << m;
      for (size_t piece : {1u, 4093u, 300000u}) EXPECT_TRUE(packedInPieces(m, e, second, piece) == whole) << m << piece;
      DecodeResult r = decodeBytes(m, after, static_cast<uint32_t>(after.size()), static_cast<uint32_t>(second.size()));
      EXPECT_TRUE(r.output == second) << m;
    }
  EXPECT_FALSE(startEncoder(kMethodLh4, EncodeEffort::fast));
  EXPECT_FALSE(startEncoder(kMethodLh0, EncodeEffort::fast));
}

// The window pauses the parse where it is full, so the members before one decide where
// in it the pause falls: that must not change its codes, not even a pause in a run of
// zeros, whose matches come from the longest key.
TEST(Encoder, WhereTheWindowPausesDoesNotMatter) {
  Bytes member = records(20000, 4);
  member.resize(60000, 0);
  Bytes tail = records(20000, 5);
  member.insert(member.end(), tail.begin(), tail.end());
  for (uint32_t m : {kMethodLh6, kMethodLh7}) {
    encodeMember(kMethodLh5, EncodeEffort::fast, Bytes(1));  // a fresh window
    const Bytes alone = encodeMember(m, EncodeEffort::fast, member);
    const size_t held = encoder.window.size() - kWindowPadding;
    // a pause 228 to 235 bytes on once left the last keys out of the longest chain
    for (size_t k = 220; k < 244; ++k) {
      encodeMember(kMethodLh5, EncodeEffort::fast, Bytes(1));
      encodeMember(m, EncodeEffort::fast, Bytes(held - 40000 - k));  // the pause falls k bytes on
      EXPECT_TRUE(encodeMember(m, EncodeEffort::fast, member) == alone) << m << " " << k;
    }
  }
}

// --best prices every parse by the code lengths it leads to: it must never lose to the
// fast parse on data with room for choice.
TEST(Encoder, BestIsSmallerThanFast) {
  for (const Bytes& input : {wordText(500000, 5), records(500000, 5), shifting(500000, 5)})
    for (uint32_t m : {kMethodLh5, kMethodLh6, kMethodLh7}) {
      size_t fast = encodeMember(m, EncodeEffort::fast, input).size();
      size_t best = encodeMember(m, EncodeEffort::best, input).size();
      EXPECT_LT(best, fast) << m;
      EXPECT_LT(fast, input.size() * 3 / 4) << m;
    }
}

uint64_t codedSize(const std::vector<uint32_t>& frequencies, const std::vector<uint8_t>& lengths) {
  uint64_t bits = 0;
  for (size_t s = 0; s < frequencies.size(); ++s) bits += uint64_t{frequencies[s]} * lengths[s];
  return bits;
}

// Plain Huffman code lengths (no limit), for comparison.
std::vector<uint8_t> huffmanLengths(const std::vector<uint32_t>& frequencies) {
  struct Node {
    uint64_t weight;
    std::vector<size_t> symbols;
  };
  std::vector<Node> nodes;
  for (size_t s = 0; s < frequencies.size(); ++s)
    if (frequencies[s]) nodes.push_back({frequencies[s], {s}});
  std::vector<uint8_t> lengths(frequencies.size(), 0);
  while (nodes.size() > 1) {
    std::sort(nodes.begin(), nodes.end(), [](const Node& a, const Node& b) { return a.weight > b.weight; });
    Node a = nodes.back();
    nodes.pop_back();
    Node b = nodes.back();
    nodes.pop_back();
    for (size_t s : a.symbols) ++lengths[s];
    for (size_t s : b.symbols) ++lengths[s];
    a.symbols.insert(a.symbols.end(), b.symbols.begin(), b.symbols.end());
    nodes.push_back({a.weight + b.weight, a.symbols});
  }
  return lengths;
}

struct LengthCase {
  const char* what;
  std::vector<uint32_t> frequencies;
};

std::vector<LengthCase> lengthCases() {
  std::vector<LengthCase> cases;
  cases.push_back({"none", std::vector<uint32_t>(19, 0)});
  cases.push_back({"one", {0, 0, 7, 0}});
  cases.push_back({"two", {5, 0, 9}});
  std::vector<uint32_t> fib(30);  // an unlimited code would need 29 bits
  fib[0] = fib[1] = 1;
  for (size_t k = 2; k < fib.size(); ++k) fib[k] = fib[k - 1] + fib[k - 2];
  cases.push_back({"fibonacci", fib});
  cases.push_back({"flat_510", std::vector<uint32_t>(510, 1)});
  std::mt19937 r(11);
  std::vector<uint32_t> skewed(510);
  for (auto& f : skewed) f = r() % 3 ? 0 : 1 + (r() % 1000) * (r() % 1000) / (1 + r() % 500);
  cases.push_back({"skewed_510", skewed});
  std::vector<uint32_t> positions(17);
  for (size_t k = 0; k < positions.size(); ++k) positions[k] = 1u << k;
  cases.push_back({"doubling_17", positions});
  return cases;
}

class CodeLengths : public ::testing::TestWithParam<LengthCase> {};

// Lengths of at most 16 bits forming a complete code (what makeTable accepts), no
// larger than a plain Huffman code where that fits in 16 bits, and accepted by the
// decoder's table builder.
TEST_P(CodeLengths, CompleteLimitedAndOptimal) {
  const LengthCase& c = GetParam();
  std::vector<uint8_t> lengths(c.frequencies.size(), 99);
  buildCodeLengths(c.frequencies, 16, lengths);
  size_t used = std::count_if(c.frequencies.begin(), c.frequencies.end(), [](uint32_t f) { return f > 0; });
  uint64_t kraft = 0;  // in units of 2^-16
  for (size_t s = 0; s < lengths.size(); ++s) {
    EXPECT_LE(lengths[s], 16) << c.what;
    EXPECT_EQ(lengths[s] == 0, c.frequencies[s] == 0 || used == 1) << c.what << " symbol " << s;
    if (lengths[s]) kraft += 1u << (16 - lengths[s]);
  }
  if (used < 2) return;
  EXPECT_EQ(kraft, 65536u) << c.what;
  std::vector<uint8_t> plain = huffmanLengths(c.frequencies);
  if (*std::max_element(plain.begin(), plain.end()) <= 16) {
    EXPECT_EQ(codedSize(c.frequencies, lengths), codedSize(c.frequencies, plain)) << c.what;
  } else {
    EXPECT_GT(codedSize(c.frequencies, lengths), codedSize(c.frequencies, plain)) << c.what;
  }
  startRecording();
  uint16_t table[4096];
  EXPECT_TRUE(makeTable(static_cast<int16_t>(lengths.size()), lengths.data(), 12, table)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Frequencies, CodeLengths, ::testing::ValuesIn(lengthCases()),
                         [](const ::testing::TestParamInfo<LengthCase>& info) { return std::string(info.param.what); });

// The fast parse leaves a match for the one at the next byte only when that one saves
// more; no match at all there must never win, however cheap the literal left behind
// (found by the fuzz target: the literals taken back into the empty match gave a
// distance of 0). Prices where the literal X costs 1 bit against 8 on average, a
// 3-byte match far enough back to save only 5 bits, and nothing at the byte after it.
TEST(FastParse, NoMatchNeverBeatsAMatch) {
  // a filler of matches (searches that find nothing would be thinned out), then the
  // first three bytes again and a byte no earlier trigram continues with
  Bytes input = {'X', 'b', 'c'};
  while (input.size() < 1000) input.insert(input.end(), {'m', 'n', 'o', 'p'});
  input.insert(input.end(), {'X', 'b', 'c', 'q', 'r', 's', 't'});
  ASSERT_TRUE(startEncoder(kMethodLh5, EncodeEffort::fast));
  MatchScores& s = encoder.scores;
  s.literal = 8 * 16;
  for (int32_t& p : s.literalPrice) p = 8 * 16;
  s.literalPrice['X'] = 16;
  for (int32_t& l : s.length) l = 7 * 16;
  for (uint32_t j = 0; j < kMaxPositionSlots; ++j) s.slot[j] = static_cast<int32_t>(3 + slotExtraBits(j)) * 16;
  encodeBytes(input);
  finishEncoder();
  Bytes packed = encoderOutput();
  encoderOutput().clear();
  DecodeResult d = decodeBytes(kMethodLh5, packed, static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(input.size()));
  EXPECT_TRUE(d.output == input);
}

// A block of codes that take no bits must not end on a byte boundary (jlha's lha needs a
// bit behind the last such code, 7z refuses a byte of padding): whatever the bit
// position it starts at.
TEST(BlockWriter, CodesOfNoBitsNeverEndOnAByte) {
  const std::vector<EncodeToken> literals(40, EncodeToken{'e', 0});
  const std::vector<EncodeToken> matches(40, EncodeToken{6 + kMatchSymbolOffset, 0});  // length 6, distance 1
  for (const auto* tokens : {&literals, &matches})
    for (uint32_t start = 0; start < 8; ++start) {
      ASSERT_TRUE(startEncoder(kMethodLh7, EncodeEffort::fast));
      putBits(encoder, 0, start);
      writeTokens(*tokens);
      EXPECT_NE(encoder.bitCount % 8, 0u) << start;
    }
}

// Codes from alphabets in turn are cut where the alphabet changes and nowhere else (each
// side alone gains nothing from a second header), and the blocks decode back: for the
// fast effort's chunked cut search too, with changes near a chunk boundary, near the ends
// of the codes, and inside the second half once the first cut is made.
TEST(BlockWriter, CutsWhereTheStatisticsChange) {
  struct Row {
    EncodeEffort effort;
    std::vector<uint32_t> ends;  // each a change of alphabet, the last the end of the codes
  };
  const Row rows[] = {
      {EncodeEffort::fast, {15008, 40000}},        {EncodeEffort::best, {15008, 40000}},
      {EncodeEffort::fast, {1312, 40000}},         {EncodeEffort::fast, {38944, 40000}},
      {EncodeEffort::fast, {20480, 40000}},        {EncodeEffort::fast, {9024, 30016, 40000}},
      {EncodeEffort::best, {9024, 30016, 40000}},
  };
  const char first[] = {'a', 'p', '0'};
  const uint32_t letters[] = {8, 11, 10};
  for (const Row& row : rows) {
    std::mt19937 r(5);
    std::vector<EncodeToken> tokens;
    Bytes expected;
    for (uint32_t part = 0; part < row.ends.size(); ++part)
      while (tokens.size() < row.ends[part]) {
        auto byte = static_cast<uint8_t>(first[part] + r() % letters[part]);
        tokens.push_back({byte, 0});
        expected.push_back(byte);
      }
    ASSERT_TRUE(startEncoder(kMethodLh5, row.effort));
    std::vector<uint32_t> ends;
    blockEnds(tokens, ends);
    EXPECT_EQ(ends, row.ends) << row.ends[0];
    writeTokens(tokens);
    finishEncoder();
    Bytes packed = encoderOutput();
    encoderOutput().clear();
    DecodeResult d = decodeBytes(kMethodLh5, packed, static_cast<uint32_t>(packed.size()),
                                 static_cast<uint32_t>(expected.size()));
    EXPECT_TRUE(d.output == expected) << row.ends[0];
  }
}

// More codes than a block holds are cut into blocks of at most 65,535.
TEST(BlockWriter, NoBlockHoldsMoreThanItsSizeField) {
  std::mt19937 r(9);
  std::vector<EncodeToken> tokens(200000);
  for (auto& t : tokens) t = {static_cast<uint16_t>(r() % 256), 0};
  ASSERT_TRUE(startEncoder(kMethodLh7, EncodeEffort::fast));
  std::vector<uint32_t> ends;
  blockEnds(tokens, ends);
  ASSERT_FALSE(ends.empty());
  EXPECT_EQ(ends.back(), 200000u);
  for (size_t k = 0; k < ends.size(); ++k) EXPECT_LE(ends[k] - (k ? ends[k - 1] : 0), kMaxBlockCodes) << k;
}

}  // namespace
