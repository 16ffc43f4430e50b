// The bit reader every compressed method except -lz5- takes its input from. The next
// unread bit of the stream is always the most significant bit of bitBuffer().
#pragma once
#include <cstdint>

// The window holds more bits than the 16 that bitBuffer() shows, so a refill happens per
// byte run instead of per code; what bitBuffer() shows is exactly the 16-bit reader's.
struct BitReader {
  uint64_t window;           // next unread bit at bit 63; below the valid bits, 0 or the next ones
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

// The window and its count as a decoder's hot loop holds them: in locals, which its stores
// into the dictionary cannot alias, so they stay in registers. dropBits takes the same
// bytes at the same moments as fillBits, so the stream and the check for spent packed
// bytes see no difference.
struct BitWindow {
  uint64_t window;
  uint32_t available;
};
inline BitWindow takeBitWindow() { return {bitReader.window, bitReader.available}; }
inline void putBitWindow(BitWindow w) {
  bitReader.window = w.window;
  bitReader.available = w.available;
}

// refillBits on a decoder's copy (available at most 56): the window with every whole byte
// that fits added, so the count grows to 64 - (64 - available) % 8.
uint64_t refillWindow(uint64_t window, uint32_t available);

inline void dropBits(BitWindow& w, uint32_t n) {
  w.window <<= n;
  w.available -= n;
  if (w.available < 32) {
    w.window = refillWindow(w.window, w.available);
    w.available = 64 - ((64 - w.available) & 7);
  }
}
// The next n bits (n from 0 to 16) of a decoder's copy, then discards them.
inline uint32_t takeBits(BitWindow& w, uint32_t n) {
  auto value = static_cast<uint32_t>(w.window >> 1 >> (63 - n));
  dropBits(w, n);
  return value;
}
