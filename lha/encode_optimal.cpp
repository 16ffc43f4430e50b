// The --best parse: every position's matches from binary trees over the dictionary, then
// the cheapest path through a range of input, priced by the Huffman code lengths the
// range's own codes get, found again with those prices until it stops improving.
#include <algorithm>

#include "lha/decode.h"
#include "lha/encode_state.h"

namespace {

struct BestParams {
  uint32_t treeDepth;    // tree nodes visited per position
  uint32_t niceLength;   // a match this long is taken whole, its shorter forms not priced
  uint32_t passes;       // parses per range; each after the first uses the last one's prices
  uint32_t blockPasses;  // parses per block after the cut, by the block's own prices
};

// -lh5-'s small dictionary leaves the least to find: it gets the most parses
constexpr BestParams kBestParamsLh5 = {64, 128, 3, 2};
constexpr BestParams kBestParamsWide = {64, 128, 2, 1};

// The hot paths hand the record in: each reach for the thread's own record costs a call.
inline const BestParams& bestParams(const EncoderState& e = encoder) {
  return e.method == kMethodLh5 ? kBestParamsLh5 : kBestParamsWide;
}

constexpr uint32_t kTargetCodes = 60000;  // codes aimed at per range
constexpr uint32_t kMaxRangeBytes = 512 * 1024;

constexpr uint32_t kMinRangeBytes = 16384;
constexpr uint32_t kMaxPairsPerPosition = kMaxMatch;


// Inserts cur into the binary tree of its hash bucket, ordered by the bytes that follow
// each position, and appends the matches met on the way down: each longer than the last,
// each farther (newer positions sit nearer the root).
uint32_t treeMatches(EncoderState& e, uint32_t cur, uint32_t limit, MatchPair* out) {
  const uint8_t* w = e.window.data();
  uint32_t h = hash3(w + cur, e.hashShift);
  uint32_t candidate = e.head[h];
  e.head[h] = cur + 1;
  uint32_t* smaller = &e.links[2 * (cur & e.ringMask)];
  uint32_t* larger = smaller + 1;
  uint32_t smallerLength = 0, largerLength = 0;
  const uint32_t low = oldestCandidate(e, cur);
  uint32_t best = kMinMatch - 1;
  uint32_t count = 0;
  for (uint32_t depth = bestParams(e).treeDepth;; --depth) {
    if (candidate <= low || depth == 0) {
      *smaller = *larger = 0;
      break;
    }
    uint32_t c = candidate - 1;
    uint32_t* node = &e.links[2 * (c & e.ringMask)];
    uint32_t length = matchLength(w + c, w + cur, std::min(smallerLength, largerLength), limit);
    if (length > best) {
      best = length;
      out[count++] = {static_cast<uint16_t>(length), static_cast<uint16_t>(cur - c - 1)};
      if (length == limit) {
        // equal as far as we look: cur takes the candidate's place and its subtrees
        *smaller = node[0];
        *larger = node[1];
        break;
      }
    }
    if (w[c + length] < w[cur + length]) {
      *smaller = candidate;
      smaller = node + 1;
      candidate = node[1];
      smallerLength = length;
    } else {
      *larger = candidate;
      larger = node;
      candidate = node[0];
      largerLength = length;
    }
  }
  return count;
}

void findPairs(uint32_t from, uint32_t to, uint32_t end) {
  EncoderState& e = encoder;
  OptimalParse& o = e.optimal;
  uint32_t n = to - from;
  o.pairStart.resize(n + 1);
  o.pairs.clear();
  MatchPair found[kMaxPairsPerPosition];
  for (uint32_t i = 0; i < n; ++i) {
    o.pairStart[i] = static_cast<uint32_t>(o.pairs.size());
    uint32_t cur = from + i;
    uint32_t limit = std::min(end - cur, kMaxMatch);
    if (limit < kMinMatch) continue;
    uint32_t count = treeMatches(e, cur, limit, found);
    o.pairs.insert(o.pairs.end(), found, found + count);
  }
  o.pairStart[n] = static_cast<uint32_t>(o.pairs.size());
}

// The longest match at every step: the first prices of a member come from this parse.
void greedyTokens(uint32_t from, uint32_t n, std::vector<EncodeToken>& tokens) {
  OptimalParse& o = encoder.optimal;
  const uint8_t* w = encoder.window.data();
  tokens.clear();
  for (uint32_t i = 0; i < n;) {
    uint32_t first = o.pairStart[i], last = o.pairStart[i + 1];
    uint32_t length = first < last ? std::min<uint32_t>(o.pairs[last - 1].length, n - i) : 0;
    if (length >= kMinMatch) {
      tokens.push_back({static_cast<uint16_t>(length + kMatchSymbolOffset), o.pairs[last - 1].position});
      i += length;
    } else {
      tokens.push_back({w[from + i], 0});
      ++i;
    }
  }
}

// A code as the parse stores it: symbol in the low half, position in the high half.
inline uint32_t packedToken(uint32_t symbol, uint32_t position) { return symbol | position << 16; }

inline void relax(OptimalParse& o, uint32_t target, uint32_t bits, uint32_t token) {
  if (bits < o.cost[target]) {
    o.cost[target] = bits;
    o.arrival[target] = token;
  }
}

// relax for the lengths from..to of matches at distance position + 1 from offset i;
// without branches, so that the compiler can do several lengths at once.
inline void relaxLengths(OptimalParse& o, uint32_t i, uint32_t from, uint32_t to, uint32_t withPosition,
                         uint32_t position) {
  uint32_t* __restrict cost = o.cost.data() + i;
  uint32_t* __restrict arrival = o.arrival.data() + i;
  const uint32_t* __restrict price = o.prices.symbol + kMatchSymbolOffset;
  const uint32_t token = packedToken(kMatchSymbolOffset, position);
  for (uint32_t l = from; l <= to; ++l) {
    uint32_t bits = withPosition + price[l];
    uint32_t old = cost[l];
    cost[l] = bits < old ? bits : old;
    arrival[l] = bits < old ? token + l : arrival[l];
  }
}

// The cheapest path under the current prices through the n bytes at range offset `at`
// of the range that starts at window index `from`.
void cheapestTokens(uint32_t from, uint32_t at, uint32_t n, std::vector<EncodeToken>& tokens) {
  OptimalParse& o = encoder.optimal;
  const CodePrices& p = o.prices;
  const uint8_t* w = encoder.window.data() + from + at;
  const uint32_t* pairStart = o.pairStart.data() + at;
  const uint32_t nice = bestParams().niceLength;
  o.cost.assign(n + 1, UINT32_MAX);
  o.arrival.resize(n + 1);
  o.cost[0] = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t base = o.cost[i];
    relax(o, i + 1, base + p.symbol[w[i]], w[i]);
    uint32_t first = pairStart[i], last = pairStart[i + 1];
    if (first == last) continue;
    const uint32_t remain = n - i;
    const MatchPair& longest = o.pairs[last - 1];
    if (longest.length >= nice) {
      uint32_t length = std::min<uint32_t>(longest.length, remain);
      if (length >= kMinMatch)
        relax(o, i + length, base + p.symbol[length + kMatchSymbolOffset] + p.slot[positionSlot(longest.position)],
              packedToken(length + kMatchSymbolOffset, longest.position));
      continue;
    }
    uint32_t shorter = kMinMatch - 1;
    for (uint32_t k = first; k < last && shorter < remain; ++k) {
      uint32_t length = std::min<uint32_t>(o.pairs[k].length, remain);
      uint32_t withPosition = base + p.slot[positionSlot(o.pairs[k].position)];
      relaxLengths(o, i, shorter + 1, length, withPosition, o.pairs[k].position);
      shorter = std::max(shorter, length);
    }
  }
  tokens.clear();
  for (uint32_t i = n; i > 0;) {
    EncodeToken t = {static_cast<uint16_t>(o.arrival[i]), static_cast<uint16_t>(o.arrival[i] >> 16)};
    tokens.push_back(t);
    i -= t.symbol > 255 ? t.symbol - kMatchSymbolOffset : 1;
  }
  std::reverse(tokens.begin(), tokens.end());
}

// Parses the n bytes at range offset `at` again with the prices of the previous parse
// while that makes the codes smaller; `tokens` holds the previous parse and receives the
// smallest.
void improveTokens(uint32_t from, uint32_t at, uint32_t n, std::vector<EncodeToken>& tokens, uint32_t passes) {
  OptimalParse& o = encoder.optimal;
  uint64_t keptBits = blockBits(tokens);
  for (uint32_t pass = 0; pass < passes; ++pass) {
    pricesOf(tokens, o.prices);
    cheapestTokens(from, at, n, o.tokens);
    uint64_t bits = blockBits(o.tokens);
    if (bits >= keptBits) break;
    keptBits = bits;
    tokens.swap(o.tokens);
  }
}

// Bytes the codes cover.
uint32_t bytesOf(std::span<const EncodeToken> tokens) {
  uint32_t n = 0;
  for (const EncodeToken& t : tokens) n += t.symbol > 255 ? t.symbol - kMatchSymbolOffset : 1;
  return n;
}

// Codes the n bytes at `from`: parses them as one block until the parse settles, cuts
// the codes into blocks where their statistics change, and parses each block again by
// its own prices.
void codeRange(uint32_t from, uint32_t n) {
  OptimalParse& o = encoder.optimal;
  if (!o.havePrices) {
    greedyTokens(from, n, o.tokens);
    pricesOf(o.tokens, o.prices);
    o.havePrices = true;
  }
  cheapestTokens(from, 0, n, o.kept);
  improveTokens(from, 0, n, o.kept, bestParams().passes - 1);
  blockEnds(o.kept, o.ends);
  uint32_t start = 0, at = 0;
  for (uint32_t end : o.ends) {
    std::span<const EncodeToken> block(o.kept.data() + start, end - start);
    uint32_t bytes = bytesOf(block);
    o.blockTokens.assign(block.begin(), block.end());
    if (o.ends.size() > 1) improveTokens(from, at, bytes, o.blockTokens, bestParams().blockPasses);
    writeTokens(o.blockTokens);
    start = end;
    at += bytes;
  }
  // the next range starts from the prices of the last block
  pricesOf(o.blockTokens, o.prices);
  // the next range aims at kTargetCodes codes
  uint64_t next = o.kept.empty() ? kMaxRangeBytes : uint64_t{n} * kTargetCodes / o.kept.size();
  o.rangeBytes = static_cast<uint32_t>(std::clamp<uint64_t>(next, kMinRangeBytes, kMaxRangeBytes));
}

}  // namespace

void startBestParse() {
  encoder.optimal.havePrices = false;
  encoder.optimal.rangeBytes = 65536;
}

void parseBest(uint32_t end, bool final) {
  EncoderState& e = encoder;
  OptimalParse& o = encoder.optimal;
  while (e.position < end) {
    uint32_t available = end - e.position;
    uint32_t n = o.rangeBytes;
    if (!final && available < n + kMaxMatch) return;  // wait for the bytes a match may reach
    n = std::min(n, available);
    findPairs(e.position, e.position + n, end);
    codeRange(e.position, n);
    e.position += n;
  }
}
