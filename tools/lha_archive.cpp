#include "tools/lha_archive.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "extract/run_state.h"
#include "lha/decode.h"
#include "lha/stream.h"
#include "startup/payload.h"
#include "sys/text.h"
#include "sys/ui.h"
#include "tools/tool_util.h"

namespace {

std::vector<std::string> coreMessages;

int collectMessage(sys::WindowHandle, const char* text, const char*, unsigned flags) {
  coreMessages.emplace_back(text ? text : "");
  return (flags & 0xF) == sys::kMbYesNo ? sys::kIdYes : sys::kIdOk;
}

bool readAllHeaders(ArchiveScan& scan, std::vector<uint8_t>& buffer) {
  scan.members.clear();
  scan.damagedAt = -1;
  // A package's archive lies behind the stub image, as the stub itself reads it: the scan
  // starts there, so the stub's own bytes are never taken for headers.
  ArchiveBounds bounds = locateArchive(kNoPayload);
  scan.payloadOffset = bounds.scanFrom > 0 ? bounds.scanFrom : -1;
  scan.archiveEnd = bounds.end;
  if (!archiveSeek(bounds.scanFrom)) return false;
  uint32_t first = 0;
  if (!findFirstHeader(buffer.data(), &first)) return false;
  scan.firstOffset = first;
  scan.scanNotes = takeCoreMessages();
  // A package's archive begins right behind its block, as the stub reads it: a first
  // header further on means the one there is damaged.
  uint8_t block[kConfigBytes];
  int64_t behindBlock = scan.payloadOffset + kConfigBytes;
  if (scan.payloadOffset >= 0 && first != behindBlock && archiveSeek(scan.payloadOffset) &&
      isValidConfig(std::span<const uint8_t>(block, archiveRead(block, sizeof block))))
    scan.damagedAt = behindBlock;
  int64_t next = first;
  while (archiveSeek(next)) {
    NextHeader found = readNextHeader(buffer.data(), scan.archiveEnd);
    if (found == NextHeader::damaged) {
      if (scan.damagedAt < 0) scan.damagedAt = next;
      takeCoreMessages();  // the "invalid header." of the damage, which damagedAt tells
    }
    if (found != NextHeader::member) break;
    ArchiveMember m{memberHeader, static_cast<uint32_t>(next), static_cast<uint32_t>(archiveTell())};
    scan.members.push_back(m);
    next = static_cast<int64_t>(m.dataOffset) + m.header.packedSize;
  }
  return true;
}

}  // namespace

void collectCoreMessages() { sys::setMessageHook(collectMessage); }

std::vector<std::string> takeCoreMessages() {
  std::vector<std::string> out;
  out.swap(coreMessages);
  return out;
}

namespace {

// Whether the names the archive does not give a code page for read as code page 932, and
// at least one of them is not ASCII.
bool readsAs932(const ArchiveScan& scan) {
  bool anyHigh = false;
  for (const ArchiveMember& m : scan.members) {
    if (m.header.codePage != 0) continue;
    if (!m.header.nameValid) return false;
    for (const char* p = m.header.path; *p; ++p) anyHigh |= static_cast<unsigned char>(*p) >= 0x80;
  }
  return anyHigh;
}

}  // namespace

ScanResult scanArchive(const std::string& path, const std::string& codePageOption, ArchiveScan& scan) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return ScanResult::cannotOpen;
  attachArchiveStream(f);
  buildCrc16Table();
  std::vector<uint8_t> buffer(kHeaderBufferSize);
  // Names without a code page of their own are read in the "system" one: the option's, or
  // 932 when every such name reads in it (some not ASCII), else 1252.
  unsigned codePage = codePageOption == "1252" ? 1252 : 932;
  sys::setCodePage(codePage);
  if (!readAllHeaders(scan, buffer)) return ScanResult::notArchive;
  if (codePageOption.empty() && !readsAs932(scan)) {
    codePage = 1252;
    sys::setCodePage(codePage);
    if (!readAllHeaders(scan, buffer)) return ScanResult::notArchive;
  }
  scan.codePage = codePage;
  return ScanResult::ok;
}

std::string testMember(const ArchiveMember& m, FILE* out) {
  const MemberHeader& h = m.header;
  uint32_t method = selectDecodeMethod(h.methodId);
  archiveSeek(m.dataOffset);
  runStatus.store(kRunGoing);
  outputStream = out;
  runningCrc16 = 0;
  uint32_t before = totalBytesWritten;
  decodeMember(method, h.packedSize, h.originalSize);
  uint32_t written = totalBytesWritten - before;
  outputStream = nullptr;
  // buffered bytes reach the file only here, so a full disk may first show at the close
  bool closeFailed = out && std::fclose(out) != 0;
  std::string problem;
  for (const std::string& message : takeCoreMessages()) problem += message + "; ";
  if (closeFailed) problem += "output file not written; ";
  if (readRunStatus() != kRunGoing) problem += "decoding stopped; ";
  runStatus.store(kRunGoing);
  if (runningCrc16 != h.storedCrc16) {
    char text[64];
    std::snprintf(text, sizeof text, "CRC-16 0x%04X, expected 0x%04X; ", runningCrc16, h.storedCrc16);
    problem += text;
  }
  // the stub's worker takes a member of any other length as damaged, stored ones too
  if (written != h.originalSize) {
    char text[64];
    std::snprintf(text, sizeof text, "%" PRIu32 " bytes, expected %" PRIu32 "; ", written, h.originalSize);
    problem += text;
  }
  if (!problem.empty()) problem.resize(problem.size() - 2);
  return problem;
}

std::string damageLine(const ArchiveScan& scan) {
  if (scan.damagedAt < 0) return "";
  return "damaged header at offset " + std::to_string(scan.damagedAt) + ": the archive cannot be read behind it";
}

std::string memberPathUtf8(const MemberHeader& header) { return header.path; }

std::string formatTimeStamp(const MemberHeader& header) {
  char text[32];
  uint32_t t = header.timeStamp;
  if (header.level == 2) {
    std::time_t seconds = static_cast<std::time_t>(t);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%SZ", &utc);
  } else {
    uint32_t date = t >> 16, time = t & 0xFFFF;
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u ", 1980 + (date >> 9), (date >> 5) & 15,
                  date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2);
  }
  return text;
}

bool isDirectoryEntry(const MemberHeader& header) { return std::string_view(header.methodId) == "-lhd-"; }
