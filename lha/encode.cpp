// The member encoder: the input window, the fast parse (hash chains, lazy matching) and
// the frame around both parses. Blocks are written by encode_block.cpp, the --best parse
// lives in encode_optimal.cpp.
#include "lha/encode.h"

#include <algorithm>

#include "lha/decode.h"
#include "lha/encode_state.h"

thread_local EncoderState encoder;

namespace {

// How hard the fast parse looks.
struct FastParams {
  uint32_t depth[3];     // candidates tried per search in the 3-, 6- and 12-byte chains
  uint32_t lazyLength;   // a pending match this long is taken without a second search
  uint32_t niceLength;   // a match this long ends the walk
};

// A match of 8 bytes or more is taken as found: looking one byte further for a better
// one costs a search and, with the literals before a match taken back into it, rarely
// finds one.
constexpr FastParams kFastParams = {{8, 64, 64}, 8, 128};

// What a match saves against coding its bytes as literals, in sixteenths of a bit, by
// the code lengths of the block before (flat guesses for the first block).
int32_t matchScore(const MatchScores& s, uint32_t length, uint32_t distance) {
  return static_cast<int32_t>(length) * s.literal - s.length[length] - s.slot[positionSlot(distance - 1)];
}

void flatScores() {
  MatchScores& s = encoder.scores;
  s.literal = 8 * 16;
  for (int32_t& p : s.literalPrice) p = 8 * 16;
  for (uint32_t l = 0; l <= kMaxMatch; ++l) s.length[l] = 7 * 16;
  for (uint32_t j = 0; j < kMaxPositionSlots; ++j) s.slot[j] = static_cast<int32_t>(3 + slotExtraBits(j)) * 16;
}

void scoresFrom(const CodePrices& prices, std::span<const EncodeToken> tokens) {
  MatchScores& s = encoder.scores;
  uint64_t literals = 0, sixteenths = 0;
  for (const EncodeToken& t : tokens)
    if (t.symbol < 256) {
      ++literals;
      sixteenths += prices.symbol[t.symbol];
    }
  s.literal = literals ? static_cast<int32_t>(sixteenths / literals) : 8 * 16;
  for (uint32_t b = 0; b < 256; ++b) s.literalPrice[b] = static_cast<int32_t>(prices.symbol[b]);
  for (uint32_t l = kMinMatch; l <= kMaxMatch; ++l)
    s.length[l] = static_cast<int32_t>(prices.symbol[l + kMatchSymbolOffset]);
  for (uint32_t j = 0; j < kMaxPositionSlots; ++j) s.slot[j] = static_cast<int32_t>(prices.slot[j]);
}

void flushTokens() {
  EncoderState& e = encoder;
  std::span<const EncodeToken> codes(e.tokens.data(), e.tokenCount);
  CodePrices prices;
  writeTokens(codes, &prices);
  scoresFrom(prices, codes);
  e.tokenCount = 0;
}

inline void emitLiteral(EncoderState& e, uint8_t byte) {
  e.tokens[e.tokenCount++] = {byte, 0};
  if (e.tokenCount == kMaxBlockCodes) flushTokens();
}

inline void emitMatch(EncoderState& e, uint32_t length, uint32_t distance) {
  e.tokens[e.tokenCount++] = {static_cast<uint16_t>(length + kMatchSymbolOffset), static_cast<uint16_t>(distance - 1)};
  if (e.tokenCount == kMaxBlockCodes) flushTokens();
}

// The fast parse's chains key positions by their first 3, 6 and 12 bytes: the longer
// keys find long matches without walking past every 3-byte candidate.
constexpr uint32_t kChainBytes[kChainCount] = {3, 6, 12};

// The fast parse's view of the encoder's tables, taken once per parse: read through the
// encoder record, its fields would be loaded again after every store into a chain.
struct ChainTables {
  const uint8_t* window;
  uint32_t* head[kChainCount];
  uint16_t* links[kChainCount];
  uint32_t ringMask, hashShift;
  uint32_t chains;  // chains in use
  const MatchScores* scores;
};

ChainTables chainTables() {
  EncoderState& e = encoder;
  // -lh5-'s 8 KiB holds few candidates for a 12-byte key that the 6-byte chain would
  // not reach: that chain would cost a tenth of the time and save nothing
  ChainTables t{e.window.data(), {}, {}, e.ringMask, e.hashShift, e.method == kMethodLh5 ? 2u : 3u,
                 &e.scores};
  for (uint32_t k = 0; k < kChainCount; ++k) {
    t.head[k] = e.chains[k].head.data();
    t.links[k] = e.chains[k].links.data();
  }
  return t;
}

// Bucket of chain k for the bytes at p.
template <uint32_t k>
inline uint32_t bucketAt(const uint8_t* p, uint32_t shift) {
  if constexpr (k == 0) return hash3(p, shift);
  const uint64_t a = load64(p);
  if constexpr (k == 1) return static_cast<uint32_t>(((a << 16) * 0xC2B2AE3D27D4EB4Full) >> (32 + shift));
  const uint64_t twelve = (a * 0x9E3779B97F4A7C15ull) ^ (load64(p + 8) << 32);
  return static_cast<uint32_t>((twelve * 0xC2B2AE3D27D4EB4Full) >> (32 + shift));
}

// Puts i at the head of its bucket in chain k.
template <uint32_t k>
inline void insertChain(const ChainTables& t, uint32_t i, uint32_t bucket) {
  const uint32_t older = t.head[k][bucket];
  const uint32_t distance = i + 1 - older;
  t.links[k][i & t.ringMask] = static_cast<uint16_t>(older && distance <= 0xFFFF ? distance : 0);
  t.head[k][bucket] = i + 1;
}

// The buckets of i in the chains it joins: the 3-byte chain always (when 3 bytes are
// left); a longer one only when i's bucket in the chain below already holds a position
// still in reach, since a longer match needs the shorter key to have occurred. Novel
// data so costs one chain, not three.
struct ChainKeys {
  uint32_t bucket[kChainCount];
  uint32_t count;  // chains joined
};

inline ChainKeys keysAt(const ChainTables& t, uint32_t i, uint32_t available, uint32_t low) {
  const uint8_t* p = t.window + i;
  ChainKeys k{{}, 0};
  if (available < kChainBytes[0]) return k;
  k.bucket[0] = bucketAt<0>(p, t.hashShift);
  k.count = 1;
  if (available < kChainBytes[1] || t.head[0][k.bucket[0]] <= low) return k;
  k.bucket[1] = bucketAt<1>(p, t.hashShift);
  k.count = 2;
  if (t.chains < 3 || available < kChainBytes[2] || t.head[1][k.bucket[1]] <= low) return k;
  k.bucket[2] = bucketAt<2>(p, t.hashShift);
  k.count = 3;
  return k;
}

inline void insertChains(const ChainTables& t, uint32_t i, const ChainKeys& keys) {
  if (keys.count > 0) insertChain<0>(t, i, keys.bucket[0]);
  if (keys.count > 1) insertChain<1>(t, i, keys.bucket[1]);
  if (keys.count > 2) insertChain<2>(t, i, keys.bucket[2]);
}

// Walks chain k from cur's bucket, nearest candidates first, at most `depth` of them.
// Only a candidate longer than the best so far can score better (it is farther), so the
// byte that would make it longer is tested first.
template <uint32_t k>
inline void walkChain(const ChainTables& t, uint32_t bucket, uint32_t cur, uint32_t low, uint32_t limit,
                      uint32_t depth, uint32_t niceLength, FoundMatch& best) {
  const uint16_t* links = t.links[k];
  const uint8_t* w = t.window;
  uint32_t longest = best.length > kMinMatch - 1 ? best.length : kMinMatch - 1;
  uint32_t stored = t.head[k][bucket];
  if (stored <= low || depth == 0) return;
  const uint16_t start = static_cast<uint16_t>(w[cur] | w[cur + 1] << 8);
  for (uint32_t c = stored - 1;;) {
    if (w[c + longest] == w[cur + longest] && static_cast<uint16_t>(w[c] | w[c + 1] << 8) == start) {
      uint32_t length = matchLength(w + c, w + cur, 2, limit);
      if (length > longest) {
        longest = length;
        int32_t score = matchScore(*t.scores, length, cur - c);
        if (score > best.score) best = {length, cur - c, score};
        if (length >= niceLength || length == limit) return;
      }
    }
    uint32_t step = links[c & t.ringMask];
    if (--depth == 0 || step == 0 || c - low < step) return;
    c -= step;
  }
}

// Hashes every position before `to` that is not hashed yet.
inline void hashUpTo(EncoderState& e, const ChainTables& t, uint32_t to, uint32_t end) {
  for (uint32_t i = e.hashed; i < to; ++i) insertChains(t, i, keysAt(t, i, end - i, oldestCandidate(e, i)));
  if (e.hashed < to) e.hashed = to;
}

// The best-scoring match at i: first among the candidates that share its first 12
// bytes, then, when none was that long, its first 6, then the nearest 3-byte ones.
// Hashes i afterwards.
FoundMatch searchAt(EncoderState& e, const ChainTables& t, uint32_t i, uint32_t end, const FastParams& fp) {
  hashUpTo(e, t, i, end);
  FoundMatch best = {0, 0, 0};
  const uint32_t available = end - i;
  const uint32_t low = oldestCandidate(e, i);
  const ChainKeys keys = keysAt(t, i, available, low);
  const uint32_t limit = std::min(available, kMaxMatch);
  if (keys.count > 2) walkChain<2>(t, keys.bucket[2], i, low, limit, fp.depth[2], fp.niceLength, best);
  if (keys.count > 1 && best.length < kChainBytes[2])
    walkChain<1>(t, keys.bucket[1], i, low, limit, fp.depth[1], fp.niceLength, best);
  if (keys.count > 0 && best.length < kChainBytes[1])
    walkChain<0>(t, keys.bucket[0], i, low, limit, fp.depth[0], fp.niceLength, best);
  insertChains(t, i, keys);
  e.hashed = i + 1;
  return best;
}

// A pending match gives way to one at the next byte at most this many times in a row, so
// that a parse that pauses knows how far past its stop its searches may go.
constexpr uint32_t kMostLazySteps = 32;

// Codes from position up to `end`; when not final, stops where a match could reach past
// the bytes held. A match found is coded only when the match at the next byte does not
// save more (the literal it leaves behind counted); a match also takes in the literals
// just before it that continue it. Long runs without matches are searched ever more
// sparsely, so incompressible data costs little.
// Where a parse pauses depends on what the window held before the member (the member's
// offset in it), so nothing before the pause may see that the bytes end there: every
// search sees a longest match and every position hashed sees its longest key.
void parseFast(uint32_t end, bool final) {
  EncoderState& e = encoder;
  const FastParams& fp = kFastParams;
  const uint8_t* w = e.window.data();
  const MatchScores& s = e.scores;
  const ChainTables t = chainTables();
  const uint32_t lookahead = kMostLazySteps + kMaxMatch + kChainBytes[kChainCount - 1] + 2;
  const uint32_t stop = final ? end : (end > lookahead ? end - lookahead : 0);
  uint32_t i = e.position;
  while (i < stop) {
    FoundMatch m{0, 0, 0};
    if (e.skipping == 0) m = searchAt(e, t, i, end, fp);
    if (m.length == 0) {
      if (e.skipping == 0) e.skipping = 1 + (++e.misses >> kMissShift);
      // a skip cut short where the parse pauses goes on when it resumes
      const uint32_t step = std::min(e.skipping, stop - i);
      for (uint32_t k = 0; k < step; ++k) emitLiteral(e, w[i + k]);
      e.skipping -= step;
      i += step;
      e.hashed = i;  // skipped bytes stay out of the chains
      continue;
    }
    e.misses = 0;
    for (uint32_t steps = 0; m.length < fp.lazyLength && i + 1 < end && steps < kMostLazySteps; ++steps) {
      FoundMatch next = searchAt(e, t, i + 1, end, fp);
      if (next.length == 0 || next.score - m.score <= s.literalPrice[w[i]] - s.literal) break;
      emitLiteral(e, w[i++]);
      m = next;
    }
    while (m.length < kMaxMatch && e.tokenCount > 0 && e.tokens[e.tokenCount - 1].symbol == w[i - 1] &&
           i - 1 - e.memberStart >= m.distance && w[i - 1] == w[i - 1 - m.distance]) {
      --e.tokenCount;
      --i;
      ++m.length;
    }
    emitMatch(e, m.length, m.distance);
    i += m.length;
  }
  hashUpTo(e, t, i, end);
  e.position = i;
}

void parse(bool final) {
  if (encoder.effort == EncodeEffort::best) {
    parseBest(encoder.windowFill, final);
  } else {
    parseFast(encoder.windowFill, final);
  }
}

// Rebases stored window indices after a slide by `shift`; older ones become "none".
void rebase(std::vector<uint32_t>& entries, uint32_t shift) {
  for (uint32_t& v : entries) v = v > shift ? v - shift : 0;
}

// Makes room by moving the bytes the parse still needs to the front of the window.
void slideWindow() {
  EncoderState& e = encoder;
  // keep a whole dictionary of the member behind position
  uint32_t shift = oldestCandidate(e, e.position) / kSlideUnit * kSlideUnit;
  if (shift == 0) return;
  std::memmove(e.window.data(), e.window.data() + shift, e.windowFill - shift);
  e.windowFill -= shift;
  e.memberStart = e.memberStart > shift ? e.memberStart - shift : 0;
  e.position -= shift;
  e.hashed -= shift;
  rebase(e.head, shift);
  rebase(e.links, shift);
  for (HashChain& c : e.chains) rebase(c.head, shift);
}

// Tables for a method and effort; they stay for the members that follow.
void allocateTables(uint32_t method, EncodeEffort effort, const DecodeMethodRecord& m) {
  EncoderState& e = encoder;
  e.method = method;
  e.effort = effort;
  e.dictionarySize = uint32_t{1} << m.dictionaryBits;
  e.positionCodeCount = m.positionCodeCount;
  e.positionCountBits = m.positionCountBits;
  e.window.assign(e.dictionarySize + kSlideUnit + kWindowBytes + kWindowPadding, 0);
  e.windowFill = 0;
  const bool best = effort == EncodeEffort::best;
  const uint32_t hashBits = method == kMethodLh5 ? 14 : 16;
  e.hashShift = 32 - hashBits;
  // chains need one link per dictionary byte; trees two per node over twice the
  // dictionary, so the node of a candidate at the full distance is still intact
  const uint32_t ring = best ? 2 * e.dictionarySize : e.dictionarySize;
  e.ringMask = ring - 1;
  e.head.assign(best ? uint32_t{1} << hashBits : 0, 0);
  e.links.assign(best ? 2 * ring : 0, 0);
  for (HashChain& c : e.chains) {
    c.head.assign(best ? 0 : uint32_t{1} << hashBits, 0);
    c.links.assign(best ? 0 : ring, 0);
  }
  e.tokens.assign(best ? 0 : kMaxBlockCodes, EncodeToken{0, 0});
  e.ready = true;
}

}  // namespace

bool startEncoder(uint32_t method, EncodeEffort effort) {
  const DecodeMethodRecord* m = findDecodeMethod(method);
  if (!m || (method != kMethodLh5 && method != kMethodLh6 && method != kMethodLh7)) return false;
  EncoderState& e = encoder;
  if (!e.ready || e.method != method || e.effort != effort) allocateTables(method, effort, *m);
  e.memberStart = e.windowFill;
  e.position = e.windowFill;
  e.hashed = e.windowFill;
  e.misses = 0;
  e.skipping = 0;
  flatScores();
  e.tokenCount = 0;
  e.bitPending = 0;
  e.bitCount = 0;
  e.output.clear();
  if (effort == EncodeEffort::best) startBestParse();
  return true;
}

void encodeBytes(std::span<const uint8_t> bytes) {
  EncoderState& e = encoder;
  const uint32_t capacity = static_cast<uint32_t>(e.window.size()) - kWindowPadding;
  while (!bytes.empty()) {
    if (e.windowFill == capacity) {
      parse(false);
      slideWindow();
    }
    uint32_t room = capacity - e.windowFill;
    uint32_t n = bytes.size() < room ? static_cast<uint32_t>(bytes.size()) : room;
    std::memcpy(e.window.data() + e.windowFill, bytes.data(), n);
    e.windowFill += n;
    bytes = bytes.subspan(n);
  }
}

void finishEncoder() {
  EncoderState& e = encoder;
  parse(true);
  if (e.tokenCount > 0) flushTokens();
  // the last bits, padded with zeros to a whole byte
  while (e.bitCount >= 8) {
    e.bitCount -= 8;
    e.output.push_back(static_cast<uint8_t>(e.bitPending >> e.bitCount));
  }
  if (e.bitCount > 0) e.output.push_back(static_cast<uint8_t>(e.bitPending << (8 - e.bitCount)));
  e.bitCount = 0;
}

std::vector<uint8_t>& encoderOutput() { return encoder.output; }

std::vector<uint8_t> encodeMember(uint32_t method, EncodeEffort effort, std::span<const uint8_t> input) {
  if (!startEncoder(method, effort)) return {};
  encodeBytes(input);
  finishEncoder();
  std::vector<uint8_t> packed;
  packed.swap(encoder.output);
  return packed;
}
