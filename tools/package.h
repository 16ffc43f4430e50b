// Reading and assembling self-extracting packages on the host:
// stub image | 512-byte configuration block | LHA archive.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "startup/payload.h"

struct PackageInfo {
  bool isExecutable = false;      // "MZ" header and "PE\0\0" signature
  uint32_t payloadOffset = kNoPayload;
  bool hasPayload = false;        // file larger than payloadOffset
  bool hasFullBlock = false;      // 512 bytes behind payloadOffset
  bool blockValid = false;        // ... and the magic matches
  SfxConfig config{};             // as stored (valid only when hasFullBlock)
  uint64_t archiveOffset = 0;     // payloadOffset + 512
  uint64_t archiveBytes = 0;
  bool isSigned = false;          // a certificate table behind the archive, to the end
  uint64_t checkedEnd = 0;        // where the range of the CRC-32 ends
  uint32_t archiveCrc32 = 0;      // CRC-32 of the checked range
  uint32_t paddingLeftOut = 0;    // signed by hand: zero bytes before the table the match left out
};

PackageInfo inspectPackage(const std::vector<uint8_t>& file);

uint32_t crc32Of(const uint8_t* bytes, size_t count);

// Settings a package carries; texts are already in the block's code page.
struct PackageSettings {
  char variant = '3';
  std::string magic = "TORVEX";   // tests write other magics to exercise the fallback
  std::string destinationPath, setupCommand, promptTitle, promptText;
  uint32_t noConfirm = 0, openFolderAfter = 1, deleteAfterSetup = 0, skipDestinationDialog = 0;
  bool withCrc32 = true;
};

// Builds the block; nullopt (and a reason) when a text does not fit its field.
std::optional<SfxConfig> buildConfig(const PackageSettings& settings, uint32_t archiveCrc, std::string* why);

// stub + block + archive. Fails when the stub carries anything behind its last section.
// Zeros behind the archive (after its end mark, where readers stop) up to a package of a
// multiple of 8 bytes: a signing tool pads to that before it appends its certificate
// table, and padding after the CRC-32 was taken would break the check.
void padForSigning(size_t stubBytes, std::vector<uint8_t>& archive);

std::optional<std::vector<uint8_t>> assemblePackage(const std::vector<uint8_t>& stub, const SfxConfig& block,
                                                    const std::vector<uint8_t>& archive, std::string* why);
