// CRC-32 of the archive part of a package (reflected polynomial 0xEDB88320, the CRC of
// ZIP and Ethernet). One process-wide table and register.
#pragma once
#include <cstdint>

struct Crc32State {
  uint32_t table[256];
  uint32_t slices[8][256];  // for eight bytes per step; the same CRC as the byte table
  uint32_t reg;
};
extern Crc32State crc32State;

// Fills the table and sets the register to 0xFFFFFFFF.
void buildCrc32Table();
void crc32Update(const uint8_t* bytes, uint32_t count);
// The register's final value (XOR 0xFFFFFFFF).
inline uint32_t crc32Value() { return crc32State.reg ^ 0xFFFFFFFFu; }

// The end of a signed package's CRC-32 range. A package assembled by hand and then signed
// has up to 7 zero bytes between its archive and the certificate table: the signing tool
// pads the file to 8 bytes first. With the register over the range up to `tail` (its last
// `count` bytes, at most 7), the CRC is taken at the table and at every place in the tail
// from which only zero bytes follow, in one pass. Returns the value that matches
// `expected`, or the one at the table; *leftOut: the zero bytes the match left out.
uint32_t finishCrcBeforeTable(uint32_t expected, const uint8_t* tail, uint32_t count, uint32_t* leftOut);
constexpr uint32_t kSigningPadding = 7;
