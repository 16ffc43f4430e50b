// zaroza pack: stub + configuration block + LHA archive -> self-extracting file.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "lha/stream.h"
#include "tools/archive_builder.h"
#include "tools/commands.h"
#include "tools/lha_archive.h"
#include "tools/package.h"
#include "tools/tool_util.h"

namespace {

const char kUsage[] =
    "usage: zaroza pack [OPTIONS] -o OUTPUT ARCHIVE\n"
    "       zaroza pack [OPTIONS] -o OUTPUT PATH...      (files and folders)\n"
    "\n"
    "Appends a configuration block and an LHA archive to the stub. Given an archive, it is\n"
    "checked first: one in which no member header is found, or whose members fail their\n"
    "CRC-16, is refused. Given folders, several paths, or --files, the archive is written\n"
    "here (as zaroza archive does): a folder stands for what it holds, so\n"
    "    zaroza pack ./dist -o setup.exe --command setup.exe\n"
    "puts dist/setup.exe at the top of the destination.\n"
    "  -o, --output FILE     the package to write\n"
    "  --stub FILE           the stub (default: zaroza-sfx.exe of the build tree)\n"
    "  --dest TEXT           destination folder; may begin with %temp%, %ProgramFiles%,\n"
    "                        %Desktop%, %MyDocuments%, %SystemDir% or %WinDir%\n"
    "  --command TEXT        setup command run from the destination afterwards\n"
    "  --title TEXT          caption of the start-up question\n"
    "  --prompt TEXT         start-up question (Yes/No); none when empty\n"
    "  --no-confirm          create folders and replace files without asking\n"
    "  --no-open-folder      do not open the destination after extraction\n"
    "  --delete-after        delete the extracted files after the setup command\n"
    "  --skip-dialog         do not show the destination dialog\n"
    "  --needs-64bit         refuse to run on a 32-bit system (variant 6)\n"
    "  --no-crc              store no CRC-32 of the archive\n"
    "  --codepage 932|1252   write the block's texts in that code page, read by the stub\n"
    "                        in the system's own (default: a text that is not ASCII is\n"
    "                        written in UTF-8 behind the mark EF BB BF, which the stub\n"
    "                        reads the same on every system)\n"
    "  --files               a single file is a file to pack, not an archive\n"
    "  --method M, --level N, --best, --threads N   the archive written from files:\n"
    "                        method lh5 (the default), lh6 or lh7; header level 0, 1 or 2\n"
    "                        (the default); files packed side by side (default: one per\n"
    "                        processor, up to 8)\n"
    "  --variant CHAR, --magic TEXT   raw block fields, for tests\n"
    "  --no-check            pack an archive unchecked, even one whose members fail\n"
    "                        (for tests of damaged packages)\n"
    "The package is written under a temporary name and renamed once complete.\n";

// What the stub will meet on the user's machine: a first member header, and members that
// decode to their CRC-16. Anything else is refused here rather than shipped.
bool archiveWillExtract(const std::string& path, std::string* why) {
  collectCoreMessages();
  ArchiveScan scan;
  ScanResult result = scanArchive(path, "", scan);
  takeCoreMessages();
  if (result == ScanResult::cannotOpen) {
    *why = "cannot read archive " + path;
    return false;
  }
  if (result == ScanResult::notArchive) {
    *why = "'" + path + "' is not an LHA archive: no member header was found in it";
    return false;
  }
  if (scan.damagedAt >= 0) {  // the stub would stop there and install nothing
    *why = "'" + path + "': " + damageLine(scan);
    closeArchiveStream();
    return false;
  }
  for (const ArchiveMember& m : scan.members) {
    if (isDirectoryEntry(m.header)) continue;
    std::string problem = testMember(m, nullptr);
    if (!problem.empty()) {
      *why = "'" + path + "': member " + memberPathUtf8(m.header) + " does not extract (" +
             problem + ")";
      closeArchiveStream();
      return false;
    }
  }
  closeArchiveStream();
  return true;
}

// The archive of files and folders, written here, in memory for the package.
std::optional<std::vector<uint8_t>> archiveOfFiles(const std::vector<std::string>& paths,
                                                   const ArchiveOptions& options, const std::string& output,
                                                   std::string* why) {
  FILE* f = std::tmpfile();
  if (!f) {
    *why = "no room for a temporary archive";
    return std::nullopt;
  }
  std::optional<std::vector<uint8_t>> bytes;
  if (writeArchiveTo(paths, options, f, why, output) && std::fflush(f) == 0) {
    long size = (std::fseek(f, 0, SEEK_END) == 0) ? std::ftell(f) : -1;
    std::vector<uint8_t> all(size > 0 ? static_cast<size_t>(size) : 0);
    std::rewind(f);
    if (size >= 0 && std::fread(all.data(), 1, all.size(), f) == all.size()) bytes = std::move(all);
    else *why = "the temporary archive could not be read back";
  }
  std::fclose(f);
  return bytes;
}

// The stub seeks through its own file with 32-bit signed offsets (the C runtime's long),
// so a package must stay below 2 GiB; a larger one would fail on the user's machine.
bool fitsTheStub(const std::vector<uint8_t>& stub, uint64_t archiveBytes, std::string* why) {
  constexpr uint64_t kLargestPackage = 0x7FFFFFFF;
  // the archive may gain up to 7 bytes of padding for signing
  if (stub.size() + kConfigBytes + archiveBytes + 7 <= kLargestPackage) return true;
  *why = "the package would be " + std::to_string(stub.size() + kConfigBytes + archiveBytes) +
         " bytes; the stub reads packages of up to 2 GiB";
  return false;
}

// An archive named to be packed, checked first (unless told not to) and read.
std::optional<std::vector<uint8_t>> archiveGiven(const std::vector<uint8_t>& stub, const std::string& path, bool check,
                                                 std::string* why) {
  std::error_code error;
  uint64_t bytes = std::filesystem::file_size(path, error);
  if (!error && !fitsTheStub(stub, bytes, why)) return std::nullopt;
  if (check && !archiveWillExtract(path, why)) {
    *why += " (to pack the file itself, add --files)";
    return std::nullopt;
  }
  auto archive = readWholeFile(path);
  if (!archive) *why = "cannot read archive " + path;
  return archive;
}

int usageError(const std::string& why) {
  std::fprintf(stderr, "zaroza pack: %s\n%s", why.c_str(), kUsage);
  return 2;
}

std::string defaultStub() {
  std::string folder = toolFolder();
  for (const char* candidate : {"/zaroza-sfx.exe", "/../win32/zaroza-sfx.exe"}) {
    std::string path = folder + candidate;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
      std::fclose(f);
      return path;
    }
  }
  return "";
}

// The block's texts as stored: an ASCII text as it is; any other in UTF-8 behind the
// UTF-8 mark, which the stub reads the same on every system, or, with --codepage, in that
// code page (the stub reads such a text in the system's own).
// Empty when every text could be stored, else what is wrong.
std::string encodeTexts(const std::vector<const std::string*>& in, const std::vector<std::string*>& out,
                        const std::string& codePage) {
  for (size_t i = 0; i < in.size(); i++) {
    const std::string& text = *in[i];
    if (isAscii(text)) {
      *out[i] = text;
    } else if (!validUtf8(text)) {
      return "are not valid UTF-8";  // the stub would read an empty text
    } else if (codePage.empty()) {
      *out[i] = kUtf8Mark + text;
    } else if (auto e = utf8ToCodePage(text, static_cast<unsigned>(std::stoul(codePage)))) {
      *out[i] = *e;
    } else {
      return "have characters that code page " + codePage + " cannot hold";
    }
  }
  return "";
}

}  // namespace

int commandPack(int argc, char** argv) {
  PackageSettings s;
  std::string output, stubPath, codePage, variant, dest, command, title, prompt, method, level, threads;
  std::vector<std::string> paths;
  ArchiveOptions archiveOptions;
  bool check = true, files = false;
  for (int i = 1; i < argc;) {
    std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (takeOption(argc, argv, i, "-o", output) || takeOption(argc, argv, i, "--output", output) ||
        takeOption(argc, argv, i, "--stub", stubPath) || takeOption(argc, argv, i, "--dest", dest) ||
        takeOption(argc, argv, i, "--command", command) || takeOption(argc, argv, i, "--title", title) ||
        takeOption(argc, argv, i, "--prompt", prompt) || takeOption(argc, argv, i, "--codepage", codePage) ||
        takeOption(argc, argv, i, "--variant", variant) || takeOption(argc, argv, i, "--magic", s.magic) ||
        takeOption(argc, argv, i, "--method", method) || takeOption(argc, argv, i, "--level", level) ||
        takeOption(argc, argv, i, "--threads", threads))
      continue;
    if (a == "--no-confirm") s.noConfirm = 1;
    else if (a == "--no-open-folder") s.openFolderAfter = 0;
    else if (a == "--delete-after") s.deleteAfterSetup = 1;
    else if (a == "--skip-dialog") s.skipDestinationDialog = 1;
    else if (a == "--needs-64bit") s.variant = '6';
    else if (a == "--no-crc") s.withCrc32 = false;
    else if (a == "--no-check") check = false;
    else if (a == "--files") files = true;
    else if (a == "--best") archiveOptions.best = true;
    else if (a.size() > 1 && a[0] == '-') return usageError("unknown option '" + std::string(a) + "'");
    else paths.emplace_back(a);
    i++;
  }
  if (output.empty() || paths.empty()) return usageError("need -o OUTPUT and an ARCHIVE or PATH...");
  // One plain file is an archive to pack; folders, several paths or --files make one.
  std::error_code error;
  files = files || paths.size() > 1 || std::filesystem::is_directory(paths[0], error);
  if (!files && (!method.empty() || !level.empty() || !threads.empty() || archiveOptions.best))
    return usageError("--method, --level, --best and --threads shape an archive written from files (add --files)");
  if (std::string why; !setArchiveShape(method, level, threads, archiveOptions, &why)) return usageError(why);
  if (!codePage.empty() && codePage != "932" && codePage != "1252") return usageError("--codepage takes 932 or 1252");
  if (!variant.empty()) {
    if (variant.size() != 1) return usageError("--variant takes one character");
    s.variant = variant[0];
  }
  if (s.magic.size() > 6) return usageError("--magic takes at most 6 characters");
  if (s.deleteAfterSetup && command.empty())
    std::fprintf(stderr, "zaroza pack: note: --delete-after has no effect without --command\n");
  if (std::string why = encodeTexts({&dest, &command, &title, &prompt},
                                    {&s.destinationPath, &s.setupCommand, &s.promptTitle, &s.promptText}, codePage);
      !why.empty())
    return usageError("--dest, --command, --title and --prompt " + why);

  if (stubPath.empty()) stubPath = defaultStub();
  if (stubPath.empty()) return usageError("no stub found; build it (make win32) or pass --stub");
  auto stub = readWholeFile(stubPath);
  if (!stub) {
    std::fprintf(stderr, "zaroza pack: cannot read stub %s\n", stubPath.c_str());
    return 1;
  }
  std::string why;
  std::optional<std::vector<uint8_t>> archive =
      files ? archiveOfFiles(paths, archiveOptions, output, &why) : archiveGiven(*stub, paths[0], check, &why);
  if (archive && !fitsTheStub(*stub, archive->size(), &why)) archive.reset();
  if (!archive) {
    std::fprintf(stderr, "zaroza pack: %s; nothing written\n", why.c_str());
    return 1;
  }
  padForSigning(stub->size(), *archive);
  auto block = buildConfig(s, crc32Of(archive->data(), archive->size()), &why);
  if (!block) return usageError(why);
  auto package = assemblePackage(*stub, *block, *archive, &why);
  if (!package) {
    std::fprintf(stderr, "zaroza pack: %s\n", why.c_str());
    return 1;
  }
  if (!writeWholeFile(output, *package)) {
    std::fprintf(stderr, "zaroza pack: cannot write %s\n", output.c_str());
    return 1;
  }
  std::printf("%s: %zu bytes (stub %zu, block 512, archive %zu)\n", output.c_str(), package->size(), stub->size(),
              archive->size());
  return 0;
}
