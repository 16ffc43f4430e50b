// Sub-commands of the host tool. Each takes its own argv (argv[0] is the command name)
// and returns the process exit status: 0 success, 1 a failure found in the input,
// 2 a usage error.
#pragma once

struct Command {
  const char* name;
  const char* summary;
  int (*run)(int argc, char** argv);
};

int commandInfo(int argc, char** argv);
int commandPack(int argc, char** argv);
int commandList(int argc, char** argv);
int commandTest(int argc, char** argv);
int commandExtract(int argc, char** argv);
int commandArchive(int argc, char** argv);
