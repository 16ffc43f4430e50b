#include "tools/package.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "startup/crc32.h"

uint32_t crc32Of(const uint8_t* bytes, size_t count) {
  buildCrc32Table();
  while (count > 0) {
    uint32_t n = count > 0x40000000 ? 0x40000000 : static_cast<uint32_t>(count);
    crc32Update(bytes, n);
    bytes += n;
    count -= n;
  }
  return crc32Value();
}

PackageInfo inspectPackage(const std::vector<uint8_t>& file) {
  PackageInfo info;
  std::span<const uint8_t> all(file);
  if (file.size() >= 0x40 && file[0] == 'M' && file[1] == 'Z') {
    size_t nt = file[0x3C] | file[0x3D] << 8;
    info.isExecutable = nt + 4 <= file.size() && std::memcmp(&file[nt], "PE\0\0", 4) == 0;
  }
  if (!info.isExecutable) return info;
  info.payloadOffset = findPayloadOffset(all.first(std::min(all.size(), kHeaderBytes)));
  info.hasPayload = info.payloadOffset != kNoPayload && file.size() > info.payloadOffset;
  if (!info.hasPayload) return info;
  std::span<const uint8_t> rest = all.subspan(info.payloadOffset);
  info.hasFullBlock = rest.size() >= kConfigBytes;
  info.blockValid = isValidConfig(rest);
  if (info.hasFullBlock) std::memcpy(&info.config, rest.data(), kConfigBytes);
  info.archiveOffset = uint64_t(info.payloadOffset) + kConfigBytes;
  if (info.hasFullBlock) {
    CheckedRange range = archiveCheckRange(all.first(std::min(all.size(), kHeaderBytes)), info.payloadOffset,
                                           file.size());
    info.isSigned = range.signedPackage;
    info.checkedEnd = range.end;
    info.archiveBytes = range.end - info.archiveOffset;
    // a signed package's last bytes are matched as the stub matches them
    uint64_t tail = info.isSigned ? std::min<uint64_t>(info.archiveBytes, kSigningPadding) : 0;
    crc32Of(file.data() + info.archiveOffset, info.archiveBytes - tail);
    info.archiveCrc32 = finishCrcBeforeTable(info.config.archiveCrc32, file.data() + range.end - tail,
                                             static_cast<uint32_t>(tail), &info.paddingLeftOut);
  }
  return info;
}

namespace {

bool putText(char* field, size_t width, const std::string& text, const char* name, std::string* why) {
  if (text.size() >= width) {
    if (why) *why = std::string(name) + " is " + std::to_string(text.size()) + " bytes; at most " +
                    std::to_string(width - 1) + " fit";
    return false;
  }
  std::memcpy(field, text.data(), text.size());
  return true;
}

}  // namespace

std::optional<SfxConfig> buildConfig(const PackageSettings& s, uint32_t archiveCrc, std::string* why) {
  SfxConfig c;
  std::memset(&c, 0, sizeof c);
  std::memcpy(c.magic, s.magic.data(), std::min<size_t>(s.magic.size(), sizeof c.magic));
  c.variant = s.variant;
  if (!putText(c.destinationPath, sizeof c.destinationPath, s.destinationPath, "destination", why) ||
      !putText(c.setupCommand, sizeof c.setupCommand, s.setupCommand, "setup command", why) ||
      !putText(c.promptTitle, sizeof c.promptTitle, s.promptTitle, "prompt title", why) ||
      !putText(c.promptText, sizeof c.promptText, s.promptText, "prompt text", why))
    return std::nullopt;
  c.noConfirm = s.noConfirm;
  c.openFolderAfter = s.openFolderAfter;
  c.deleteAfterSetup = s.deleteAfterSetup;
  c.skipDestinationDialog = s.skipDestinationDialog;
  c.archiveCrc32 = s.withCrc32 ? archiveCrc : 0;
  return c;
}

std::optional<std::vector<uint8_t>> assemblePackage(const std::vector<uint8_t>& stub, const SfxConfig& block,
                                                    const std::vector<uint8_t>& archive, std::string* why) {
  PackageInfo info = inspectPackage(stub);
  if (!info.isExecutable) {
    if (why) *why = "the stub is not a Windows executable";
    return std::nullopt;
  }
  if (info.payloadOffset != stub.size()) {
    if (why) *why = "the stub's sections end at " + std::to_string(info.payloadOffset) + " but the file has " +
                    std::to_string(stub.size()) + " bytes (already packed, or not stripped)";
    return std::nullopt;
  }
  std::vector<uint8_t> out(stub);
  const auto* b = reinterpret_cast<const uint8_t*>(&block);
  out.insert(out.end(), b, b + sizeof block);
  out.insert(out.end(), archive.begin(), archive.end());
  return out;
}

void padForSigning(size_t stubBytes, std::vector<uint8_t>& archive) {
  size_t total = stubBytes + kConfigBytes + archive.size();
  archive.resize(archive.size() + (8 - total % 8) % 8, 0);
}
