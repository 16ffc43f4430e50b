// -lh1- and -lh2-: literal bytes and match lengths in an adaptive Huffman tree that the
// decoder changes after every code exactly as the encoder did; -lh2- codes the upper bits
// of positions in a second adaptive tree that grows with the output. Also the fixed
// position code that -lh1- and -lh3- share.
#pragma once
#include <cstdint>

constexpr int32_t kAdaptiveNodeCount = 884;   // character tree 0..627, position tree 628..883
constexpr int32_t kCharRoot = 0;
constexpr int32_t kPositionRoot = 628;
constexpr uint32_t kPositionSymbolBase = 314;  // symbol 314 + k is position code k
constexpr uint32_t kAdaptiveSymbolCount = 442;

// Both trees in one node space. Within a tree, children lie above their parent and
// weights never rise with the index; a run is a stretch of equal weights, found through
// its number in constant time.
struct AdaptiveState {
  uint16_t nodeWeight[kAdaptiveNodeCount];
  // >= 0: internal, children nodeChild (bit 0) and nodeChild - 1 (bit 1); < 0: a leaf of
  // symbol ~nodeChild
  int16_t nodeChild[kAdaptiveNodeCount];
  int16_t nodeParent[kAdaptiveNodeCount];
  int16_t nodeRun[kAdaptiveNodeCount];     // -1 on nodes no tree uses
  int16_t runLeader[kAdaptiveNodeCount];   // lowest node of each run
  int16_t freeRuns[kAdaptiveNodeCount];    // run numbers not in use
  int32_t freeRunCount;
  int16_t symbolNode[kAdaptiveSymbolCount];
  uint32_t charCodeCount;    // 314 (-lh1-) or 286 (-lh2-)
  uint32_t escapeCode;       // followed by 8 bits to add; 512 where no code reaches it
  uint16_t positionTotal;    // real weight of the position tree (its root says 0xFFFF)
  int32_t lastPositionNode;  // highest node of the position tree, always a leaf
  uint32_t nextGrowthAt;     // a position code is added once producedCount exceeds this
};
extern AdaptiveState adaptive;

void startLh1();
void startLh2();
// A character code: 0..255 literal, above that a match length code (-lh2-: up to 540).
uint16_t decodeCharAdaptive();
// p of a -lh2- match: 0..8191.
uint16_t decodePositionAdaptive();
// p of a -lh1- or -lh3- match: upper bits in a fixed prefix code, then 6 plain bits.
uint16_t decodePositionFixed();
// Fills ptLen with row 0 (-lh1-, 64 codes) or row 1 (-lh3-, 128 codes) of the fixed code.
void setFixedPositionLengths(uint32_t row);

// Inner operations of the trees.
void updateCharTree(uint32_t c);
void updatePositionTree(uint32_t k);
void addPositionCode(uint32_t k);
// Raises the weight of p's subtree by one, keeping the order of weights; returns the next
// node to treat.
int32_t promoteAndIncrement(int32_t p);
// Rebuilds the tree on nodes first..end-1 from its leaves with their weights halved.
void rebuildTree(int32_t first, int32_t end);
