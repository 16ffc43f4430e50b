// Input side of the bit reader: at most packedSize bytes come from the archive, zero
// bytes after that, and 0xFF bytes when the file itself ends first.
#include "lha/bits.h"

#include "lha/stream.h"

BitReader bitReader;

void initBitReader() {
  bitReader.window = 0;
  bitReader.available = 0;
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
  while (r.available <= 56) {
    uint32_t byte = 0;
    if (r.packedRemaining != 0) {
      --r.packedRemaining;
      byte = static_cast<uint32_t>(archiveGetByte()) & 0xFF;
    }
    r.window |= static_cast<uint64_t>(byte) << (56 - r.available);
    r.available += 8;
  }
}
