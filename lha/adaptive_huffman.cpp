// -lh1- and -lh2-: adaptive Huffman trees. Every detail of how a tree changes (which node
// swaps, how equal weights are ordered, when and how it is rebuilt) decides which bits
// stand for which code from then on, so all of it is part of the format.
#include "lha/adaptive_huffman.h"

#include "lha/bits.h"
#include "lha/decode.h"
#include "lha/huffman.h"

AdaptiveState adaptive;

namespace {

constexpr uint16_t kRebuildWeight = 0x8000;
constexpr uint16_t kGrownRootWeight = 0xFFFF;  // the grown position root: a run of its own
constexpr uint32_t kPositionGrowthStep = 64;

int16_t newRun(int32_t leader) {
  AdaptiveState& a = adaptive;
  int16_t run = a.freeRuns[--a.freeRunCount];
  a.runLeader[run] = static_cast<int16_t>(leader);
  return run;
}

void freeRun(int16_t run) { adaptive.freeRuns[adaptive.freeRunCount++] = run; }

// Points the back links of what node now holds (its children, or its symbol) at it.
void linkContent(int32_t node) {
  AdaptiveState& a = adaptive;
  int32_t c = a.nodeChild[node];
  if (c >= 0) {
    a.nodeParent[c] = a.nodeParent[c - 1] = static_cast<int16_t>(node);
  } else {
    a.symbolNode[~c] = static_cast<int16_t>(node);
  }
}

// Gives nodes first..end-1 fresh runs, one per stretch of equal weights, after releasing
// the runs they held.
void assignRuns(int32_t first, int32_t end) {
  AdaptiveState& a = adaptive;
  for (int32_t i = first; i < end; ++i)
    if (a.nodeRun[i] >= 0 && (i == first || a.nodeRun[i] != a.nodeRun[i - 1])) freeRun(a.nodeRun[i]);
  for (int32_t i = first; i < end; ++i)
    a.nodeRun[i] = i > first && a.nodeWeight[i] == a.nodeWeight[i - 1] ? a.nodeRun[i - 1] : newRun(i);
}

// Leaves at the top (symbol 0 at node 2n - 2), internal nodes paired from there down to
// the root, all of weight 1 at the leaves.
void buildCharTree(uint32_t n) {
  AdaptiveState& a = adaptive;
  const int32_t last = static_cast<int32_t>(2 * n - 2);
  for (uint32_t i = 0; i < n; ++i) {
    int32_t node = last - static_cast<int32_t>(i);
    a.nodeChild[node] = static_cast<int16_t>(~i);
    a.nodeWeight[node] = 1;
    linkContent(node);
  }
  int32_t pair = last;
  for (int32_t j = static_cast<int32_t>(n) - 2; j >= 0; --j, pair -= 2) {
    a.nodeChild[j] = static_cast<int16_t>(pair);
    a.nodeWeight[j] = static_cast<uint16_t>(a.nodeWeight[pair] + a.nodeWeight[pair - 1]);
    linkContent(j);
  }
  assignRuns(0, last + 1);
}

// Common start of both methods: a fresh node space and character tree.
void startAdaptive(uint32_t charCodeCount, uint32_t escapeCode) {
  AdaptiveState& a = adaptive;
  a.charCodeCount = charCodeCount;
  a.escapeCode = escapeCode;
  initBitReader();
  for (int32_t i = 0; i < kAdaptiveNodeCount; ++i) {
    a.nodeRun[i] = -1;
    a.freeRuns[i] = static_cast<int16_t>(i);
  }
  a.freeRunCount = kAdaptiveNodeCount;
  buildCharTree(charCodeCount);
}

// Walks from node j to a leaf, one bit per level, taking the bits straight from the
// reader's window. Children always lie above their parent, so the walk ends within the
// tree's depth whatever the bits are; deep trees are refilled 32 bits at a time.
inline int32_t walkToLeaf(int32_t j) {
  const int16_t* child = adaptive.nodeChild;
  uint64_t bits = bitReader.window;
  uint32_t used = 0;
  while (child[j] >= 0) {
    if (used == 32) {
      fillBits(32);
      bits = bitReader.window;
      used = 0;
    }
    j = child[j] - static_cast<int32_t>(bits >> 63);
    bits <<= 1;
    ++used;
  }
  fillBits(used);
  return ~child[j];
}

// Fixed position code lengths: the first length, then the codes at which it grows by one
// bit (a code listed twice grows it by two), ended by 0.
const uint8_t kFixedPositionRows[2][9] = {{3, 1, 4, 12, 24, 48, 0}, {2, 1, 1, 3, 6, 13, 31, 78, 0}};

}  // namespace

void startLh1() {
  startAdaptive(314, 512);
  setFixedPositionLengths(0);
  makeTable(static_cast<int16_t>(decoderState.positionCodeCount), huffman.ptLen, kSmallTableBits, huffman.ptTable);
}

void startLh2() {
  AdaptiveState& a = adaptive;
  startAdaptive(286, 285);
  // the position tree starts as one leaf, position code 0
  a.nodeChild[kPositionRoot] = static_cast<int16_t>(~kPositionSymbolBase);
  a.nodeWeight[kPositionRoot] = 1;
  linkContent(kPositionRoot);
  a.nodeRun[kPositionRoot] = newRun(kPositionRoot);
  a.lastPositionNode = kPositionRoot;
  a.positionTotal = 0;
  a.nextGrowthAt = kPositionGrowthStep;
}

uint16_t decodeCharAdaptive() {
  AdaptiveState& a = adaptive;
  uint32_t c = static_cast<uint32_t>(walkToLeaf(kCharRoot));
  updateCharTree(c);
  if (c == a.escapeCode) c += getBits(8);
  return static_cast<uint16_t>(c);
}

void updateCharTree(uint32_t c) {
  AdaptiveState& a = adaptive;
  if (a.nodeWeight[kCharRoot] == kRebuildWeight) rebuildTree(kCharRoot, static_cast<int32_t>(2 * a.charCodeCount - 1));
  ++a.nodeWeight[kCharRoot];
  int32_t node = a.symbolNode[c];
  do node = promoteAndIncrement(node);
  while (node != kCharRoot);
}

int32_t promoteAndIncrement(int32_t p) {
  AdaptiveState& a = adaptive;
  const int16_t run = a.nodeRun[p];
  const int32_t q = a.runLeader[run];
  if (q != p) {
    // p's content moves to the front of its run; the weights stay (they are equal)
    int16_t content = a.nodeChild[p];
    a.nodeChild[p] = a.nodeChild[q];
    a.nodeChild[q] = content;
    linkContent(p);
    linkContent(q);
    p = q;
  }
  // unused nodes carry run -1, so a run never reaches past its tree
  const bool alone = a.nodeRun[p + 1] != run;
  if (!alone) a.runLeader[run] = static_cast<int16_t>(p + 1);
  if (++a.nodeWeight[p] == a.nodeWeight[p - 1]) {
    a.nodeRun[p] = a.nodeRun[p - 1];
    if (alone) freeRun(run);
  } else if (!alone) {
    a.nodeRun[p] = newRun(p);
  }
  return a.nodeParent[p];
}

void rebuildTree(int32_t first, int32_t end) {
  AdaptiveState& a = adaptive;
  uint16_t* weight = a.nodeWeight;
  int16_t* child = a.nodeChild;
  // the leaves, in their order, at the front with halved weights
  int32_t j = first;
  for (int32_t i = first; i < end; ++i) {
    if (child[i] < 0) {
      child[j] = child[i];
      weight[j] = static_cast<uint16_t>((weight[i] + 1) / 2);
      ++j;
    }
  }
  --j;
  // from the back: pair the two lowest nodes; leaves not heavier than the pair go behind it
  int32_t i = end - 1;
  for (int32_t l = end - 2; i >= first; l -= 2) {
    for (; i >= l; --i, --j) {
      child[i] = child[j];
      weight[i] = weight[j];
    }
    uint32_t f = weight[l] + weight[l + 1];
    int32_t k = first;
    while (f < weight[k]) ++k;
    for (; j >= k; --i, --j) {
      child[i] = child[j];
      weight[i] = weight[j];
    }
    child[i] = static_cast<int16_t>(l + 1);
    weight[i] = static_cast<uint16_t>(f);
    --i;
  }
  for (int32_t n = first; n < end; ++n) linkContent(n);
  assignRuns(first, end);
}

uint16_t decodePositionAdaptive() {
  AdaptiveState& a = adaptive;
  // producedCount already includes this match's length
  while (decoderState.producedCount > a.nextGrowthAt) {
    uint32_t k = a.nextGrowthAt / kPositionGrowthStep;
    a.nextGrowthAt += kPositionGrowthStep;
    if (a.nextGrowthAt >= decoderState.dictionarySize) a.nextGrowthAt = 0xFFFFFFFF;
    addPositionCode(k);
  }
  uint32_t k = static_cast<uint32_t>(walkToLeaf(kPositionRoot)) - kPositionSymbolBase;
  updatePositionTree(k);
  return static_cast<uint16_t>(k * kPositionGrowthStep + getBits(6));
}

void updatePositionTree(uint32_t k) {
  AdaptiveState& a = adaptive;
  // The tree has grown long before 32,768 updates (every match adds 3 bytes or more);
  // a lone root leaf is never rebuilt.
  if (a.positionTotal == kRebuildWeight && a.lastPositionNode > kPositionRoot) {
    rebuildTree(kPositionRoot, a.lastPositionNode + 1);
    // the rebuilt root outweighs both children, so it keeps its run of its own
    a.positionTotal = a.nodeWeight[kPositionRoot];
    a.nodeWeight[kPositionRoot] = kGrownRootWeight;
  }
  int32_t node = a.symbolNode[kPositionSymbolBase + k];
  while (node != kPositionRoot) node = promoteAndIncrement(node);
  ++a.positionTotal;
}

void addPositionCode(uint32_t k) {
  AdaptiveState& a = adaptive;
  const int32_t m = a.lastPositionNode, r = m + 1, q = m + 2;
  // r takes over m's leaf; q is the new code's leaf, weight 0, in a run of its own
  a.nodeChild[r] = a.nodeChild[m];
  a.nodeWeight[r] = a.nodeWeight[m];
  a.nodeRun[r] = a.nodeRun[m];
  linkContent(r);
  a.nodeChild[q] = static_cast<int16_t>(~(kPositionSymbolBase + k));
  a.nodeWeight[q] = 0;
  a.nodeRun[q] = newRun(q);
  linkContent(q);
  // m becomes their parent: q on bit 0, r on bit 1
  a.nodeChild[m] = static_cast<int16_t>(q);
  linkContent(m);
  if (m == kPositionRoot) {
    a.nodeWeight[m] = kGrownRootWeight;
    a.runLeader[a.nodeRun[r]] = static_cast<int16_t>(r);
    a.nodeRun[m] = newRun(m);
  }
  a.lastPositionNode = q;
  updatePositionTree(k);
}

uint16_t decodePositionFixed() {
  uint32_t j = decodeSmallCode(decoderState.positionCodeCount);
  return static_cast<uint16_t>(j * 64 + getBits(6));
}

void setFixedPositionLengths(uint32_t row) {
  const uint8_t* list = kFixedPositionRows[row];
  uint8_t length = *list++;
  for (uint32_t i = 0; i < decoderState.positionCodeCount; ++i) {
    for (; *list != 0 && *list == i; ++list) ++length;
    huffman.ptLen[i] = length;
  }
}
