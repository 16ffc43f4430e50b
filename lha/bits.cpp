// Input side of the bit reader: at most packedSize bytes come from the archive, zero
// bytes after that, and 0xFF bytes when the file itself ends first.
#include "lha/bits.h"

#include <bit>
#include <cstring>

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
  if (r.available > 56) return;  // no whole byte fits
  r.window = refillWindow(r.window, r.available);
  r.available = 64 - ((64 - r.available) & 7);
}

namespace {

// Byte by byte near the end of the packed bytes or of the stream's buffer, with the fed
// bytes and their check. Kept apart, so the loads above need no registers saved.
[[gnu::noinline]] uint64_t refillWindowSlowly(uint64_t window, uint32_t available) {
  BitReader& r = bitReader;
  // The fed bytes are the last ones in, so the window still holds those not taken. Once
  // the decoder has taken more of them than the look-ahead, the frame ends the member after
  // the code at hand (checked where the frame checks the member's size: no cost per code).
  if (r.fedBytes != 0 && 8 * r.fedBytes > available + kLookAheadBits) decoderState.outputLimit = 0;
  for (; available <= 56; available += 8) {
    uint32_t byte = 0;
    int32_t got = -1;
    if (r.packedRemaining != 0) {
      --r.packedRemaining;
      got = archiveGetByte();
      byte = static_cast<uint32_t>(got) & 0xFF;  // 0xFF once the file itself has ended
    }
    if (got < 0) ++r.fedBytes;
    window |= static_cast<uint64_t>(byte) << (56 - available);
  }
  return window;
}

}  // namespace

uint64_t refillWindow(uint64_t window, uint32_t available) {
  BitReader& r = bitReader;
  ArchiveStream& s = archiveStream;
  if (r.packedRemaining < 8 || s.filled - s.position < 8) return refillWindowSlowly(window, available);
  // Eight bytes in one load: those beyond the ones taken are the stream's next bytes, and
  // stay below the window's valid bits until they are taken.
  uint64_t v;
  std::memcpy(&v, s.buffer + s.position, 8);
  // the stream is most significant bit first
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  uint32_t wanted = (64 - available) >> 3;  // whole bytes that fit
  s.position += wanted;
  r.packedRemaining -= wanted;
  return window | v >> available;
}
