// What the encoder's files share: the one state record of the encoder, the tokens a parse
// hands to the block writer, and the block writer's entry points.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "lha/encode.h"

constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 256;
constexpr uint32_t kMatchSymbolOffset = 253;  // symbol of a match of length n: n + 253
constexpr uint32_t kMaxBlockCodes = 65535;    // the block size field has 16 bits
constexpr uint32_t kMaxPositionSlots = 17;    // -lh7-
constexpr uint32_t kMaxCodeLength = 16;

// One code of a block: a literal byte, or a match with its distance.
struct EncodeToken {
  uint16_t symbol;    // 0..255 literal; 256..509 match of symbol - 253 bytes
  uint16_t position;  // matches: distance - 1
};

// Position code of a match: 0 for distance 1, else the bit length of distance - 1, which
// is followed by slot - 1 extra bits.
inline uint32_t positionSlot(uint32_t position) { return static_cast<uint32_t>(std::bit_width(position)); }
inline uint32_t slotExtraBits(uint32_t slot) { return slot > 1 ? slot - 1 : 0; }

// What the fast parse weighs matches by, in sixteenths of a bit: the average literal,
// each length's symbol, each position code with its extra bits.
struct MatchScores {
  int32_t literal;          // average over the literals of the block
  int32_t literalPrice[256];
  int32_t length[kMaxMatch + 1];
  int32_t slot[kMaxPositionSlots];
};

// A match a search found, with what it saves.
struct FoundMatch {
  uint32_t length;    // 0: none
  uint32_t distance;
  int32_t score;
};

constexpr uint32_t kChainCount = 3;

// Positions whose first bytes hash alike, newest first.
struct HashChain {
  std::vector<uint32_t> head;   // per bucket: window index + 1 of the newest (0 = none)
  std::vector<uint16_t> links;  // per ring slot: distance to the next older one (0 = none)
};

// Prices of the codes for a parse, in sixteenths of a bit: each character/length symbol
// and each position code with its extra bits.
struct CodePrices {
  uint32_t symbol[510];
  uint32_t slot[kMaxPositionSlots];
};
struct MatchPair {
  uint16_t length;
  uint16_t position;  // distance - 1
};

// The --best parse's working arrays, reused from range to range.
struct OptimalParse {
  std::vector<uint32_t> pairStart;   // pairs of range offset i: pairStart[i] .. pairStart[i+1]
  std::vector<MatchPair> pairs;
  std::vector<uint32_t> cost;        // cheapest bits to reach range offset i
  std::vector<uint32_t> arrival;     // the code that ends at offset i on that path (packed)
  std::vector<EncodeToken> tokens, kept, blockTokens;
  std::vector<uint32_t> ends;        // block ends in kept, in codes
  CodePrices prices;
  bool havePrices;
  uint32_t rangeBytes;
};

// Symbol counts of each chunk of the codes being cut into blocks, sparse: a count for
// each character code (0..509) or position slot (510 + slot) the chunk uses.
struct ChunkCount {
  uint16_t symbol;
  uint16_t count;
};
struct CutChunks {
  const EncodeToken* base;      // the first code of the piece
  std::vector<uint32_t> start;  // chunk k: counts[start[k] .. start[k + 1])
  std::vector<ChunkCount> counts;
};

struct EncoderState {
  uint32_t method;
  EncodeEffort effort;
  uint32_t dictionarySize;
  uint32_t positionCodeCount;
  uint32_t positionCountBits;

  // Input: window[0] is the oldest byte still held. Match finders index it directly; a
  // slide moves the tail to the front by a multiple of kSlideUnit, so ring slots stay.
  std::vector<uint8_t> window;
  // Members follow each other in one window, so the tables need no clearing between
  // them: nothing before memberStart is ever taken as a candidate.
  uint32_t windowFill;     // bytes held
  uint32_t memberStart;    // window index of the member's first byte
  uint32_t position;       // next byte to code (window index)
  bool ready;              // tables allocated for method and effort

  // Match finder: head of each hash bucket and the links behind it (chains for fast,
  // binary trees for best), as window index + 1 (0 = none).
  std::vector<uint32_t> head;
  std::vector<uint32_t> links;
  uint32_t hashShift;
  uint32_t ringMask;
  // fast: chains of positions that agree in their first kChainBytes[k] bytes; the
  // longer keys find long matches without walking every 3-byte candidate
  HashChain chains[kChainCount];

  uint32_t hashed;          // fast: positions below this are in the chains
  uint32_t misses;          // fast: searches in a row that found nothing
  uint32_t skipping;        // fast: literals still to pass over before the next search
  MatchScores scores;       // fast: what matches are weighed by
  OptimalParse optimal;     // best

  CutChunks cutChunks;              // block writer: the piece being cut into blocks
  std::vector<EncodeToken> tokens;  // fast: codes of the block being collected
  uint32_t tokenCount;              // ... of which this many are in use

  // Output, most significant bit first.
  uint64_t bitPending;
  uint32_t bitCount;
  std::vector<uint8_t> output;
};
// One per thread: the host tool packs several members side by side.
extern thread_local EncoderState encoder;

// Slides keep ring slots in place: every ring has at most 2 * 65536 entries.
constexpr uint32_t kSlideUnit = 131072;
// Bytes of input the window holds beyond what the parse must keep behind it.
constexpr uint32_t kWindowBytes = 2u << 20;
constexpr uint32_t kWindowPadding = 16;  // word loads may read past the last byte
// After 2^kMissShift searches in a row without a match the fast parse searches every
// second byte, after twice as many every third, and so on.
constexpr uint32_t kMissShift = 5;

// The oldest window index a match at cur may start from: a dictionary back, and never
// before the member's first byte.
inline uint32_t oldestCandidate(const EncoderState& e, uint32_t cur) {
  uint32_t low = cur > e.dictionarySize ? cur - e.dictionarySize : 0;
  return low > e.memberStart ? low : e.memberStart;
}

inline uint32_t load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}



inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) {
    v = 0;
    for (int k = 7; k >= 0; --k) v = v << 8 | p[k];
  }
  return v;
}

// Hash of the three bytes at p, in 32 - shift bits (one word load: the window is padded).
inline uint32_t hash3(const uint8_t* p, uint32_t shift) {
  return (static_cast<uint32_t>(load64(p) & 0xFFFFFF) * 2654435761u) >> shift;
}

// Bytes a and b have in common from `start`, at most `limit`. Both may be read up to
// kWindowPadding bytes beyond limit.
inline uint32_t matchLength(const uint8_t* a, const uint8_t* b, uint32_t start, uint32_t limit) {
  uint32_t n = start;
  if constexpr (std::endian::native == std::endian::little) {
    while (n < limit) {
      uint64_t x, y;
      std::memcpy(&x, a + n, 8);
      std::memcpy(&y, b + n, 8);
      if (x != y) {
        n += static_cast<uint32_t>(std::countr_zero(x ^ y)) >> 3;
        return n < limit ? n : limit;
      }
      n += 8;
    }
    return limit;
  } else {
    while (n < limit && a[n] == b[n]) ++n;
    return n;
  }
}

// Appends count bits of value (count up to 32), 32 bits at a time to the output. Hot
// loops hand the record in: each reach for the thread's own record costs a call.
inline void putBits(EncoderState& e, uint32_t value, uint32_t count) {
  e.bitPending = e.bitPending << count | value;
  e.bitCount += count;
  if (e.bitCount >= 32) {
    e.bitCount -= 32;
    auto word = static_cast<uint32_t>(e.bitPending >> e.bitCount);
    uint8_t bytes[4] = {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                        static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
    e.output.insert(e.output.end(), bytes, bytes + 4);
  }
}

// Writes the codes, any number of them, as one or more blocks, split where separate
// codes cost fewer bits.
// With `prices`, also the prices of the last block's codes.
void writeTokens(std::span<const EncodeToken> tokens, CodePrices* prices = nullptr);

// Where writeTokens cuts the codes into blocks: the end of each block, in codes.
void blockEnds(std::span<const EncodeToken> tokens, std::vector<uint32_t>& ends);

// Code lengths of at most maxLength bits that minimise the coded size of `frequencies`
// (package-merge). Symbols of frequency 0 get 0; so does a lone used symbol, which the
// block layout sends as a single code of no bits.
void buildCodeLengths(std::span<const uint32_t> frequencies, uint32_t maxLength, std::span<uint8_t> lengths);

// Bits of the codes when sent as one block with their own Huffman codes.
uint64_t blockBits(std::span<const EncodeToken> tokens);

// Prices from the frequencies of tokens, halfway between their code lengths and their
// shares; symbols the tokens do not use are priced a bit above the dearest one used, so
// a parse may still take them up.
void pricesOf(std::span<const EncodeToken> tokens, CodePrices& prices);

// The optimal parse of --best: codes everything up to `end`, or when not final, as far
// as the lookahead allows.
void parseBest(uint32_t end, bool final);
void startBestParse();
