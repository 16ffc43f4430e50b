#include "startup/crc32.h"

Crc32State crc32State;

void buildCrc32Table() {
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t r = i;
    for (int k = 0; k < 8; k++) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    crc32State.table[i] = r;
  }
  crc32State.reg = 0xFFFFFFFFu;
}

void crc32Update(const uint8_t* bytes, uint32_t count) {
  uint32_t r = crc32State.reg;
  for (uint32_t i = 0; i < count; i++) r = crc32State.table[(r ^ bytes[i]) & 0xFF] ^ (r >> 8);
  crc32State.reg = r;
}
