// zaroza extract FILE: the stub's own worker, run natively, below a folder of the host.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "extract/destination.h"
#include "extract/paths.h"
#include "extract/run_state.h"
#include "extract/worker.h"
#include "lha/decode.h"
#include "lha/header.h"
#include "lha/stream.h"
#include "startup/crc32.h"
#include "startup/payload.h"
#include "startup/settings.h"
#include "sys/ui.h"
#include "tools/commands.h"
#include "tools/lha_archive.h"
#include "tools/tool_util.h"
#include "ui/format.h"

namespace {

const char kUsage[] =
    "usage: zaroza extract [-d DIR] [--overwrite=ask|always|never|newer] [--quiet]\n"
    "                      [--codepage 932|1252] FILE\n"
    "\n"
    "Extracts every member of an LHA archive, or of the archive inside a self-extracting\n"
    "package, below DIR (default: the current folder) with the stub's own worker: the same\n"
    "decoders, CRC-16 checks and member-path rules (a member that would leave DIR, or whose\n"
    "name Windows would refuse, is skipped). A package's setup command is never run.\n"
    "Time stamps are restored (levels 0 and 1 as local time, level 2 as UTC); the read-only\n"
    "attribute becomes a read-only file mode. A member that fails never replaces the file\n"
    "that was there. A package whose archive fails its CRC-32 is reported, and extracted.\n"
    "  -d DIR       destination folder, made when missing\n"
    "  --overwrite  for files that exist: ask (the default; asks on a terminal, otherwise\n"
    "               keeps them), always, never, or newer (only by an older file)\n"
    "  --quiet      no progress bar, no summary\n"
    "Exit status: 0 every member extracted and checked (files kept by --overwrite count as\n"
    "done), 1 a member failed or was refused, the package's CRC-32 failed, a damaged\n"
    "header stopped the run or the run stopped otherwise, 2 usage error, unreadable file\n"
    "or no archive found.\n";

struct ExtractCommand {
  bool quiet = false;
  bool askOnTerminal = false;
  bool cancelled = false;
};
ExtractCommand command;

// The core's texts are UTF-8 already.
std::string toUtf8(const char* text) { return text ? text : ""; }

// One line per message of the core, naming the member it concerns.
int printMessage(sys::WindowHandle, const char* text, const char*, unsigned flags) {
  clearProgressLine();
  std::string line = toUtf8(text);
  for (size_t at; (at = line.find("\n\n")) != std::string::npos;) line.replace(at, 2, ": ");
  for (char& c : line)
    if (c == '\n') c = ' ';
  if (line.find(toUtf8(memberHeader.path)) == std::string::npos) line = toUtf8(memberHeader.path) + ": " + line;
  std::fprintf(stderr, "zaroza extract: %s\n", line.c_str());
  return (flags & 0xF) == sys::kMbYesNo ? sys::kIdYes : sys::kIdOk;
}

std::string describe(uint32_t stamp, uint32_t size) {
  char info[256], text[320];
  if (stamp == 0 || FormatMemberInfo(stamp, info, sizeof info) == 0) return FormatThousands(size) + std::string(" Bytes");
  std::snprintf(text, sizeof text, info, FormatThousands(size));
  std::string out = text;
  for (char& c : out)
    if (c == '\n') c = ',';
  return out;
}

// The replace question on the terminal: yes, no, all, newer, cancel.
int askOnTerminal(const sys::ReplaceInfo& info) {
  if (!command.askOnTerminal) return sys::kReplaceNo;
  clearProgressLine();
  std::fprintf(stderr, "replace %s\n  existing: %s\n  archived: %s\n[y]es, [n]o, [a]ll, ne[w]er, [c]ancel? ",
               toUtf8(info.existingPath).c_str(), describe(info.existingStamp, info.existingSize).c_str(),
               describe(info.memberStamp, info.memberSize).c_str());
  std::fflush(stderr);
  for (;;) {
    char answer[32];
    if (!std::fgets(answer, sizeof answer, stdin)) return sys::kReplaceCancel;
    switch (answer[0] | 0x20) {
      case 'y': return sys::kReplaceYes;
      case 'n': return sys::kReplaceNo;
      case 'a': return sys::kReplaceAll;
      case 'w':
        sfxSettings.newerOnly = 1;
        return sys::kReplaceYes;
      case 'c': command.cancelled = true; return sys::kReplaceCancel;
    }
    std::fputs("y, n, a, w or c? ", stderr);
  }
}

// The destination as a path text of the stub's kind ("Z:\dir\").
bool destinationText(const std::string& folder, std::string* text, std::string* why) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(folder, ec).lexically_normal();
  std::string out = "Z:" + absolute.string();
  if (ec || !validUtf8(out)) {
    *why = "the folder's name is not valid UTF-8";
    return false;
  }
  for (char& c : out)
    if (c == '/') c = '\\';
  if (out.back() != '\\') out += '\\';
  if (!pathFits(out.c_str())) {
    *why = "the folder's path is longer than the 259 characters a Windows path holds";
    return false;
  }
  *text = out;
  return true;
}

// A package's own check, as the stub makes it: the CRC-32 its block holds against the
// archive behind the block, up to a signed package's certificate table. False only when
// the package has one and it does not match.
bool packageIntact(const ArchiveScan& scan) {
  if (scan.payloadOffset < 0 || !archiveSeek(scan.payloadOffset)) return true;
  uint8_t block[kConfigBytes];
  if (archiveRead(block, sizeof block) != sizeof block || !isValidConfig(block)) return true;
  SfxConfig config;
  std::memcpy(&config, block, sizeof config);
  if (config.archiveCrc32 == 0) return true;
  std::vector<uint8_t> buffer(1 << 16);
  int64_t fileBytes = archiveSize();
  if (fileBytes < 0 || !archiveSeek(0)) return true;
  uint32_t headerBytes = archiveRead(buffer.data(), kHeaderBytes);
  CheckedRange range = archiveCheckRange(std::span<const uint8_t>(buffer.data(), headerBytes),
                                         static_cast<uint32_t>(scan.payloadOffset), static_cast<uint64_t>(fileBytes));
  buildCrc32Table();
  if (!archiveSeek(range.begin)) return true;
  uint64_t bytes = range.end > range.begin ? range.end - range.begin : 0;
  // a signed package's last bytes are matched as the stub matches them
  uint32_t tail = range.signedPackage ? static_cast<uint32_t>(std::min<uint64_t>(bytes, kSigningPadding)) : 0;
  for (uint64_t left = bytes - tail; left > 0;) {
    uint32_t n = archiveRead(buffer.data(), static_cast<uint32_t>(std::min<uint64_t>(left, buffer.size())));
    if (n == 0) break;
    crc32Update(buffer.data(), n);
    left -= n;
  }
  uint32_t leftOut = 0;
  uint32_t crc = archiveRead(buffer.data(), tail) == tail
                     ? finishCrcBeforeTable(config.archiveCrc32, buffer.data(), tail, &leftOut)
                     : crc32Value();
  if (crc == config.archiveCrc32) return true;
  std::fprintf(stderr, "zaroza extract: the package is damaged: its archive has CRC-32 0x%08X, its block 0x%08X\n",
               crc, config.archiveCrc32);
  return false;
}

bool setOverwrite(std::string_view mode) {
  sfxSettings.noConfirm = mode == "always";
  sfxSettings.newerOnly = mode == "newer";
  command.askOnTerminal = mode == "ask" && isatty(fileno(stdin));
  return mode == "ask" || mode == "always" || mode == "never" || mode == "newer";
}

}  // namespace

int commandExtract(int argc, char** argv) {
  std::vector<char*> rest;
  command = ExtractCommand{};
  for (int i = 0; i < argc; ++i) {
    if (i > 0 && (!std::strcmp(argv[i], "--quiet") || !std::strcmp(argv[i], "-q"))) command.quiet = true;
    else rest.push_back(argv[i]);
  }
  std::string folder = ".", overwrite = "ask";
  FileArguments args;
  if (int status = parseFileArguments(static_cast<int>(rest.size()), rest.data(), "extract", kUsage,
                                      {{"-d", &folder}, {"--overwrite", &overwrite}}, args);
      status >= 0)
    return status;
  resetSfxSettings();
  if (!setOverwrite(overwrite)) {
    std::fprintf(stderr, "zaroza extract: --overwrite takes ask, always, never or newer\n");
    return 2;
  }

  collectCoreMessages();
  ArchiveScan scan;
  switch (scanArchive(args.file, args.codePage, scan)) {
    case ScanResult::cannotOpen:
      std::fprintf(stderr, "zaroza extract: cannot open '%s'\n", args.file.c_str());
      return 2;
    case ScanResult::notArchive:
      std::fprintf(stderr, "zaroza extract: '%s': no LHA header found\n", args.file.c_str());
      return 2;
    case ScanResult::ok:
      break;
  }
  takeCoreMessages();  // candidates the scan rejected are no member's failures

  std::string destination, why;
  if (!destinationText(folder, &destination, &why)) {
    std::fprintf(stderr, "zaroza extract: cannot extract to '%s': %s\n", folder.c_str(), why.c_str());
    return 2;
  }
  std::strcpy(sfxSettings.destinationPath, destination.c_str());
  // The stub's own rules settle the folder; an absolute one keeps its place.
  std::error_code error;  // an unreadable parent shows as the folder that cannot be made
  if (normalizeDestination("") != DestinationOutcome::accepted ||
      (!std::filesystem::is_directory(folder, error) && !createFolderTree(sfxSettings.destinationPath))) {
    std::fprintf(stderr, "zaroza extract: cannot create the folder '%s'\n", folder.c_str());
    return 2;
  }

  bool intact = packageIntact(scan);
  sys::setMessageHook(printMessage);
  sys::setReplaceHook(askOnTerminal);
  startProgressBar(archiveSize() - scan.firstOffset, !command.quiet);
  runStatus.store(kRunGoing);
  totalBytesWritten = 0;
  startProgressReport(scan.firstOffset, archiveSize() - scan.firstOffset);
  std::unique_ptr<uint8_t[]> headerBuffer(new uint8_t[kHeaderBufferSize]());
  extraction = ExtractionState{};
  extraction.headerBuffer = headerBuffer.get();
  extraction.archiveEnd = scan.archiveEnd;
  archiveSeek(scan.firstOffset);
  extractionWorker();
  stopProgressBar();
  closeArchiveStream();
  sys::setMessageHook(nullptr);
  sys::setReplaceHook(nullptr);

  const ExtractionState& x = extraction;
  bool stopped = readRunStatus() != kRunGoing;
  if (scan.damagedAt >= 0) std::fprintf(stderr, "zaroza extract: %s\n", damageLine(scan).c_str());
  if (!command.quiet) {
    std::printf("%u files extracted, %u folders, %u existing files kept, %u refused, %u failed%s\n",
                x.extracted, x.folders, x.kept, x.rejected + x.skipped, x.failed,
                command.cancelled ? " (cancelled)" : stopped ? " (stopped)" : "");
  }
  runStatus.store(kRunGoing);
  return x.failed || x.rejected || stopped || !intact ? 1 : 0;
}
