// Input side of the bit reader: at most packedSize bytes come from the archive, zero
// bytes after that, and 0xFF bytes when the file itself ends first.
#include "lha/bits.h"

#include "lha/decode.h"
#include "lha/stream.h"

BitReader bitReader;

namespace {
// Bits a decoder may take beyond its packed bytes before its member is over: a 16-bit
// reader with a pending byte reads three bytes ahead, and some writers leave the last
// bits of a stream unwritten.
constexpr uint32_t kLookAheadBits = 32;
}  // namespace

void startPackedInput(uint32_t packedSize) {
  bitReader.packedRemaining = packedSize;
  bitReader.fedBytes = 0;
}

void initBitReader() {
  bitReader.window = 0;
  bitReader.available = 0;
  bitReader.fedBytes = 0;
  refillBits();
}

void refillBits() {
  BitReader& r = bitReader;
  ArchiveStream& s = archiveStream;
  uint32_t wanted = (64 - r.available) >> 3;  // whole bytes that fit
  if (wanted == 0) return;
  if (r.packedRemaining >= wanted && s.filled - s.position >= 8) {
    const uint8_t* p = s.buffer + s.position;
    uint64_t v = static_cast<uint64_t>(p[0]) << 56 | static_cast<uint64_t>(p[1]) << 48 |
                 static_cast<uint64_t>(p[2]) << 40 | static_cast<uint64_t>(p[3]) << 32 |
                 static_cast<uint64_t>(p[4]) << 24 | static_cast<uint64_t>(p[5]) << 16 |
                 static_cast<uint64_t>(p[6]) << 8 | static_cast<uint64_t>(p[7]);
    v &= ~uint64_t{0} << (64 - 8 * wanted);
    r.window |= v >> r.available;
    r.available += 8 * wanted;
    s.position += wanted;
    r.packedRemaining -= wanted;
    return;
  }
  // The fed bytes are the last ones in, so the window still holds those not taken. Once
  // the decoder has taken more of them than the look-ahead, the frame ends the member after
  // the code at hand (checked where the frame checks the member's size: no cost per code).
  if (r.fedBytes != 0 && 8 * r.fedBytes > r.available + kLookAheadBits) decoderState.outputLimit = 0;
  while (r.available <= 56) {
    uint32_t byte = 0;
    int32_t got = -1;
    if (r.packedRemaining != 0) {
      --r.packedRemaining;
      got = archiveGetByte();
      byte = static_cast<uint32_t>(got) & 0xFF;  // 0xFF once the file itself has ended
    }
    if (got < 0) ++r.fedBytes;
    r.window |= static_cast<uint64_t>(byte) << (56 - r.available);
    r.available += 8;
  }
}
