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
};

constexpr BestParams kBestParams = {64, 128, 3};

constexpr uint32_t kTargetCodes = 60000;      // codes aimed at per range (one block)
constexpr uint32_t kMinRangeBytes = 16384;
constexpr uint32_t kMaxRangeBytes = 512 * 1024;
constexpr uint32_t kMaxPairsPerPosition = kMaxMatch;


// Inserts cur into the binary tree of its hash bucket, ordered by the bytes that follow
// each position, and appends the matches met on the way down: each longer than the last,
// each farther (newer positions sit nearer the root).
uint32_t treeMatches(uint32_t cur, uint32_t limit, MatchPair* out) {
  EncoderState& e = encoder;
  const uint8_t* w = e.window.data();
  uint32_t h = hash3(cur);
  uint32_t candidate = e.head[h];
  e.head[h] = cur + 1;
  uint32_t* smaller = &e.links[2 * (cur & e.ringMask)];
  uint32_t* larger = smaller + 1;
  uint32_t smallerLength = 0, largerLength = 0;
  const uint32_t low = oldestCandidate(cur);
  uint32_t best = kMinMatch - 1;
  uint32_t count = 0;
  for (uint32_t depth = kBestParams.treeDepth;; --depth) {
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
  OptimalParse& o = encoder.optimal;
  uint32_t n = to - from;
  o.pairStart.resize(n + 1);
  o.pairs.clear();
  MatchPair found[kMaxPairsPerPosition];
  for (uint32_t i = 0; i < n; ++i) {
    o.pairStart[i] = static_cast<uint32_t>(o.pairs.size());
    uint32_t cur = from + i;
    uint32_t limit = std::min(end - cur, kMaxMatch);
    if (limit < kMinMatch) continue;
    uint32_t count = treeMatches(cur, limit, found);
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

inline void relax(uint32_t target, uint32_t bits, uint16_t symbol, uint16_t position) {
  OptimalParse& o = encoder.optimal;
  if (bits < o.cost[target]) {
    o.cost[target] = bits;
    o.arrival[target] = {symbol, position};
  }
}

// The cheapest path through the n bytes at `from` under the current prices.
void cheapestTokens(uint32_t from, uint32_t n, std::vector<EncodeToken>& tokens) {
  OptimalParse& o = encoder.optimal;
  const CodePrices& p = o.prices;
  const uint8_t* w = encoder.window.data();
  const uint32_t nice = kBestParams.niceLength;
  o.cost.assign(n + 1, UINT32_MAX);
  o.arrival.resize(n + 1);
  o.cost[0] = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t base = o.cost[i];
    relax(i + 1, base + p.symbol[w[from + i]], w[from + i], 0);
    uint32_t first = o.pairStart[i], last = o.pairStart[i + 1];
    if (first == last) continue;
    const uint32_t remain = n - i;
    const MatchPair& longest = o.pairs[last - 1];
    if (longest.length >= nice) {
      uint32_t length = std::min<uint32_t>(longest.length, remain);
      if (length >= kMinMatch)
        relax(i + length, base + p.symbol[length + kMatchSymbolOffset] + p.slot[positionSlot(longest.position)],
              static_cast<uint16_t>(length + kMatchSymbolOffset), longest.position);
      continue;
    }
    uint32_t shorter = kMinMatch - 1;
    for (uint32_t k = first; k < last && shorter < remain; ++k) {
      uint32_t length = std::min<uint32_t>(o.pairs[k].length, remain);
      uint32_t withPosition = base + p.slot[positionSlot(o.pairs[k].position)];
      for (uint32_t l = shorter + 1; l <= length; ++l)
        relax(i + l, withPosition + p.symbol[l + kMatchSymbolOffset], static_cast<uint16_t>(l + kMatchSymbolOffset),
              o.pairs[k].position);
      shorter = std::max(shorter, length);
    }
  }
  tokens.clear();
  for (uint32_t i = n; i > 0;) {
    const EncodeToken& t = o.arrival[i];
    tokens.push_back(t);
    i -= t.symbol > 255 ? t.symbol - kMatchSymbolOffset : 1;
  }
  std::reverse(tokens.begin(), tokens.end());
}

// Codes the n bytes at `from`: parses again with the prices of the previous parse while
// that makes the codes smaller, and writes the smallest.
void codeRange(uint32_t from, uint32_t n) {
  OptimalParse& o = encoder.optimal;
  if (!o.havePrices) {
    greedyTokens(from, n, o.tokens);
    pricesOf(o.tokens, o.prices);
    o.havePrices = true;
  }
  uint64_t keptBits = UINT64_MAX;
  for (uint32_t pass = 0; pass < kBestParams.passes; ++pass) {
    cheapestTokens(from, n, o.tokens);
    uint64_t bits = blockBits(o.tokens);
    if (bits >= keptBits) break;
    keptBits = bits;
    o.kept.swap(o.tokens);
    pricesOf(o.kept, o.prices);
  }
  // a block holds at most 65,535 codes
  std::span<const EncodeToken> rest(o.kept);
  uint32_t blocks = static_cast<uint32_t>((rest.size() + kMaxBlockCodes - 1) / kMaxBlockCodes);
  for (; blocks > 0; --blocks) {
    size_t take = (rest.size() + blocks - 1) / blocks;
    writeTokens(rest.first(take));
    rest = rest.subspan(take);
  }
  // the next range aims at one full block
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
