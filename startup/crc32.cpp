#include "startup/crc32.h"

Crc32State crc32State;

void buildCrc32Table() {
  Crc32State& s = crc32State;
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t r = i;
    for (int k = 0; k < 8; k++) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    s.table[i] = r;
  }
  // slices[k][i]: byte i followed by k zero bytes, so eight bytes fold with eight lookups
  for (uint32_t i = 0; i < 256; i++) s.slices[0][i] = s.table[i];
  for (uint32_t k = 1; k < 8; k++)
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t r = s.slices[k - 1][i];
      s.slices[k][i] = (r >> 8) ^ s.table[r & 0xFF];
    }
  s.reg = 0xFFFFFFFFu;
}

void crc32Update(const uint8_t* bytes, uint32_t count) {
  const auto& t = crc32State.slices;
  uint32_t r = crc32State.reg;
  while (count >= 8) {
    uint32_t low = r ^ (static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                        static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
    r = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
        t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
    bytes += 8;
    count -= 8;
  }
  while (count--) r = crc32State.table[(r ^ *bytes++) & 0xFF] ^ (r >> 8);
  crc32State.reg = r;
}

uint32_t finishCrcBeforeTable(uint32_t expected, const uint8_t* tail, uint32_t count, uint32_t* leftOut) {
  uint32_t zerosFrom = count;
  while (zerosFrom > 0 && tail[zerosFrom - 1] == 0) --zerosFrom;
  for (uint32_t k = 0; k < count; ++k) {
    if (k >= zerosFrom && crc32Value() == expected) {
      *leftOut = count - k;
      return expected;
    }
    crc32Update(tail + k, 1);
  }
  *leftOut = 0;
  return crc32Value();
}
