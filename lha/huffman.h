// Static Huffman decoding of -lh4- to -lh7- (and the tables -lh3- shares): block headers,
// code-length lists, and makeTable, which turns lengths into a lookup table plus trees.
#pragma once
#include <cstdint>

constexpr uint32_t kCharCodeCount = 510;      // 256 literals + match lengths 3..256
constexpr uint32_t kCodeLengthCodeCount = 19; // alphabet of the character lengths
constexpr uint32_t kMaxSmallLengths = 128;    // most lengths stored for a small alphabet
constexpr uint32_t kTreeNodeCount = 2 * kCharCodeCount - 1;
constexpr uint32_t kCharTableBits = 12;
constexpr uint32_t kSmallTableBits = 8;
constexpr int32_t kNoSpecialIndex = -1;

struct HuffmanTables {
  uint8_t cLen[kCharCodeCount];
  uint16_t cTable[1u << kCharTableBits];
  uint8_t ptLen[kMaxSmallLengths];
  uint16_t ptTable[1u << kSmallTableBits];
  uint16_t treeLeft[kTreeNodeCount];
  uint16_t treeRight[kTreeNodeCount];
  uint16_t blockSize;   // codes left in the current block
};
extern HuffmanTables huffman;

// Method start for -lh4- to -lh7-: every member begins with a block header.
void startStatic();
// A literal byte (0..255) or a match length code (256..509).
uint16_t decodeCharStatic();
// p = match distance - 1.
uint16_t decodePositionStatic();

void readPtLen(int16_t count, uint32_t countBits, int32_t specialIndex);
void readCLen();
// Fills table (2^tableBits entries) and the trees from a list of code lengths; a bad list
// is reported ("Bad table (case a/b/c)"), stops the run and returns false.
bool makeTable(int16_t symbolCount, const uint8_t* lengths, uint32_t tableBits, uint16_t* table);
