// -lzs- and -lz5-: plain LZ methods without Huffman codes. -lzs- takes fixed-width fields
// from the bit reader; -lz5- takes whole bytes from the archive and starts from a
// dictionary pre-filled with runs and ramps of every byte value.
#pragma once
#include <cstdint>

struct LzState {
  uint32_t storedPosition;  // absolute ring position read with the last match code
  int32_t lz5Flags;         // -lz5-: the current flag byte, shifted right after every code
  uint32_t lz5FlagsLeft;    // flags left in lz5Flags
};
extern LzState lzState;

void startLzs();
uint16_t decodeCharLzs();
uint16_t decodePositionLzs();

void startLz5();
uint16_t decodeCharLz5();
uint16_t decodePositionLz5();
