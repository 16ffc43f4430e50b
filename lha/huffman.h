// Static Huffman decoding of -lh4- to -lh7- and -lh3-: block headers, code-length lists,
// and makeTable, which turns lengths into a lookup table plus trees.
#pragma once
#include <cstdint>

#include "lha/bits.h"

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
  // The static loop's own: the length of the code each direct entry above names, so one
  // index gives symbol and length side by side instead of the one after the other. Kept
  // by the -lh4- to -lh7- block headers only; 0 where the lengths are 0.
  uint8_t cTableLengths[1u << kCharTableBits];
  uint8_t ptTableLengths[1u << kSmallTableBits];
  uint16_t treeLeft[kTreeNodeCount];
  uint16_t treeRight[kTreeNodeCount];
  uint16_t blockSize;     // codes left in the current block
  uint16_t lh3BlockSize;  // the same for -lh3-, whose size field 0 stands for 65,536
};
extern HuffmanTables huffman;

// Bits a code uses beyond those its direct table already consumed. Only a damaged table
// can hold a shorter length there; nothing more is consumed then.
inline uint32_t bitsBeyond(uint32_t length, uint32_t consumed) {
  return length > consumed ? length - consumed : 0;
}

// Follows an overflow tree from node j, one bit of `bits` per step from `mask` down,
// until a symbol (below alphabet) is reached. Valid codes end within 16 bits; a walk that
// runs past them is damaged data (a half-built table or trees of another alphabet can
// even hold a cycle) and yields symbol 0, which the member's CRC-16 check then rejects.
inline uint16_t walkTree(uint16_t j, uint32_t alphabet, uint32_t bits, uint32_t mask) {
  const HuffmanTables& t = huffman;
  while (j >= alphabet) {
    if (mask == 0 || j >= kTreeNodeCount) return 0;
    j = (bits & mask) ? t.treeRight[j] : t.treeLeft[j];
    mask >>= 1;
  }
  return j;
}

// The next code of the character table (chars) or the small table and their trees: one
// lookup for codes of up to the table's width, the overflow trees for longer ones. The
// tables are named, not passed, so the lookups stay as cheap as written out in place.
inline uint16_t decodeTableCode(bool chars, uint32_t alphabet) {
  const HuffmanTables& t = huffman;
  const uint32_t tableBits = chars ? kCharTableBits : kSmallTableBits;
  uint16_t j = chars ? t.cTable[bitBuffer() >> (16 - kCharTableBits)]
                     : t.ptTable[bitBuffer() >> (16 - kSmallTableBits)];
  if (j < alphabet) {
    fillBits(chars ? t.cLen[j] : t.ptLen[j]);
  } else {
    fillBits(tableBits);
    j = walkTree(j, alphabet, bitBuffer(), 0x8000);
    fillBits(bitsBeyond(chars ? t.cLen[j] : t.ptLen[j], tableBits));
  }
  return j;
}

// A character code (alphabet 510, or 286 for -lh3-), and a code of the small table's
// current alphabet (positions).
inline uint16_t decodeCharCode(uint32_t alphabet) { return decodeTableCode(true, alphabet); }
inline uint16_t decodeSmallCode(uint32_t alphabet) { return decodeTableCode(false, alphabet); }

struct DecodeMethodRecord;

// Method start for -lh4- to -lh7-: every member begins with a block header.
void startStatic();
// The dictionary loop of -lh4- to -lh7-: block headers, then per code a literal byte
// (0..255) or a match length code (256..509) followed by its position.
void runStaticLoop(const DecodeMethodRecord& m);
// A block's code count and its three length lists; false for a zero count, which only
// damaged or exhausted data hold.
bool readStaticBlockHeader();

// -lh3-: 286 character codes (285 the escape, followed by 8 bits), 128 position codes.
void startLh3();
uint16_t decodeCharLh3();
void readCharLengthsLh3();
void readPositionLengthsLh3();

// Every entry of a table names value: a single-code table, which takes no bits per code.
void fillTable(uint16_t* table, uint32_t entries, uint16_t value);
// A single-code table (count 0, or -lh3-'s shortcut) names its one symbol. A value outside
// the alphabet is read as symbol 0: no encoder emits one for a code it uses, so a block
// that never uses the table decodes as meant, and one that does yields bytes the CRC-16
// check rejects.
inline uint16_t singleCode(uint16_t value, uint32_t alphabet) { return value < alphabet ? value : 0; }

void readPtLen(int16_t count, uint32_t countBits, int32_t specialIndex);
void readCLen();
// Fills table (2^tableBits entries) and the trees from a list of code lengths, and
// tableLengths (as many entries) when given; a bad list is reported ("Bad table (case
// a/b/c)"), stops the run and returns false.
bool makeTable(int16_t symbolCount, const uint8_t* lengths, uint32_t tableBits, uint16_t* table,
               uint8_t* tableLengths = nullptr);
