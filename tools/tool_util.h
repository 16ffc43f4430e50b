// Small helpers shared by the host tool's commands.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Whole file, or nothing when it cannot be read.
std::optional<std::vector<uint8_t>> readWholeFile(const std::string& path);
// Written through a temporary name beside `path`, renamed once complete.
bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
// A temporary file being written that SIGINT, SIGTERM or SIGHUP must remove before the
// process ends; one at a time. False when the path is too long to keep.
bool guardTemporaryFile(const std::string& path);
void releaseTemporaryFile();

// Text conversions between a Windows code page (932 or 1252) and UTF-8.
// Empty optional when the bytes are not valid in that code page / not representable.
std::optional<std::string> codePageToUtf8(std::string_view bytes, unsigned codePage);
std::optional<std::string> utf8ToCodePage(std::string_view text, unsigned codePage);

// Strict UTF-8, as the stub reads it (no overlong forms, no surrogates).
bool validUtf8(std::string_view s);
bool isAscii(std::string_view s);

// The code page a block's texts were most likely written in: 932 when every non-ASCII
// byte forms valid Shift-JIS, else 1252.
unsigned guessCodePage(const std::vector<std::string_view>& texts);

// Looks for an option "--name VALUE" / "--name=VALUE" at argv[i]; advances i past it.
bool takeOption(int argc, char** argv, int& i, std::string_view name, std::string& value);

// Prints "zaroza COMMAND: WHY" and the usage on stderr; returns 2, the usage error status.
int usageError(const char* command, const std::string& why, const char* usage);

// Path of the running tool's own folder ("" when unknown).
std::string toolFolder();

// The arguments every reading command takes: one FILE, --codepage 932|1252, --help, and
// the command's own value options. Returns -1 to go on, or the exit status to end with
// (0 after --help, 2 after a usage error, with the usage printed).
struct FileArguments {
  std::string file;
  std::string codePage;   // "", "932" or "1252"
};
struct ValueOption {
  std::string_view name;
  std::string* value;
};
int parseFileArguments(int argc, char** argv, const char* command, const char* usage,
                       std::initializer_list<ValueOption> options, FileArguments& out);

// The arguments of a command that takes paths: value options, flags, --help, and every
// other argument a path ("--" ends the options). Same result convention.
struct FlagOption {
  std::string_view name;
  bool* value;
};
int parseArguments(int argc, char** argv, const char* command, const char* usage,
                   std::initializer_list<ValueOption> values, std::initializer_list<FlagOption> flags,
                   std::vector<std::string>& paths);

// A progress bar on stderr for the decoding commands, fed by the core's progress
// reports (KiB of archive read). Shown only on a terminal and for archives of 4 MiB or
// more. clearProgressLine makes room for a message line.
void startProgressBar(int64_t archiveBytes, bool allowed = true);
void clearProgressLine();
void stopProgressBar();
