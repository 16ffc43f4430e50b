// Member headers as readMemberHeader reads them back: levels 0, 1 and 2. Host tool only.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct MemberRecord {
  uint8_t level = 2;                      // 0, 1 or 2
  const char* methodId = "-lh5-";         // five characters: "-lh5-", "-lh0-", "-lhd-" ...
  std::span<const std::string> folders;   // the folders above the member, outermost first
  std::string_view name;                  // the file name; empty for a folder entry
  uint32_t packedSize = 0;                // of the data alone
  uint32_t originalSize = 0;
  uint32_t timeStamp = 0;                 // levels 0 and 1: local MS-DOS date-time; level 2: Unix time
  uint8_t attribute = 0x20;
  uint16_t dataCrc = 0;
  uint32_t codePage = 0;                  // of the names: 0 (ASCII), 932 or 65001 (UTF-8)
};
// Names are stored bytes (ASCII, code page 932 or UTF-8) without 0xFF and without '\'; a
// folder entry is the folder's own path, its last component in `folders`. At levels 1
// and 2 a code page is named in extended header 0x46, so every reader takes the names as
// written; level 0 has no room for it: its names are ASCII or code page 932, read in the
// reader's own code page.
//
// Where each part goes: level 0 holds the whole path in its name field, folders
// separated and a folder entry ended by '\'; levels 1 and 2 hold the folders in a
// directory extended header, each followed by 0xFF, and the name in the base header
// (level 1) or a name extended header (level 2).

// Appends the header to `out`; false, with a reason, when the record does not fit the
// level (a name too long for it, a size its fields cannot hold, a byte the path may not
// contain).
bool appendMemberHeader(const MemberRecord& record, std::vector<uint8_t>& out, std::string* why);
