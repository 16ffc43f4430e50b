// zaroza: host tool for self-extracting packages and LHA archives.
#include <cstdio>
#include <cstring>

#include "tools/commands.h"

namespace {

const Command kCommands[] = {
    {"info", "show the payload and configuration block of a package", commandInfo},
    {"pack", "make a self-extracting package from the stub and an archive", commandPack},
    {"list", "list the members of an LHA archive or a package", commandList},
    {"test", "decode every member of an LHA archive or a package and check its CRC-16", commandTest},
    {"extract", "extract an LHA archive or a package with the stub's own worker", commandExtract},
    {"archive", "write a plain LHA archive of files and folders", commandArchive},
};

void printUsage(FILE* out) {
  std::fprintf(out,
               "usage: zaroza COMMAND [OPTIONS] FILE\n"
               "\n"
               "commands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
  std::fprintf(out, "\nRun 'zaroza COMMAND --help' for the options of a command.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    printUsage(stderr);
    return 2;
  }
  if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
    printUsage(stdout);
    return 0;
  }
  for (const Command& c : kCommands)
    if (!std::strcmp(argv[1], c.name)) return c.run(argc - 1, argv + 1);
  std::fprintf(stderr, "zaroza: unknown command '%s'\n", argv[1]);
  printUsage(stderr);
  return 2;
}
