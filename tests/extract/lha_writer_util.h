// A small LHA archive writer for tests: header levels 0, 1 and 2, stored (-lh0-) data,
// correct level-0/1 checksums, level-2 header CRC and data CRC-16. Paths are raw bytes, so
// a test can store any separator (0xFF, '\', '/') and any hostile text.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct LhaMember {
  int level = 0;
  std::string directory;       // levels 1 and 2: extended header 2 (empty: none)
  std::string name;            // level 0: the whole stored path
  std::string data;            // stored as -lh0-
  std::string method = "-lh0-";
  uint8_t attribute = 0x20;
  uint32_t timeStamp = 0x3A244E65;  // levels 0/1: DOS stamp; level 2: Unix time
  uint32_t codePage = 0;            // levels 1/2: extended header 0x46 when not 0
};

// CRC-16/ARC of a byte run.
uint16_t lhaCrc16(const std::string& bytes);

// One member's header and data.
std::string lhaMemberBytes(const LhaMember& member);
// All members followed by the archive's end mark (a zero byte).
std::string lhaArchiveBytes(const std::vector<LhaMember>& members);
