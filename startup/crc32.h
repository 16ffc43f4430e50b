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
