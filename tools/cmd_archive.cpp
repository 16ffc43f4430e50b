// zaroza archive: a plain LHA archive of files and folders.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/archive_builder.h"
#include "tools/commands.h"
#include "tools/tool_util.h"

namespace {

const char kUsage[] =
    "usage: zaroza archive -o OUT.lzh [--method lh5|lh6|lh7] [--level 0|1|2] [--best] [--threads N] PATH...\n"
    "\n"
    "Writes a plain LHA archive of the files and folders named. A file is stored by its\n"
    "own name; a folder stands for what it holds, stored by paths relative to it, with an\n"
    "entry for every folder inside it. Members come in sorted order with the files' time\n"
    "stamps (capped by SOURCE_DATE_EPOCH when it is set) and read-only attribute; names\n"
    "that are not ASCII are stored in code page 932 where it holds them, else in UTF-8\n"
    "(levels 1 and 2; extended header 0x46 names the code page). A member that packing\n"
    "would not make smaller is stored as it is (-lh0-). On a terminal a progress bar is shown.\n"
    "  -o, --output FILE   the archive to write (replaced only once it is complete)\n"
    "  --method M          lh5 (the default; every LHA reader decodes it), lh6 or lh7\n"
    "  --level N           header level 0, 1 or 2 (the default)\n"
    "  --best              pack smaller, taking longer\n"
    "  --threads N         files packed side by side (default: one per processor, up to 8);\n"
    "                      the archive is the same for any number\n"
    "  --quiet             no progress bar and no summary\n"
    "Exit status: 0 written, 1 a file could not be archived (nothing is written),\n"
    "2 usage error.\n";

int usageError(const std::string& why) { return ::usageError("archive", why, kUsage); }

}  // namespace

int commandArchive(int argc, char** argv) {
  ArchiveOptions options;
  std::string output, method, level, threads;
  bool quiet = false;
  std::vector<std::string> paths;
  if (int status = parseArguments(argc, argv, "archive", kUsage,
                                  {{"-o", &output}, {"--output", &output}, {"--method", &method}, {"--level", &level}, {"--threads", &threads}},
                                  {{"--best", &options.best}, {"--quiet", &quiet}}, paths);
      status >= 0)
    return status;
  if (output.empty() || paths.empty()) return usageError("need -o OUTPUT and at least one PATH");
  std::string why;
  if (!setArchiveShape(method, level, threads, options, &why)) return usageError(why);
  options.progress = !quiet;
  if (!writeArchive(paths, options, output, &why)) {
    std::fprintf(stderr, "zaroza archive: %s\n", why.c_str());
    return 1;
  }
  if (!quiet) {
    if (FILE* f = std::fopen(output.c_str(), "rb")) {
      std::fseek(f, 0, SEEK_END);
      std::printf("%s: %ld bytes\n", output.c_str(), std::ftell(f));
      std::fclose(f);
    }
  }
  return 0;
}
