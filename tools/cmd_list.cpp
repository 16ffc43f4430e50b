// zaroza list FILE: every member header of an LHA archive or a self-extracting file.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <string_view>

#include "lha/decode.h"
#include "tools/commands.h"
#include "tools/lha_archive.h"
#include "tools/tool_util.h"

namespace {

const char kUsage[] =
    "usage: zaroza list [--codepage 932|1252] FILE\n"
    "\n"
    "Lists the members of an LHA archive, or of the archive inside a self-extracting\n"
    "file (the first valid header is searched behind the stub image of a package, from\n"
    "the first byte in any other file): header level, method, packed and original size,\n"
    "date-time (levels 0/1: local MS-DOS time; level 2: UTC, marked Z), attribute, stored\n"
    "CRC-16 and path (converted to UTF-8 from the archive's code page, guessed unless\n"
    "--codepage is given).\n"
    "Exit status: 0 listed, 1 no archive found or a damaged header behind a member,\n"
    "2 usage error or unreadable file.\n";

}  // namespace

int commandList(int argc, char** argv) {
  FileArguments args;
  if (int status = parseFileArguments(argc, argv, "list", kUsage, {}, args); status >= 0) return status;
  const std::string& file = args.file;
  const std::string& codePage = args.codePage;
  collectCoreMessages();
  ArchiveScan scan;
  switch (scanArchive(file, codePage, scan)) {
    case ScanResult::cannotOpen:
      std::fprintf(stderr, "zaroza list: cannot open '%s'\n", file.c_str());
      return 2;
    case ScanResult::notArchive:
      std::fprintf(stderr, "zaroza list: '%s': no LHA header found\n", file.c_str());
      return 1;
    case ScanResult::ok:
      break;
  }
  std::printf("first header at offset %" PRIu32 ", %zu members, code page %u\n", scan.firstOffset,
              scan.members.size(), scan.codePage);
  std::printf("lv method     packed   original date-time             attr  crc16  path\n");
  uint64_t packed = 0, original = 0;
  for (const ArchiveMember& m : scan.members) {
    const MemberHeader& h = m.header;
    const char* note = isDirectoryEntry(h) ? "  (directory)"
                       : decodeMethodSupported(selectDecodeMethod(h.methodId)) ? ""
                       : "  (unknown method)";
    std::printf("%2u %-5s %10" PRIu32 " %10" PRIu32 " %-21s 0x%02X 0x%04X %s%s\n", h.level, h.methodId,
                h.packedSize, h.originalSize, formatTimeStamp(h).c_str(), h.attribute, h.storedCrc16,
                memberPathUtf8(h).c_str(), note);
    packed += h.packedSize;
    original += h.originalSize;
  }
  std::printf("total %zu members, %" PRIu64 " packed, %" PRIu64 " original\n", scan.members.size(), packed,
              original);
  // candidates the scan rejected before the first valid header
  for (const std::string& message : scan.scanNotes) std::fprintf(stderr, "note: scan: %s\n", message.c_str());
  if (scan.damagedAt < 0) return 0;
  std::fprintf(stderr, "zaroza list: %s\n", damageLine(scan).c_str());
  return 1;
}
