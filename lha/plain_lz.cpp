// -lzs- and -lz5-. Both store a match's position as an absolute place in the ring, which
// the frame's "p + 1 bytes back" form reaches by subtracting it from writePos.
#include "lha/plain_lz.h"

#include <cstring>

#include "lha/bits.h"
#include "lha/decode.h"
#include "lha/stream.h"

LzState lzState;

namespace {

// -lz5- reads the archive directly. It takes no more than the member's packed bytes, and
// running out of them (or of the file) ends the member: damaged data can neither decode
// the next member's header as data nor turn the end-of-file value into codes.
inline int32_t nextPackedByte() {
  uint32_t& left = bitReader.packedRemaining;
  if (left == 0) return -1;
  --left;
  return archiveGetByte();
}

}  // namespace

void startLzs() { initBitReader(); }

// A 1 bit and a literal byte, or a 0 bit, 11 bits of position and 4 of length - 2: either
// way within the 16 bits the reader shows.
uint16_t decodeCharLzs() {
  uint32_t bits = bitBuffer();
  if (bits & 0x8000) {
    fillBits(9);
    return static_cast<uint16_t>((bits >> 7) & 0xFF);
  }
  fillBits(16);
  lzState.storedPosition = (bits >> 4) & 0x7FF;
  return static_cast<uint16_t>((bits & 0xF) + 256);
}

uint16_t decodePositionLzs() {
  // the copy starts at ring index storedPosition + 17
  return static_cast<uint16_t>((decoderState.writePos - lzState.storedPosition - 18) & 0x7FF);
}

void startLz5() {
  lzState.lz5FlagsLeft = 0;
  // Bytes 0..17 are where LArc's own ring starts writing (its position 0xFEE) and hold
  // zeros there: archives that copy them before they are written check with zeros in
  // LArc 3.33 and LHA for MS-DOS, as in lhasa. Bytes 3986..4095 keep the frame's spaces.
  uint8_t* d = decoderState.dictionary;
  std::memset(d, 0, 18);
  for (uint32_t v = 0; v < 256; ++v) {
    std::memset(d + 18 + 13 * v, static_cast<int>(v), 13);
    d[3346 + v] = static_cast<uint8_t>(v);
    d[3602 + v] = static_cast<uint8_t>(255 - v);
  }
  std::memset(d + 3858, 0, 128);
}

// One flag byte for eight codes, least significant flag first: 1 a literal byte, 0 a
// match in two bytes (position low 8 bits; position high 4 bits and length - 3).
uint16_t decodeCharLz5() {
  LzState& z = lzState;
  if (z.lz5FlagsLeft == 0) {
    int32_t flags = nextPackedByte();
    if (flags < 0) return kEndOfMemberCode;
    z.lz5Flags = flags;
    z.lz5FlagsLeft = 8;
  }
  --z.lz5FlagsLeft;
  int32_t b = nextPackedByte();
  if (b < 0) return kEndOfMemberCode;
  uint32_t code = static_cast<uint32_t>(b);
  if (!(z.lz5Flags & 1)) {
    int32_t b2 = nextPackedByte();
    if (b2 < 0) return kEndOfMemberCode;
    z.storedPosition = code | (static_cast<uint32_t>(b2) & 0xF0) << 4;
    code = (static_cast<uint32_t>(b2) & 0x0F) + 256;
  }
  z.lz5Flags >>= 1;
  return static_cast<uint16_t>(code);
}

uint16_t decodePositionLz5() {
  // the copy starts at ring index storedPosition + 18
  return static_cast<uint16_t>((decoderState.writePos - lzState.storedPosition - 19) & 0xFFF);
}
