#include "startup/payload.h"

#include <cstring>

#include "extract/paths.h"
#include "lha/stream.h"
#include "startup/settings.h"
#include "sys/process.h"
#include "sys/text.h"
#include "ui/messages.h"

StartupState startupState;

namespace {

uint16_t read16(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
uint32_t read32(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

constexpr size_t kSectionHeaderBytes = 40;
constexpr size_t kSectionTableOffset = 248;  // signature, file header, 32-bit optional header

}  // namespace

uint32_t findPayloadOffset(std::span<const uint8_t> image) {
  if (image.size() < 0x40) return kNoPayload;
  size_t ntHeaders = read16(image, 0x3C);
  if (ntHeaders + kSectionTableOffset > image.size()) return kNoPayload;
  uint32_t sections = read16(image, ntHeaders + 6);
  size_t table = ntHeaders + kSectionTableOffset;
  // The walk stops at the last header that both the header count and the bytes at hand
  // allow: a count larger than the table, or names without a dot, never lead past it.
  size_t fit = (image.size() - table) / kSectionHeaderBytes;
  size_t usable = sections < fit ? sections : fit;
  if (usable == 0) return kNoPayload;
  size_t last = usable - 1;
  size_t index = 0;
  uint32_t count = 1;
  while (count < sections && index < last) {
    index++;
    if (image[table + index * kSectionHeaderBytes] == '.') count++;
  }
  size_t h = table + index * kSectionHeaderBytes;
  uint64_t end = uint64_t(read32(image, h + 20)) + read32(image, h + 16);
  return end >= kNoPayload ? kNoPayload : uint32_t(end);
}

uint32_t findPayloadOffset(const void* imageBase) {
  if (!imageBase) return kNoPayload;
  return findPayloadOffset(std::span(static_cast<const uint8_t*>(imageBase), kHeaderBytes));
}

CheckedRange archiveCheckRange(std::span<const uint8_t> headers, uint32_t payloadOffset, uint64_t fileLength) {
  uint64_t begin = uint64_t(payloadOffset) + kConfigBytes;
  uint32_t length = fileLength > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(fileLength);
  CheckedRange range{begin < length ? uint32_t(begin) : length, length, false};
  if (headers.size() < 0x40) return range;
  // The security directory, entry 4 of the 32-bit optional header's data directories,
  // holds a file offset (not an address) and a size.
  size_t directory = size_t(read16(headers, 0x3C)) + 24 + 96 + 4 * 8;
  if (directory + 8 > headers.size()) return range;
  uint64_t table = read32(headers, directory), size = read32(headers, directory + 4);
  if (size != 0 && table >= begin && table + size == fileLength) {
    range.end = uint32_t(table);
    range.signedPackage = true;
  }
  return range;
}

namespace {

bool isWindowsImage(std::span<const uint8_t> headers) {
  if (headers.size() < 0x40 || headers[0] != 'M' || headers[1] != 'Z') return false;
  size_t nt = read16(headers, 0x3C);
  return nt + 4 <= headers.size() && std::memcmp(headers.data() + nt, "PE\0\0", 4) == 0;
}

}  // namespace

ArchiveBounds locateArchive(uint32_t payloadOffset) {
  int64_t size = archiveSize();
  ArchiveBounds bounds{0, size};
  static uint8_t headers[kHeaderBytes];  // a page on the stack would cost the stub a stack probe
  uint32_t n = archiveSeek(0) ? archiveRead(headers, sizeof headers) : 0;
  std::span<const uint8_t> h(headers, n);
  if (payloadOffset == kNoPayload && isWindowsImage(h)) payloadOffset = findPayloadOffset(h);
  if (payloadOffset == kNoPayload || size <= int64_t{payloadOffset}) return bounds;
  bounds.scanFrom = payloadOffset;
  CheckedRange range = archiveCheckRange(h, payloadOffset, uint64_t(size));
  if (range.signedPackage) bounds.end = range.end;
  return bounds;
}

bool isValidConfig(std::span<const uint8_t> block) {
  return block.size() >= kConfigBytes && std::memcmp(block.data(), kConfigMagic, sizeof kConfigMagic) == 0;
}

void copyConfigText(char* out, const char* field, size_t width) {
  bool utf8 = width >= 3 && std::memcmp(field, kUtf8Mark, 3) == 0;
  const char* text = utf8 ? field + 3 : field;
  size_t room = utf8 ? width - 3 : width;
  size_t n = strnlen(text, room);
  if (n == room) {  // no terminator: cut inside the field, never a character in two
    n = room - 1;
    if (utf8) {
      n = static_cast<size_t>(sys::wholeCharacters(text, static_cast<int>(n)));
    } else {
      size_t i = 0;
      while (i < n) {
        bool lead = sys::isLeadByte(0, static_cast<unsigned char>(text[i]));
        if (lead && i + 1 >= n) break;
        i += lead ? 2 : 1;
      }
      n = i;
    }
  }
  if (sys::codePageToUtf8(utf8 ? 65001 : 0, text, static_cast<int>(n), out, static_cast<int>(3 * width)) < 0)
    out[0] = '\0';
}

bool mergeSfxConfig(const SfxConfig& source, const char* programPath) {
  SfxConfig block = source;
  // A package without a setup command never deletes its files and needs no 64-bit system.
  if (block.setupCommand[0] == '\0') {
    block.deleteAfterSetup = 0;
    block.variant = '3';
  }
  if (block.variant == '6') {
    if (sys::wow64Switch(-1) == 0) {
      showMessage(Message::needs64Bit);
      return false;
    }
    sfxSettings.wow64Mode = '6';
  }
  char destination[3 * sizeof block.destinationPath];
  copyConfigText(destination, block.destinationPath, sizeof block.destinationPath);
  startupState.createdTempFolder = expandDestinationMacro(destination, block.deleteAfterSetup, programPath);
  copyConfigText(sfxSettings.setupCommand, block.setupCommand, sizeof block.setupCommand);
  sfxSettings.noConfirm = block.noConfirm;
  sfxSettings.openFolderAfter = block.openFolderAfter;
  sfxSettings.deleteAfterSetup = block.deleteAfterSetup;
  sfxSettings.skipDestinationDialog = block.skipDestinationDialog;
  sfxSettings.archiveCrc32 = block.archiveCrc32;
  copyConfigText(sfxSettings.promptTitle, block.promptTitle, sizeof block.promptTitle);
  copyConfigText(sfxSettings.promptText, block.promptText, sizeof block.promptText);
  return true;
}

namespace {

// The running image's headers when there is one, else the first page of the file.
uint32_t payloadOffsetOfOwnFile() {
  if (const void* base = sys::moduleImageBase()) return findPayloadOffset(base);
  static uint8_t headers[kHeaderBytes];
  archiveSeek(0);
  uint32_t n = archiveRead(headers, sizeof headers);
  return findPayloadOffset(std::span<const uint8_t>(headers, n));
}

}  // namespace

OpenOutcome openOwnPayload(char* archivePath) {
  startupState.createdTempFolder = false;
  if (sys::moduleFileName(archivePath, kPathBytes) == 0 || !openArchiveStream(archivePath))
    return OpenOutcome::cannotOpen;
  int64_t size = archiveSize();
  startupState.fileSize = size > 0x7FFFFFFF ? 0x7FFFFFFF : int32_t(size);
  startupState.payloadOffset = payloadOffsetOfOwnFile();
  if (size <= int64_t(startupState.payloadOffset)) {  // a stub without payload ends silently
    closeArchiveStream();
    return OpenOutcome::noPayload;
  }
  uint8_t block[kConfigBytes];
  uint32_t got = archiveSeek(startupState.payloadOffset) ? archiveRead(block, sizeof block) : 0;
  startupState.hasBlock = isValidConfig(std::span<const uint8_t>(block, got));
  if (startupState.hasBlock) {
    SfxConfig config;
    std::memcpy(&config, block, sizeof config);
    if (!mergeSfxConfig(config, archivePath)) {
      closeArchiveStream();
      return OpenOutcome::stop;
    }
  }
  archiveSeek(0);
  return OpenOutcome::opened;
}
