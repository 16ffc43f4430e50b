// Static Huffman blocks for the encoder: optimal length-limited code lengths, the three
// length lists and the codes, in the layout the static decoder reads back.
#include <algorithm>
#include <cmath>

#include "lha/encode_state.h"
#include "lha/huffman.h"

namespace {

constexpr uint32_t kMinSplitCodes = 256;  // a smaller block rarely pays for its header
constexpr uint32_t kCutStep = 32;         // cuts weighed: one every this many codes
constexpr int64_t kListBitsPerSymbol = 2; // a used symbol's share of the length lists
constexpr uint32_t kChunkCodes = 1024;    // a cut search first moves this many codes at once

// The three codes of one block and what they are built from.
struct BlockCodes {
  uint32_t charFrequency[kCharCodeCount];
  uint8_t charLength[kCharCodeCount];
  uint16_t charCode[kCharCodeCount];
  uint32_t charUsed;
  uint32_t charSent;     // lengths in the list: up to the last used symbol
  uint16_t charSingle;   // the symbol of a one-symbol code
  uint32_t lengthFrequency[kCodeLengthCodeCount];
  uint8_t lengthLength[kCodeLengthCodeCount];
  uint16_t lengthCode[kCodeLengthCodeCount];
  uint32_t lengthUsed;
  uint32_t positionFrequency[kMaxPositionSlots];
  uint8_t positionLength[kMaxPositionSlots];
  uint16_t positionCode[kMaxPositionSlots];
  uint32_t positionUsed;
};

struct CountBits {
  uint64_t total = 0;
  void put(uint32_t, uint32_t count) { total += count; }
};
struct SendBits {
  EncoderState& e;
  void put(uint32_t value, uint32_t count) { putBits(e, value, count); }
};

uint32_t usedSymbols(std::span<const uint32_t> frequencies, uint16_t* last) {
  uint32_t used = 0;
  for (uint32_t s = 0; s < frequencies.size(); ++s)
    if (frequencies[s]) {
      ++used;
      *last = static_cast<uint16_t>(s);
    }
  return used;
}

// Canonical code values: by length, then by symbol, counting up from zero.
void assignCodes(std::span<const uint8_t> lengths, uint16_t* codes) {
  uint32_t count[kMaxCodeLength + 1] = {};
  for (uint8_t l : lengths) ++count[l];
  count[0] = 0;
  uint32_t next[kMaxCodeLength + 2];
  uint32_t code = 0;
  for (uint32_t len = 1; len <= kMaxCodeLength; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  for (uint32_t s = 0; s < lengths.size(); ++s) codes[s] = lengths[s] ? static_cast<uint16_t>(next[lengths[s]]++) : 0;
}

// A run of zero lengths in the character list: single zeros (symbol 0) for runs of one
// or two, symbol 1 with 4 bits for 3 to 18, symbol 2 with 9 bits for 20 and more, and a
// run of 19 as one zero and a run of 18.
template <typename Visit>
void forEachLengthToken(const uint8_t* lengths, uint32_t count, Visit visit) {
  for (uint32_t i = 0; i < count;) {
    uint32_t k = lengths[i++];
    if (k != 0) {
      visit(k + 2, 0);
      continue;
    }
    uint32_t run = 1;
    while (i < count && lengths[i] == 0) ++i, ++run;
    if (run <= 2) {
      for (uint32_t z = 0; z < run; ++z) visit(0, 0);
    } else if (run <= 18) {
      visit(1, run - 3);
    } else if (run == 19) {
      visit(0, 0);
      visit(1, 15);
    } else {
      visit(2, run - 20);
    }
  }
}

void countTokens(std::span<const EncodeToken> tokens, BlockCodes& b) {
  std::fill(std::begin(b.charFrequency), std::end(b.charFrequency), 0);
  std::fill(std::begin(b.positionFrequency), std::end(b.positionFrequency), 0);
  for (const EncodeToken& t : tokens) {
    ++b.charFrequency[t.symbol];
    if (t.symbol > 255) ++b.positionFrequency[positionSlot(t.position)];
  }
}

// The codes of the frequencies already counted into b.
void buildCodes(BlockCodes& b) {
  uint16_t last = 0;
  b.charUsed = usedSymbols(b.charFrequency, &last);
  b.charSingle = last;
  b.charSent = b.charUsed ? last + 1u : 0u;
  buildCodeLengths(b.charFrequency, kMaxCodeLength, b.charLength);
  assignCodes(b.charLength, b.charCode);

  std::fill(std::begin(b.lengthFrequency), std::end(b.lengthFrequency), 0);
  forEachLengthToken(b.charLength, b.charSent, [&](uint32_t token, uint32_t) { ++b.lengthFrequency[token]; });
  b.lengthUsed = usedSymbols(b.lengthFrequency, &last);
  buildCodeLengths(b.lengthFrequency, kMaxCodeLength, b.lengthLength);
  assignCodes(b.lengthLength, b.lengthCode);

  std::span<uint32_t> positions(b.positionFrequency, encoder.positionCodeCount);
  b.positionUsed = usedSymbols(positions, &last);
  buildCodeLengths(positions, kMaxCodeLength, std::span<uint8_t>(b.positionLength, encoder.positionCodeCount));
  assignCodes(std::span<const uint8_t>(b.positionLength, encoder.positionCodeCount), b.positionCode);
}

// A small alphabet's length list: 0..6 in three bits, 7 and more as 111, one 1 bit per
// length above 7 and a 0; after the `special`th length, a 2-bit count of zeros skipped.
template <typename Sink>
void sendSmallLengths(Sink& sink, const uint8_t* lengths, uint32_t alphabet, uint32_t countBits, uint32_t special) {
  uint32_t n = alphabet;
  while (n > 0 && lengths[n - 1] == 0) --n;
  sink.put(n, countBits);
  for (uint32_t i = 0; i < n;) {
    uint32_t k = lengths[i++];
    if (k <= 6) {
      sink.put(k, 3);
    } else {
      sink.put((1u << (k - 3)) - 2, k - 3);
    }
    if (i == special) {
      uint32_t zeros = 0;
      while (zeros < 3 && i + zeros < n && lengths[i + zeros] == 0) ++zeros;
      sink.put(zeros, 2);
      i += zeros;
    }
  }
}

// Block size and the three lists. An alphabet with one symbol is sent as a count of 0
// and that symbol, which the decoder then yields without reading bits.
// longerLengthCode: a one-symbol block sends its (unused) code-length code as a list of
// two lengths of 1, one bit longer than the count of 0 and a value.
template <typename Sink>
void sendBlockHeader(Sink& sink, const BlockCodes& b, uint32_t codes, bool longerLengthCode = false) {
  sink.put(codes, 16);
  if (b.charUsed >= 2) {
    if (b.lengthUsed >= 2) {
      sendSmallLengths(sink, b.lengthLength, kCodeLengthCodeCount, 5, 3);
    } else {
      uint16_t token = 0;
      usedSymbols(b.lengthFrequency, &token);
      sink.put(0, 5);
      sink.put(token, 5);
    }
    sink.put(b.charSent, 9);
    forEachLengthToken(b.charLength, b.charSent, [&](uint32_t token, uint32_t extra) {
      sink.put(b.lengthCode[token], b.lengthLength[token]);
      if (token == 1) sink.put(extra, 4);
      if (token == 2) sink.put(extra, 9);
    });
  } else {
    if (longerLengthCode) {
      sink.put(2, 5);
      sink.put(1, 3);
      sink.put(1, 3);
    } else {
      sink.put(0, 5);
      sink.put(0, 5);
    }
    sink.put(0, 9);
    sink.put(b.charSingle, 9);
  }
  if (b.positionUsed >= 2) {
    sendSmallLengths(sink, b.positionLength, encoder.positionCodeCount, encoder.positionCountBits, 0);
  } else {
    uint16_t slot = 0;
    usedSymbols(std::span<const uint32_t>(b.positionFrequency, encoder.positionCodeCount), &slot);
    sink.put(0, encoder.positionCountBits);
    sink.put(slot, encoder.positionCountBits);
  }
}

uint64_t codedBits(const BlockCodes& b, uint32_t codes) {
  CountBits count;
  sendBlockHeader(count, b, codes);
  uint64_t bits = count.total;
  const uint32_t slots = encoder.positionCodeCount;
  for (uint32_t s = 0; s < kCharCodeCount; ++s) bits += uint64_t{b.charFrequency[s]} * b.charLength[s];
  for (uint32_t j = 0; j < slots; ++j)
    bits += uint64_t{b.positionFrequency[j]} * (b.positionLength[j] + slotExtraBits(j));
  return bits;
}

// A block of codes that take no bits (one symbol, and no position bits) must not end on
// a byte boundary: jlha's lha stops before such a code when no bit of input is left
// behind it, while 7z refuses a byte of padding after the last code.
bool endsOnByteWithoutBits(const BlockCodes& b, uint32_t codes) {
  if (b.charUsed != 1) return false;
  if (b.charSingle > 255) {
    uint16_t slot = 0;
    uint32_t slots = usedSymbols(std::span<const uint32_t>(b.positionFrequency, encoder.positionCodeCount), &slot);
    if (slots > 1 || slot > 1) return false;
  }
  CountBits count;
  sendBlockHeader(count, b, codes);
  return (encoder.bitCount + count.total) % 8 == 0;
}

void writeBlock(std::span<const EncodeToken> tokens, const BlockCodes& b) {
  EncoderState& e = encoder;
  SendBits sink{e};
  const uint32_t codes = static_cast<uint32_t>(tokens.size());
  sendBlockHeader(sink, b, codes, endsOnByteWithoutBits(b, codes));
  for (const EncodeToken& t : tokens) {
    putBits(e, b.charCode[t.symbol], b.charLength[t.symbol]);
    if (t.symbol > 255) {
      uint32_t slot = positionSlot(t.position);
      putBits(e, b.positionCode[slot], b.positionLength[slot]);
      if (slot > 1) putBits(e, t.position - (1u << (slot - 1)), slot - 1);
    }
  }
}

// Plain Huffman code lengths of the n used symbols, `order` sorted by rising frequency
// (in place, after Moffat and Katajainen: parents, then depths, in one array). False
// when a code would exceed maxLength, which rarely happens and then takes the slower
// package-merge.
bool huffmanLengths(std::span<const uint32_t> frequencies, const uint16_t* order, uint32_t n, uint32_t maxLength,
                    std::span<uint8_t> lengths) {
  uint64_t a[kCharCodeCount];
  for (uint32_t i = 0; i < n; ++i) a[i] = frequencies[order[i]];
  // parents: a[next] becomes the weight of internal node next, then its parent's index
  a[0] += a[1];
  uint32_t root = 0, leaf = 2;
  for (uint32_t next = 1; next < n - 1; ++next) {
    if (leaf >= n || a[root] < a[leaf]) {
      a[next] = a[root];
      a[root++] = next;
    } else {
      a[next] = a[leaf++];
    }
    if (leaf >= n || (root < next && a[root] < a[leaf])) {
      a[next] += a[root];
      a[root++] = next;
    } else {
      a[next] += a[leaf++];
    }
  }
  // depths of the internal nodes, root last
  a[n - 2] = 0;
  for (uint32_t next = n - 2; next-- > 0;) a[next] = a[a[next]] + 1;
  // depths of the leaves, heaviest first
  uint32_t available = 1, used = 0, depth = 0;
  int32_t node = static_cast<int32_t>(n) - 2, next = static_cast<int32_t>(n) - 1;
  while (available > 0) {
    while (node >= 0 && a[node] == depth) ++used, --node;
    while (available > used) a[next--] = depth, --available;
    available = 2 * used;
    ++depth;
    used = 0;
  }
  if (a[0] > maxLength) return false;
  for (uint32_t i = 0; i < n; ++i) lengths[order[i]] = static_cast<uint8_t>(a[i]);
  return true;
}

}  // namespace

void buildCodeLengths(std::span<const uint32_t> frequencies, uint32_t maxLength, std::span<uint8_t> lengths) {
  constexpr uint32_t kMaxSymbols = kCharCodeCount;
  std::fill(lengths.begin(), lengths.end(), 0);
  uint16_t order[kMaxSymbols];
  uint32_t n = 0;
  for (uint32_t s = 0; s < frequencies.size() && s < kMaxSymbols; ++s)
    if (frequencies[s]) order[n++] = static_cast<uint16_t>(s);
  if (n < 2) return;
  maxLength = std::min(maxLength, kMaxCodeLength);  // the arrays below hold 16 levels
  // by frequency, ties by symbol: one key each, so a plain sort keeps the order stable
  uint64_t key[kMaxSymbols];
  for (uint32_t i = 0; i < n; ++i) key[i] = uint64_t{frequencies[order[i]]} << 16 | order[i];
  std::sort(key, key + n);
  for (uint32_t i = 0; i < n; ++i) order[i] = static_cast<uint16_t>(key[i]);
  if (huffmanLengths(frequencies, order, n, maxLength, lengths)) return;

  // Package-merge: the list of the deepest level holds the leaves; each level above
  // merges the leaves with the pairs of the level below. isLeaf records, per level,
  // which items are leaves, which is all the lengths need afterwards.
  uint8_t isLeaf[kMaxCodeLength][2 * kMaxSymbols];
  uint64_t weight[2][2 * kMaxSymbols];
  uint32_t size[kMaxCodeLength];
  uint32_t deepest = maxLength - 1;
  for (uint32_t i = 0; i < n; ++i) {
    weight[deepest & 1][i] = frequencies[order[i]];
    isLeaf[deepest][i] = 1;
  }
  size[deepest] = n;
  for (uint32_t level = deepest; level-- > 0;) {
    const uint64_t* below = weight[(level + 1) & 1];
    uint64_t* here = weight[level & 1];
    uint32_t pairs = size[level + 1] / 2;
    uint32_t leaf = 0, pair = 0, k = 0;
    while (leaf < n || pair < pairs) {
      uint64_t pairWeight = pair < pairs ? below[2 * pair] + below[2 * pair + 1] : 0;
      if (pair >= pairs || (leaf < n && frequencies[order[leaf]] <= pairWeight)) {
        here[k] = frequencies[order[leaf++]];
        isLeaf[level][k++] = 1;
      } else {
        here[k] = pairWeight;
        isLeaf[level][k++] = 0;
        ++pair;
      }
    }
    size[level] = k;
  }
  // The 2n - 2 lightest items of the top list; every leaf among the chosen items of a
  // level adds one bit to its code, every pair there chooses two items of the level below.
  uint32_t chosen = 2 * n - 2;
  for (uint32_t level = 0; level < maxLength && chosen > 0; ++level) {
    uint32_t leaves = 0;
    for (uint32_t k = 0; k < chosen; ++k) leaves += isLeaf[level][k];
    for (uint32_t i = 0; i < leaves; ++i) ++lengths[order[i]];
    chosen = 2 * (chosen - leaves);
  }
}

uint64_t blockBits(std::span<const EncodeToken> tokens) {
  BlockCodes b;
  countTokens(tokens, b);
  buildCodes(b);
  return codedBits(b, static_cast<uint32_t>(tokens.size()));
}

namespace {

// Prices in sixteenths of a bit: the code lengths, or with `fractional`, halfway between
// them and the share of the block each symbol has (-log2 of it), which tells apart the
// many choices whole bits would price alike. Symbols the block does not use cost a bit
// more than its dearest code.
void pricesFromCodes(const BlockCodes& b, CodePrices& prices, bool fractional = false) {
  uint32_t codes = 0, matches = 0, dearest = 0;
  const uint32_t slots = encoder.positionCodeCount;
  for (uint32_t s = 0; s < kCharCodeCount; ++s) codes += b.charFrequency[s];
  for (uint32_t j = 0; j < slots; ++j) matches += b.positionFrequency[j];
  auto price = [fractional](uint32_t length, uint32_t f, uint32_t total) {
    if (!fractional) return 16 * length;
    return static_cast<uint32_t>(std::lround(8 * length + 8 * std::log2(static_cast<double>(total) / f)));
  };
  for (uint8_t l : b.charLength) dearest = std::max<uint32_t>(dearest, l);
  for (uint32_t s = 0; s < kCharCodeCount; ++s) {
    const uint32_t f = b.charFrequency[s];
    prices.symbol[s] = f ? price(b.charLength[s], f, codes) : 16 * (dearest + 1);
  }
  dearest = 0;
  for (uint32_t j = 0; j < slots; ++j) dearest = std::max<uint32_t>(dearest, b.positionLength[j]);
  for (uint32_t j = 0; j < kMaxPositionSlots; ++j) {
    const uint32_t f = j < slots ? b.positionFrequency[j] : 0;
    prices.slot[j] = (f ? price(b.positionLength[j], f, matches) : 16 * (dearest + 1)) + 16 * slotExtraBits(j);
  }
}

// f log2 f for every count a block can hold, in 1/256 bits, so that a cut's estimate
// moves by whole-number table steps as tokens cross it. 32 bits hold it (2^16 counts of
// 16 bits each), which halves what the cut search keeps in cache. Built once, by whichever
// packing thread asks first.
const int32_t* countLogTable() {
  static const std::vector<int32_t> table = [] {
    std::vector<int32_t> t(kMaxBlockCodes + 2);
    for (uint32_t f = 1; f < t.size(); ++f)
      t[f] = static_cast<int32_t>(std::llround(256 * f * std::log2(static_cast<double>(f))));
    return t;
  }();
  return table.data();
}

// A cut side counts both alphabets in one array: the character codes, then the
// position slots.
constexpr uint32_t kCutSymbols = kCharCodeCount + kMaxPositionSlots;

// One side of a cut while the cut moves: its frequencies and, kept up to date as codes
// cross the cut, what its estimate is made of.
struct CutSide {
  uint32_t frequency[kCutSymbols];
  int64_t sum;  // f log2 f over both alphabets
  uint32_t codes, matches, used;
};

void startSide(CutSide& side, const BlockCodes* from, const int32_t* g) {
  side = {};
  if (!from) return;
  std::copy(std::begin(from->charFrequency), std::end(from->charFrequency), side.frequency);
  std::copy(std::begin(from->positionFrequency), std::end(from->positionFrequency), side.frequency + kCharCodeCount);
  for (uint32_t s = 0; s < kCutSymbols; ++s) {
    const uint32_t f = side.frequency[s];
    side.sum += g[f];
    side.used += f != 0;
    (s < kCharCodeCount ? side.codes : side.matches) += f;
  }
}

// Moves n counts of symbol s from one side to the other.
inline void moveCount(uint32_t s, uint32_t n, CutSide& from, CutSide& to, const int32_t* g) {
  uint32_t& f = from.frequency[s];
  uint32_t& t = to.frequency[s];
  from.sum += g[f - n] - g[f];
  from.used -= f == n;
  to.sum += g[t + n] - g[t];
  to.used += t == 0;
  f -= n;
  t += n;
}

inline void moveToken(const EncodeToken& t, CutSide& from, CutSide& to, const int32_t* g) {
  moveCount(t.symbol, 1, from, to, g);
  --from.codes;
  ++to.codes;
  if (t.symbol > 255) {
    moveCount(kCharCodeCount + positionSlot(t.position), 1, from, to, g);
    --from.matches;
    ++to.matches;
  }
}

void moveChunk(uint32_t chunk, CutSide& from, CutSide& to, const int32_t* g) {
  const CutChunks& c = encoder.cutChunks;
  for (uint32_t k = c.start[chunk]; k < c.start[chunk + 1]; ++k) {
    const ChunkCount& n = c.counts[k];
    moveCount(n.symbol, n.count, from, to, g);
    if (n.symbol < kCharCodeCount) {
      from.codes -= n.count;
      to.codes += n.count;
    } else {
      from.matches -= n.count;
      to.matches += n.count;
    }
  }
}

// Counts a piece's codes into `whole`: for the fast effort, each kChunkCodes of them
// first on their own, sparsely, for every cut search inside the piece. --best counts no
// chunks, so its searches weigh every cut: chunks cost it 0.05% in size.
void countPiece(std::span<const EncodeToken> piece, BlockCodes& whole) {
  CutChunks& c = encoder.cutChunks;
  c.base = piece.data();
  c.start.assign(1, 0);
  c.counts.clear();
  size_t at = 0;
  if (encoder.effort != EncodeEffort::best) {
    uint16_t dense[kCutSymbols] = {};
    uint16_t used[kCutSymbols + 1];
    for (; at + kChunkCodes <= piece.size(); at += kChunkCodes) {
      // no branch on a symbol's first count: it would be mispredicted half the time
      uint32_t n = 0;
      for (const EncodeToken& t : piece.subspan(at, kChunkCodes)) {
        used[n] = t.symbol;
        n += dense[t.symbol]++ == 0;
        if (t.symbol > 255) {
          const auto slot = static_cast<uint16_t>(kCharCodeCount + positionSlot(t.position));
          used[n] = slot;
          n += dense[slot]++ == 0;
        }
      }
      for (uint32_t k = 0; k < n; ++k) {
        c.counts.push_back({used[k], dense[used[k]]});
        dense[used[k]] = 0;
      }
      c.start.push_back(static_cast<uint32_t>(c.counts.size()));
    }
  }
  countTokens(piece.subspan(at), whole);
  for (const ChunkCount& n : c.counts)
    (n.symbol < kCharCodeCount ? whole.charFrequency[n.symbol] : whole.positionFrequency[n.symbol - kCharCodeCount]) +=
        n.count;
}

// Estimated bits (in 1/256) of one side as a block: the entropy of its codes and a few
// bits for each symbol its length lists name. Position extra bits are left out: a cut
// does not change them.
inline int64_t estimatedBits(const CutSide& side, const int32_t* g) {
  return int64_t{g[side.codes]} + g[side.matches] - side.sum + kListBitsPerSymbol * 256 * side.used;
}

// The search for the cheapest cut: both sides at the cut reached, and the best so far.
struct CutSearch {
  std::span<const EncodeToken> tokens;
  const int32_t* g;
  CutSide left, right;
  uint32_t first, last;  // the cuts allowed
  uint32_t at;           // codes in left
  uint32_t best;
  int64_t bestBits;
};

void weighCut(CutSearch& s) {
  if (s.at < s.first || s.at > s.last) return;
  const int64_t bits = estimatedBits(s.left, s.g) + estimatedBits(s.right, s.g);
  if (bits < s.bestBits || (bits == s.bestBits && s.at < s.best)) {
    s.bestBits = bits;
    s.best = s.at;
  }
}

// Moves the cut code by code to `to`, weighing it every kCutStep codes.
void slideCut(CutSearch& s, uint32_t to) {
  while (s.at < to) {
    moveToken(s.tokens[s.at++], s.right, s.left, s.g);
    if (s.at % kCutStep == 0) weighCut(s);
  }
  while (s.at > to) {
    moveToken(s.tokens[--s.at], s.left, s.right, s.g);
    if (s.at % kCutStep == 0) weighCut(s);
  }
}

// The cut of tokens into two blocks, at least kMinSplitCodes each, that looks cheapest
// by estimatedBits, weighed every kCutStep codes; `left` gets the codes before it. Cuts
// are first weighed at the piece's chunk boundaries, a chunk moved at a time, then code
// by code within a chunk either side of the best of those.
uint32_t cheapestCut(std::span<const EncodeToken> tokens, const BlockCodes& whole, BlockCodes& left) {
  const uint32_t codes = static_cast<uint32_t>(tokens.size());
  const uint32_t first = kMinSplitCodes, last = codes - kMinSplitCodes;
  CutSearch s{tokens, countLogTable(), {}, {}, first, last, 0, first, INT64_MAX};
  startSide(s.left, nullptr, s.g);
  startSide(s.right, &whole, s.g);
  const int64_t wholeBits = estimatedBits(s.right, s.g);
  const CutChunks& c = encoder.cutChunks;
  const uint32_t offset = static_cast<uint32_t>(tokens.data() - c.base);
  // cut offsets from the piece's start are multiples of kCutStep, as are chunk boundaries
  uint32_t chunk = (offset + first + kChunkCodes - 1) / kChunkCodes;
  uint32_t boundary = chunk * kChunkCodes - offset;
  // left's counts come from a state kept: none, or at the best boundary
  CutSide held = s.left;
  uint32_t heldAt = 0;
  if (boundary + kChunkCodes > last || chunk + 1 >= c.start.size()) {
    slideCut(s, last);
  } else {
    slideCut(s, boundary);
    CutSide bestRight = s.right;
    held = s.left, heldAt = boundary;
    for (; boundary + kChunkCodes <= last && chunk + 1 < c.start.size(); boundary += kChunkCodes) {
      moveChunk(chunk++, s.right, s.left, s.g);
      s.at += kChunkCodes;
      const uint32_t before = s.best;
      weighCut(s);
      if (s.best != before) held = s.left, bestRight = s.right, heldAt = s.at;
    }
    // between the boundaries either side of the best one, where the cheapest cut lies
    // when the estimate falls and rises once around it
    s.left = held, s.right = bestRight, s.at = heldAt;
    slideCut(s, std::max(first, heldAt > kChunkCodes ? heldAt - kChunkCodes : 0));
    s.left = held, s.right = bestRight, s.at = heldAt;
    slideCut(s, std::min(last, heldAt + kChunkCodes));
  }
  // no cut that looks cheaper than one block: building two codes to make sure would cost
  // more time than the rare block it finds saves
  if (s.bestBits >= wholeBits) return 0;
  // from there to the cut chosen, counting alone: cheaper than moving codes
  std::copy(held.frequency, held.frequency + kCharCodeCount, left.charFrequency);
  std::copy(held.frequency + kCharCodeCount, held.frequency + kCutSymbols, left.positionFrequency);
  for (uint32_t k = heldAt; k < s.best; ++k) {
    ++left.charFrequency[tokens[k].symbol];
    if (tokens[k].symbol > 255) ++left.positionFrequency[positionSlot(tokens[k].position)];
  }
  for (uint32_t k = s.best; k < heldAt; ++k) {
    --left.charFrequency[tokens[k].symbol];
    if (tokens[k].symbol > 255) --left.positionFrequency[positionSlot(tokens[k].position)];
  }
  return s.best;
}

// Cuts tokens, whose codes `whole` holds, into blocks: in two where the statistics
// change most when two codes cost fewer bits than one, each side considered the same
// way. Hands each block and its codes to `visit`, in order.
template <typename Visit>
void splitBlocks(std::span<const EncodeToken> tokens, const BlockCodes& whole, Visit& visit) {
  const uint32_t codes = static_cast<uint32_t>(tokens.size());
  if (codes >= 2 * kMinSplitCodes) {
    BlockCodes left, right;
    const uint32_t cut = cheapestCut(tokens, whole, left);
    if (cut == 0) return visit(tokens, whole);
    for (uint32_t s = 0; s < kCharCodeCount; ++s) right.charFrequency[s] = whole.charFrequency[s] - left.charFrequency[s];
    for (uint32_t j = 0; j < kMaxPositionSlots; ++j)
      right.positionFrequency[j] = whole.positionFrequency[j] - left.positionFrequency[j];
    buildCodes(left);
    buildCodes(right);
    if (codedBits(left, cut) + codedBits(right, codes - cut) < codedBits(whole, codes)) {
      splitBlocks(tokens.first(cut), left, visit);
      splitBlocks(tokens.subspan(cut), right, visit);
      return;
    }
  }
  visit(tokens, whole);
}

// The same for any number of codes: more than a block holds are first cut into equal
// pieces of at most 65,535.
template <typename Visit>
void splitBlocks(std::span<const EncodeToken> tokens, Visit visit) {
  uint32_t pieces = static_cast<uint32_t>((tokens.size() + kMaxBlockCodes - 1) / kMaxBlockCodes);
  for (; pieces > 0; --pieces) {
    std::span<const EncodeToken> piece = tokens.first((tokens.size() + pieces - 1) / pieces);
    tokens = tokens.subspan(piece.size());
    BlockCodes whole;
    countPiece(piece, whole);
    buildCodes(whole);
    splitBlocks(piece, whole, visit);
  }
}

}  // namespace

void writeTokens(std::span<const EncodeToken> tokens, CodePrices* prices) {
  // the prices are those of the last block
  splitBlocks(tokens, [&](std::span<const EncodeToken> block, const BlockCodes& b) {
    writeBlock(block, b);
    if (prices) pricesFromCodes(b, *prices);
  });
}

void blockEnds(std::span<const EncodeToken> tokens, std::vector<uint32_t>& ends) {
  ends.clear();
  uint32_t end = 0;
  splitBlocks(tokens, [&](std::span<const EncodeToken> block, const BlockCodes&) {
    end += static_cast<uint32_t>(block.size());
    ends.push_back(end);
  });
}

void pricesOf(std::span<const EncodeToken> tokens, CodePrices& prices) {
  BlockCodes b;
  countTokens(tokens, b);
  buildCodes(b);
  pricesFromCodes(b, prices, true);
}
