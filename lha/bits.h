// The bit reader every compressed method except -lz5- takes its input from. The next
// unread bit of the stream is always the most significant bit of bitBuffer().
#pragma once
#include <cstdint>

// The window holds more bits than the 16 that bitBuffer() shows, so a refill happens per
// byte run instead of per code; what bitBuffer() shows is exactly the 16-bit reader's.
struct BitReader {
  uint64_t window;           // next unread bit at bit 63
  uint32_t available;        // valid bits at the top of window (>= 32 after every call)
  uint32_t packedRemaining;  // packed bytes that may still be taken from the archive
  uint32_t fedBytes;         // bytes fed after the packed bytes or the file ran out
};
extern BitReader bitReader;

void initBitReader();
// A member's input starts: packedSize bytes may be read, none fed in their place yet.
void startPackedInput(uint32_t packedSize);
void refillBits();  // tops the window up to at least 57 valid bits

// The next 16 bits of the stream.
inline uint16_t bitBuffer() { return static_cast<uint16_t>(bitReader.window >> 48); }

// Discards the next n bits (n from 0 to 32).
inline void fillBits(uint32_t n) {
  BitReader& r = bitReader;
  r.window <<= n;
  r.available -= n;
  if (r.available < 32) refillBits();
}

// The next n bits (n from 0 to 16) as a number, then discards them.
inline uint16_t getBits(uint32_t n) {
  uint16_t value = static_cast<uint16_t>(bitReader.window >> 1 >> (63 - n));
  fillBits(n);
  return value;
}
