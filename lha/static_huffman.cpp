// -lh4-, -lh5-, -lh6-, -lh7-: block-coded static Huffman over an LZ dictionary. The
// methods differ only in the parameters of their rows in the method table. The length
// lists and makeTable serve -lh3- (lh3.cpp) too.
#include <cstring>

#include "extract/run_state.h"
#include "lha/bits.h"
#include "lha/decode.h"
#include "lha/stream.h"
#include "lha/huffman.h"
#include "ui/messages.h"

HuffmanTables huffman;

namespace {

void reportBadTable(Message message) {
  showMessage(message);
  stopRun(kRunFailed);
}

}  // namespace

void fillTable(uint16_t* table, uint32_t entries, uint16_t value) {
  for (uint32_t k = 0; k < entries; ++k) table[k] = value;
}

void startStatic() {
  initBitReader();
  huffman.blockSize = 0;
}

bool readStaticBlockHeader() {
  HuffmanTables& t = huffman;
  t.blockSize = getBits(16);
  if (t.blockSize == 0) return false;
  readPtLen(kCodeLengthCodeCount, 5, 3);
  readCLen();
  readPtLen(static_cast<int16_t>(decoderState.positionCodeCount), decoderState.positionCountBits, kNoSpecialIndex);
  return true;
}

namespace {

// The tree walk of a code longer than its table's width, from the bits past the table's.
// Out of the loop's way: it is rare, and inline its registers would crowd the loop's.
[[gnu::noinline]] uint16_t walkLongCode(uint16_t node, uint32_t alphabet, uint32_t bits) {
  return walkTree(node, alphabet, bits, 0x8000);
}

// decodeTableCode on the loop's own window: the same steps, so refills fall where they
// always did.
inline uint16_t decodeCode(BitWindow& w, const uint16_t* table, const uint8_t* tableLengths, const uint8_t* lengths,
                           uint32_t tableBits, uint32_t alphabet) {
  const auto k = static_cast<uint32_t>(w.window >> (64 - tableBits));
  uint16_t j = table[k];
  if (j < alphabet) [[likely]] {
    dropBits(w, tableLengths[k]);
    return j;
  }
  j = walkLongCode(j, alphabet, static_cast<uint32_t>(w.window << tableBits >> 48));
  dropBits(w, tableBits);
  dropBits(w, bitsBeyond(lengths[j], tableBits));
  return j;
}

// p = match distance - 1: a position code j, then j - 1 bits below its leading 1 (none
// for codes 0 and 1, whose p is j).
inline uint32_t decodePosition(BitWindow& w, uint32_t alphabet) {
  const HuffmanTables& t = huffman;
  uint32_t j = decodeCode(w, t.ptTable, t.ptTableLengths, t.ptLen, kSmallTableBits, alphabet);
  return ((1u << j) >> 1) + takeBits(w, j - (j != 0));
}

// The longest match, which one code can make.
constexpr uint32_t kLongestMatch = 256;

// How many codes the reader has bytes at hand for: a code takes at most 47 bits (16 for
// the character, 16 for the position code, 15 below it), so none of them meets the slow
// refill, the only place that feeds bytes or ends the member for spent input.
uint32_t codesAtHand() {
  const ArchiveStream& s = archiveStream;
  uint32_t bytes = s.filled - s.position;
  if (bitReader.packedRemaining < bytes) bytes = bitReader.packedRemaining;
  return bytes >= 8 ? (bytes - 8) >> 3 : 0;
}

inline void copyEightBytes(uint8_t* out, const uint8_t* in) {
  uint64_t v;
  std::memcpy(&v, in, 8);
  std::memcpy(out, &v, 8);
}

// A match whose source wraps around the ring's end, byte by byte (a few per ring).
void copyAroundRingEnd(uint8_t* out, const uint8_t* ring, uint32_t ringSize, uint32_t source, uint32_t length) {
  for (uint32_t k = 0; k < length; ++k) {
    out[k] = ring[source];
    if (++source == ringSize) source = 0;
  }
}

// Copies a match to out in a ring of two dictionaries, where everything within a
// dictionary ahead of the write position is dead: the copy may run past the match (and
// past the ring's end, into the slack) eight bytes at a time, sixteen at least. Returns
// the match's end.
inline uint8_t* copyStaticMatch(uint8_t* out, const uint8_t* ring, uint32_t ringSize, uint32_t distance,
                                uint32_t length) {
  uint8_t* const end = out + length;
  const uint8_t* in = out - distance;
  if (distance > static_cast<uint32_t>(out - ring)) {  // the source starts behind the ring's end
    uint32_t source = static_cast<uint32_t>(out - ring) + ringSize - distance;
    if (source + length > ringSize) [[unlikely]] {
      copyAroundRingEnd(out, ring, ringSize, source, length);
      return end;
    }
    in = ring + source;
  } else if (distance < 8) {
    // A source closer than eight bytes repeats with its period: once the first bytes are
    // out, the same bytes stand a multiple of the period back, at least eight bytes back.
    uint32_t period = distance;
    while (period < 8) period += distance;
    uint32_t head = period < length ? period : length;
    for (uint32_t k = 0; k < head; ++k) out[k] = in[k];
    if (head == length) return end;  // the copy below would read before the match
    out += head;
    in = out - period;
    length -= head;
  }
  // most matches are done with the first sixteen
  copyEightBytes(out, in);
  copyEightBytes(out + 8, in + 8);
  for (uint32_t k = 16; k < length; k += 8) copyEightBytes(out + k, in + k);
  return end;
}

// The member's last bytes, short of a full dictionary; none is no write.
void writeRest(const uint8_t* bytes, uint32_t count) {
  if (count != 0) writeOutput(bytes, count);
}

}  // namespace

void runStaticLoop(const DecodeMethodRecord& m) {
  DecoderState& d = decoderState;
  const HuffmanTables& t = huffman;
  uint8_t* const ring = d.dictionary;
  const uint32_t size = d.dictionarySize;
  const uint32_t ringSize = 2 * size;
  const uint32_t positionCodes = d.positionCodeCount;
  const uint32_t lengthOffset = m.lengthOffset;
  // The ring holds two dictionaries, written out a dictionary at a time; the first goes to
  // the upper half, so the lower (the frame's spaces) is the history before the member.
  uint32_t writePos = size;
  uint32_t flushAt = ringSize;
  uint32_t produced = 0;
  uint32_t codesLeft = huffman.blockSize;
  BitWindow w = takeBitWindow();
  for (;;) {
    if (readRunStatus() != kRunGoing) break;  // what the ring still holds is dropped
    if (codesLeft == 0) [[unlikely]] {
      putBitWindow(w);
      bool more = readStaticBlockHeader();
      w = takeBitWindow();
      codesLeft = huffman.blockSize;
      // A zero block size ends the member here: the bytes decoded so far are written and
      // the CRC-16 check decides. A bad table has stopped the run.
      if (!more) {
        writeRest(ring + flushAt - size, writePos - (flushAt - size));
        break;
      }
      if (readRunStatus() != kRunGoing) break;
    }
    // The codes run without the checks between them while a longest match still fits
    // before the next write and before the member's size, and the reader has their bytes
    // at hand: no write and no end of the member can come among them. Near those ends
    // they go one at a time.
    uint32_t room = flushAt - writePos;
    if (d.outputLimit - produced < room) room = d.outputLimit - produced;
    uint32_t unchecked = room > kLongestMatch ? codesAtHand() : 0;
    if (unchecked > codesLeft) unchecked = codesLeft;
    const uint8_t* const stop = ring + (unchecked != 0 ? writePos + room - kLongestMatch : 0);
    const uint32_t codes = unchecked != 0 ? unchecked : 1;
    const uint32_t start = writePos;
    uint8_t* out = ring + writePos;
    uint32_t left = codes;
    do {
      uint32_t c = decodeCode(w, t.cTable, t.cTableLengths, t.cLen, kCharTableBits, kCharCodeCount);
      if (c <= 255) {
        *out++ = static_cast<uint8_t>(c);
      } else {
        uint32_t length = c - lengthOffset;
        // Damaged data may name a distance beyond the dictionary: it is taken modulo the
        // dictionary size.
        uint32_t distance = (decodePosition(w, positionCodes) & (size - 1)) + 1;
        out = copyStaticMatch(out, ring, ringSize, distance, length);
      }
    } while (--left != 0 && out < stop);
    writePos = static_cast<uint32_t>(out - ring);
    codesLeft -= codes - left;
    produced += writePos - start;
    if (writePos >= flushAt) {
      writeOutput(ring + flushAt - size, size);
      flushAt = flushAt == ringSize ? size : ringSize;
      if (writePos >= ringSize) {  // what ran past the ring's end belongs at its start
        std::memcpy(ring, ring + ringSize, writePos - ringSize);
        writePos -= ringSize;
      }
    }
    if (produced >= d.outputLimit) {  // a member cut short fails its length or CRC-16 check
      writeRest(ring + flushAt - size, writePos - (flushAt - size));
      break;
    }
  }
  putBitWindow(w);
  huffman.blockSize = static_cast<uint16_t>(codesLeft);
}

// --- length lists and tables ---

void readPtLen(int16_t count, uint32_t countBits, int32_t specialIndex) {
  HuffmanTables& t = huffman;
  uint32_t n = getBits(countBits);
  if (n == 0) {
    uint16_t c = getBits(countBits);
    std::memset(t.ptLen, 0, static_cast<size_t>(count));
    fillTable(t.ptTable, 1u << kSmallTableBits, singleCode(c, static_cast<uint32_t>(count)));
    std::memset(t.ptTableLengths, 0, sizeof t.ptTableLengths);
    return;
  }
  // Counts beyond the alphabet are read and their lengths ignored.
  uint32_t limit = n < kMaxSmallLengths ? n : kMaxSmallLengths;
  uint32_t i = 0;
  while (i < limit) {
    uint32_t c = bitBuffer() >> 13;
    if (c < 7) {
      fillBits(3);
    } else {
      // 7 and more: 111, one 1 bit per length above 7, a closing 0
      for (uint32_t mask = 1u << 12; bitBuffer() & mask; mask >>= 1) ++c;
      fillBits(c - 3);
    }
    t.ptLen[i++] = static_cast<uint8_t>(c);
    if (static_cast<int32_t>(i) == specialIndex) {
      for (uint32_t z = getBits(2); z > 0 && i < kMaxSmallLengths; --z) t.ptLen[i++] = 0;
    }
  }
  while (i < static_cast<uint32_t>(count)) t.ptLen[i++] = 0;
  makeTable(count, t.ptLen, kSmallTableBits, t.ptTable, t.ptTableLengths);
}

void readCLen() {
  HuffmanTables& t = huffman;
  uint32_t n = getBits(9);
  if (n == 0) {
    uint16_t c = getBits(9);
    std::memset(t.cLen, 0, sizeof t.cLen);
    fillTable(t.cTable, 1u << kCharTableBits, singleCode(c, kCharCodeCount));
    std::memset(t.cTableLengths, 0, sizeof t.cTableLengths);
    return;
  }
  uint32_t limit = n < kCharCodeCount ? n : kCharCodeCount;
  uint32_t i = 0;
  while (i < limit) {
    uint16_t c = t.ptTable[bitBuffer() >> 8];
    // the first 8 bits are still in place, so the walk starts at the ninth
    if (c >= kCodeLengthCodeCount) c = walkTree(c, kCodeLengthCodeCount, bitBuffer(), 0x80);
    fillBits(t.ptLen[c]);
    if (c >= 3) {
      t.cLen[i++] = static_cast<uint8_t>(c - 2);
      continue;
    }
    uint32_t zeros = c == 0 ? 1 : c == 1 ? getBits(4) + 3u : getBits(9) + 20u;
    // A zero run past the last symbol is cut at the end of the list.
    if (zeros > kCharCodeCount - i) zeros = kCharCodeCount - i;
    std::memset(t.cLen + i, 0, zeros);
    i += zeros;
  }
  if (i < kCharCodeCount) std::memset(t.cLen + i, 0, kCharCodeCount - i);
  makeTable(kCharCodeCount, t.cLen, kCharTableBits, t.cTable, t.cTableLengths);
}

bool makeTable(int16_t symbolCount, const uint8_t* lengths, uint32_t tableBits, uint16_t* table,
               uint8_t* tableLengths) {
  HuffmanTables& t = huffman;
  const auto symbols = static_cast<uint32_t>(symbolCount < 0 ? 0 : symbolCount);
  uint32_t count[17] = {};
  for (uint32_t s = 0; s < symbols; ++s) {
    if (lengths[s] > 16) {
      reportBadTable(Message::badTableA);
      return false;
    }
    ++count[lengths[s]];
  }
  // Codes are canonical: start[len] is the first code of each length, left-aligned in
  // 16 bits. A complete code ends exactly at 65,536, which is 0 in 16 bits.
  uint16_t start[18];
  start[1] = 0;
  for (uint32_t len = 1; len <= 16; ++len)
    start[len + 1] = static_cast<uint16_t>(start[len] + (count[len] << (16 - len)));
  if (start[17] != 0) {
    reportBadTable(Message::badTableB);
    return false;
  }

  const uint32_t m = 16 - tableBits;
  const uint32_t tableSize = 1u << tableBits;
  // A list without codes leaves the table as it was, its symbols now taking no bits.
  if (tableLengths && count[0] == symbols) std::memset(tableLengths, 0, tableSize);
  uint32_t weight[17];
  for (uint32_t len = 1; len <= tableBits; ++len) {
    start[len] = static_cast<uint16_t>(start[len] >> m);
    weight[len] = 1u << (tableBits - len);
  }
  for (uint32_t len = tableBits + 1; len <= 16; ++len) weight[len] = 1u << (16 - len);

  // the slots from which overflow trees grow start out empty
  uint32_t j = static_cast<uint32_t>(start[tableBits + 1] >> m);
  for (uint32_t k = j; j != 0 && k < tableSize; ++k) table[k] = 0;

  uint32_t avail = symbols;
  const uint32_t testBit = 1u << (15 - tableBits);
  for (uint32_t s = 0; s < symbols; ++s) {
    uint32_t len = lengths[s];
    if (len == 0) continue;
    uint32_t next = start[len] + weight[len];
    if (len <= tableBits) {
      // An over-full list whose 16-bit total wrapped to 0 passes the test above but
      // runs past the table's end; it is a bad table like a tree slot beyond it.
      if (next > tableSize) {
        reportBadTable(Message::badTableC);
        return false;
      }
      for (uint32_t k = start[len]; k < next; ++k) table[k] = static_cast<uint16_t>(s);
      if (tableLengths) std::memset(tableLengths + start[len], static_cast<int>(len), next - start[len]);
    } else {
      uint32_t i = start[len];
      if ((i >> m) >= tableSize) {
        reportBadTable(Message::badTableC);
        return false;
      }
      uint16_t* slot = &table[i >> m];
      for (uint32_t step = tableBits; step < len; ++step) {
        if (*slot == 0) {
          // Trees of valid codes fit the node arrays; over-full ones are bad tables.
          if (avail >= kTreeNodeCount) {
            reportBadTable(Message::badTableC);
            return false;
          }
          t.treeLeft[avail] = t.treeRight[avail] = 0;
          *slot = static_cast<uint16_t>(avail++);
        }
        slot = (i & testBit) ? &t.treeRight[*slot] : &t.treeLeft[*slot];
        i <<= 1;
      }
      *slot = static_cast<uint16_t>(s);
    }
    start[len] = static_cast<uint16_t>(next);
  }
  return true;
}
