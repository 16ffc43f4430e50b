// zaroza test FILE: decodes every member with the stub's decoder and checks its CRC-16.
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "extract/run_state.h"
#include "lha/decode.h"
#include "lha/header.h"
#include "lha/stream.h"
#include "sys/ui.h"
#include "tools/commands.h"
#include "tools/lha_archive.h"
#include "tools/tool_util.h"

namespace {

const char kUsage[] =
    "usage: zaroza test [--codepage 932|1252] [--output-dir DIR] FILE\n"
    "\n"
    "Decodes every member of an LHA archive (or of the archive inside a self-extracting\n"
    "file) with the same decoder as the stub, without writing files, and compares each\n"
    "member's CRC-16 and length with its header. Prints one line per failing member and\n"
    "a summary; directory entries are skipped. On a terminal a progress bar is shown.\n"
    "  --output-dir DIR  also write each decoded member below DIR (for comparisons with\n"
    "                    other decoders; '..' and absolute components are dropped)\n"
    "Exit status: 0 all members good, 1 a member failed or uses an unknown method, or a\n"
    "damaged header hides the members behind it,\n"
    "2 usage error, unreadable file or no archive found.\n";

// DIR/<member path>, with only plain components kept.
std::filesystem::path outputPathFor(const std::string& dir, const std::string& memberPath) {
  std::filesystem::path out = dir;
  std::string component;
  for (size_t k = 0; k <= memberPath.size(); ++k) {
    char c = k < memberPath.size() ? memberPath[k] : '\\';
    if (c == '\\' || c == '/') {
      if (!component.empty() && component != "." && component != "..") out /= component;
      component.clear();
    } else {
      component += c;
    }
  }
  return out;
}

}  // namespace

int commandTest(int argc, char** argv) {
  std::string outputDir;
  FileArguments args;
  if (int status = parseFileArguments(argc, argv, "test", kUsage, {{"--output-dir", &outputDir}}, args); status >= 0)
    return status;
  const std::string& file = args.file;
  const std::string& codePage = args.codePage;
  collectCoreMessages();
  ArchiveScan scan;
  switch (scanArchive(file, codePage, scan)) {
    case ScanResult::cannotOpen:
      std::fprintf(stderr, "zaroza test: cannot open '%s'\n", file.c_str());
      return 2;
    case ScanResult::notArchive:
      std::fprintf(stderr, "zaroza test: '%s': no LHA header found\n", file.c_str());
      return 2;
    case ScanResult::ok:
      break;
  }
  takeCoreMessages();  // candidates the scan rejected are not member failures

  // The decoder reports the archive bytes read since the first header.
  int64_t archiveBytes = archiveSize() - scan.firstOffset;
  startProgressBar(archiveBytes);

  totalBytesWritten = 0;
  startProgressReport(scan.firstOffset, archiveBytes);
  uint32_t tested = 0, failed = 0, unsupported = 0, directories = 0;
  for (const ArchiveMember& m : scan.members) {
    const MemberHeader& h = m.header;
    std::string path = memberPathUtf8(h);
    if (isDirectoryEntry(h)) {
      ++directories;
      continue;
    }
    uint32_t method = selectDecodeMethod(h.methodId);
    if (!decodeMethodSupported(method)) {
      ++unsupported;
      clearProgressLine();
      std::printf("%s: unknown method %s\n", path.c_str(), h.methodId);
      continue;
    }
    FILE* out = nullptr;
    if (!outputDir.empty()) {
      std::filesystem::path target = outputPathFor(outputDir, path);
      std::error_code ec;
      std::filesystem::create_directories(target.parent_path(), ec);
      out = std::fopen(target.c_str(), "wb");
      if (!out) {
        std::fprintf(stderr, "zaroza test: cannot create '%s'\n", target.c_str());
        return 2;
      }
    }
    ++tested;
    std::string problem = testMember(m, out);
    if (!problem.empty()) {
      ++failed;
      clearProgressLine();
      std::printf("%s: %s: %s\n", path.c_str(), h.methodId, problem.c_str());
    }
  }
  stopProgressBar();
  runStatus.store(kRunGoing);
  if (scan.damagedAt >= 0) std::printf("%s\n", damageLine(scan).c_str());
  std::printf("%u members tested, %u failed, %u of unknown methods, %u directories\n", tested, failed,
              unsupported, directories);
  return failed || unsupported || scan.damagedAt >= 0 ? 1 : 0;
}
