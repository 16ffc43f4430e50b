// Reading an LHA archive (plain or behind a self-extracting stub) for list and test.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "lha/header.h"

struct ArchiveMember {
  MemberHeader header;
  uint32_t headerOffset;
  uint32_t dataOffset;
};

struct ArchiveScan {
  std::vector<ArchiveMember> members;
  uint32_t firstOffset = 0;
  int64_t payloadOffset = -1;   // a package: where its payload begins behind the stub
  int64_t archiveEnd = 0;       // end of the file, or a signed package's certificate table
  int64_t damagedAt = -1;       // offset of a header that is neither a member nor the end
  std::vector<std::string> scanNotes;  // what the core showed for candidates before the first
  unsigned codePage = 1252;
};

enum class ScanResult { ok, cannotOpen, notArchive };

// Opens path as archiveStream, finds the first header from offset 0 and reads every
// member header after it. codePageOption: "", "932" or "1252" ("" guesses from the paths).
// The stream stays open for decoding.
ScanResult scanArchive(const std::string& path, const std::string& codePageOption, ArchiveScan& scan);

// Messages the core showed (header and table errors) since the last call.
std::vector<std::string> takeCoreMessages();
void collectCoreMessages();

// Decodes one member of the open archive (into `out` when it is not null, which is then
// closed) and checks its CRC-16 and length: what is wrong with it, empty when it is good.
std::string testMember(const ArchiveMember& member, FILE* out);

// The line that names a damaged header ("" when there is none): the members behind it
// cannot be read.
std::string damageLine(const ArchiveScan& scan);

// The member's path as read (UTF-8, '\\' between names).
std::string memberPathUtf8(const MemberHeader& header);
std::string formatTimeStamp(const MemberHeader& header);
bool isDirectoryEntry(const MemberHeader& header);
