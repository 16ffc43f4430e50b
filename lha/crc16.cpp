// CRC-16/ARC of header and member data.
#include "lha/header.h"

Crc16State crc16State;
uint16_t runningCrc16;

void buildCrc16Table() {
  Crc16State& s = crc16State;
  for (uint32_t i = 0; i < 256; ++i) {
    uint16_t r = static_cast<uint16_t>(i);
    for (int k = 0; k < 8; ++k) r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0xA001) : static_cast<uint16_t>(r >> 1);
    s.table[0][i] = r;
  }
  // table[k][i]: byte i followed by k zero bytes, so sixteen bytes fold with sixteen
  // lookups: the steps the running value waits for are half as many as with eight
  for (uint32_t k = 1; k < 16; ++k)
    for (uint32_t i = 0; i < 256; ++i) {
      uint16_t r = s.table[k - 1][i];
      s.table[k][i] = static_cast<uint16_t>((r >> 8) ^ s.table[0][r & 0xFF]);
    }
  s.built = true;
}

uint16_t crc16Continue(uint16_t running, const uint8_t* bytes, uint32_t count) {
  const auto& t = crc16State.table;
  uint32_t crc = running;
  while (count >= 16) {
    crc ^= static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8;
    crc = t[15][crc & 0xFF] ^ t[14][crc >> 8] ^ t[13][bytes[2]] ^ t[12][bytes[3]] ^ t[11][bytes[4]] ^
          t[10][bytes[5]] ^ t[9][bytes[6]] ^ t[8][bytes[7]] ^ t[7][bytes[8]] ^ t[6][bytes[9]] ^ t[5][bytes[10]] ^
          t[4][bytes[11]] ^ t[3][bytes[12]] ^ t[2][bytes[13]] ^ t[1][bytes[14]] ^ t[0][bytes[15]];
    bytes += 16;
    count -= 16;
  }
  while (count--) crc = t[0][(crc ^ *bytes++) & 0xFF] ^ (crc >> 8);
  return static_cast<uint16_t>(crc);
}

void crc16Update(const uint8_t* bytes, uint32_t count) { runningCrc16 = crc16Continue(runningCrc16, bytes, count); }
