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

}  // namespace
