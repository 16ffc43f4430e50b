// -lh3-: the older block coding of the static Huffman tables, with its own header grammar
// (lengths in 4-bit fields, the fixed position code of -lh1- as an option), decoded code
// by code through the frame's loop. Its tables come from makeTable (static_huffman.cpp).
#include <cstring>

#include "lha/adaptive_huffman.h"
#include "lha/bits.h"
#include "lha/decode.h"
#include "lha/huffman.h"

namespace {

constexpr uint32_t kLh3CharCodeCount = 286;
constexpr uint32_t kLh3EscapeCode = 285;
// Width of the single-code value of each list: 9 bits name a character; a position high
// part takes 7 bits, the width jLHA writes (a 9-bit field misreads its archives whenever a
// block uses one position code, as long runs of one byte do).
constexpr uint32_t kLh3CharShortcutBits = 9;
constexpr uint32_t kLh3PositionShortcutBits = 7;

// Reads count lengths of an -lh3- list (characters: a presence bit, then 4 bits for
// length - 1; positions: 4 bits). When the first three are all 1, a value of valueBits
// follows instead of the rest, and every code of the block is that value: false then.
bool readLh3Lengths(uint8_t* lengths, uint32_t count, bool presenceBits, uint32_t valueBits, uint16_t* table,
                    uint32_t entries) {
  for (uint32_t i = 0; i < count; ++i) {
    if (presenceBits)
      lengths[i] = static_cast<uint8_t>(getBits(1) ? getBits(4) + 1 : 0);
    else
      lengths[i] = static_cast<uint8_t>(getBits(4));
    if (i == 2 && lengths[0] == 1 && lengths[1] == 1 && lengths[2] == 1) {
      uint16_t c = getBits(valueBits);
      std::memset(lengths, 0, count);
      fillTable(table, entries, singleCode(c, count));
      return false;
    }
  }
  return true;
}

}  // namespace

void startLh3() {
  initBitReader();
  huffman.lh3BlockSize = 0;
}

uint16_t decodeCharLh3() {
  HuffmanTables& t = huffman;
  if (t.lh3BlockSize == 0) [[unlikely]] {
    t.lh3BlockSize = getBits(16);  // 0: 65,536 codes, as the 16-bit count wraps below
    readCharLengthsLh3();
    if (getBits(1))
      readPositionLengthsLh3();
    else
      setFixedPositionLengths(1);
    // after a shortcut the lengths are all 0 and the table stays as the shortcut filled it
    makeTable(static_cast<int16_t>(decoderState.positionCodeCount), t.ptLen, kSmallTableBits, t.ptTable);
  }
  --t.lh3BlockSize;
  uint16_t j = decodeCharCode(kLh3CharCodeCount);
  if (j == kLh3EscapeCode) j = static_cast<uint16_t>(j + getBits(8));
  return j;
}

void readCharLengthsLh3() {
  HuffmanTables& t = huffman;
  if (readLh3Lengths(t.cLen, kLh3CharCodeCount, true, kLh3CharShortcutBits, t.cTable, 1u << kCharTableBits))
    makeTable(kLh3CharCodeCount, t.cLen, kCharTableBits, t.cTable);
}

void readPositionLengthsLh3() {
  HuffmanTables& t = huffman;
  readLh3Lengths(t.ptLen, decoderState.positionCodeCount, false, kLh3PositionShortcutBits, t.ptTable,
                 1u << kSmallTableBits);
}
