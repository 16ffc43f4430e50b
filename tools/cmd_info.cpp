// zaroza info FILE: payload offset, every configuration field, the archive's CRC-32.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/commands.h"
#include "tools/package.h"
#include "tools/tool_util.h"

namespace {

const char kUsage[] =
    "usage: zaroza info [--codepage 932|1252] FILE\n"
    "\n"
    "Shows where the payload of a self-extracting file begins, every field of its\n"
    "configuration block (texts converted to UTF-8) and whether the archive's CRC-32\n"
    "matches the block. A text behind the UTF-8 mark is shown as \"(UTF-8)\", which every\n"
    "system reads alike; any other text that is not ASCII is read by the stub in the\n"
    "system's code page: its code page is guessed unless --codepage is given.\n"
    "Exit status: 0 for a package with a valid block and a matching (or unset) CRC-32,\n"
    "1 when the file has no payload, no valid block or a wrong CRC-32, 2 on usage errors.\n";

std::string_view field(const char* text, size_t width) { return {text, strnlen(text, width)}; }

bool marked(std::string_view bytes) { return bytes.substr(0, 3) == kUtf8Mark; }

// The text, quoted, and how it is stored: behind the UTF-8 mark, or in the code page.
std::string shown(std::string_view bytes, unsigned codePage) {
  bool utf8Text = marked(bytes);
  auto utf8 = utf8Text ? std::optional<std::string>(bytes.substr(3)) : codePageToUtf8(bytes, codePage);
  std::string s = utf8 ? *utf8 : std::string(bytes);
  std::string out = "\"";
  for (char c : s) {
    if (c == '\n') out += "\\n";
    else if (c == '"') out += "\\\"";
    else out += c;
  }
  return out + (utf8Text ? "\" (UTF-8)" : "\"");
}

void printBlock(const SfxConfig& c, unsigned codePage) {
  std::printf("  variant:               %c (%s)\n", c.variant >= 32 && c.variant < 127 ? c.variant : '?',
              c.variant == '6' ? "needs a 64-bit system" : "ordinary");
  std::printf("  destinationPath:       %s\n", shown(field(c.destinationPath, sizeof c.destinationPath), codePage).c_str());
  std::printf("  setupCommand:          %s\n", shown(field(c.setupCommand, sizeof c.setupCommand), codePage).c_str());
  std::printf("  noConfirm:             %u\n", c.noConfirm);
  std::printf("  openFolderAfter:       %u\n", c.openFolderAfter);
  std::printf("  deleteAfterSetup:      %u\n", c.deleteAfterSetup);
  std::printf("  skipDestinationDialog: %u\n", c.skipDestinationDialog);
  std::printf("  archiveCrc32:          0x%08X%s\n", c.archiveCrc32, c.archiveCrc32 ? "" : " (no check)");
  std::printf("  promptTitle:           %s\n", shown(field(c.promptTitle, sizeof c.promptTitle), codePage).c_str());
  std::printf("  promptText:            %s\n", shown(field(c.promptText, sizeof c.promptText), codePage).c_str());
  // Only texts without the mark depend on a code page; name it when there is one.
  if (codePage) std::printf("  text code page:        %u\n", codePage);
  // Unterminated texts are cut by the stub; say so rather than hide it.
  if (!memchr(c.destinationPath, 0, sizeof c.destinationPath) || !memchr(c.setupCommand, 0, sizeof c.setupCommand) ||
      !memchr(c.promptTitle, 0, sizeof c.promptTitle) || !memchr(c.promptText, 0, sizeof c.promptText))
    std::printf("  warning: a text fills its whole field without a terminator; the stub cuts it\n");
}

}  // namespace

int commandInfo(int argc, char** argv) {
  FileArguments args;
  if (int status = parseFileArguments(argc, argv, "info", kUsage, {}, args); status >= 0) return status;
  const std::string& file = args.file;
  const std::string& codePageText = args.codePage;
  auto bytes = readWholeFile(file);
  if (!bytes) {
    std::fprintf(stderr, "zaroza info: cannot read %s\n", file.c_str());
    return 1;
  }
  PackageInfo info = inspectPackage(*bytes);
  std::printf("file:              %s\n", file.c_str());
  std::printf("file size:         %zu\n", bytes->size());
  if (!info.isExecutable) {
    std::printf("not a self-extracting file: no Windows executable header\n");
    return 1;
  }
  if (info.payloadOffset == kNoPayload) {
    std::printf("not a self-extracting file: the section table is damaged\n");
    return 1;
  }
  std::printf("payload offset:    %u (0x%X)\n", info.payloadOffset, info.payloadOffset);
  if (!info.hasPayload) {
    std::printf("no payload: the file ends with the stub's last section\n");
    return 1;
  }
  if (!info.hasFullBlock) {
    std::printf("configuration block: missing (only %zu bytes behind the stub)\n", bytes->size() - info.payloadOffset);
    return 1;
  }
  const SfxConfig& c = info.config;
  std::string magic(c.magic, c.magic + sizeof c.magic);
  for (char& ch : magic) if (static_cast<unsigned char>(ch) < 32 || static_cast<unsigned char>(ch) > 126) ch = '.';
  std::printf("configuration block: %s (magic \"%s\")\n",
              info.blockValid ? "valid" : "not valid, the stub ignores it and uses the command line", magic.c_str());
  // the code page is guessed from the texts without the UTF-8 mark
  std::vector<std::string_view> legacy;
  for (std::string_view text : {field(c.destinationPath, sizeof c.destinationPath),
                                field(c.setupCommand, sizeof c.setupCommand),
                                field(c.promptTitle, sizeof c.promptTitle), field(c.promptText, sizeof c.promptText)})
    if (!marked(text) && !text.empty()) legacy.push_back(text);
  unsigned codePage = !codePageText.empty() ? static_cast<unsigned>(std::stoul(codePageText))
                      : legacy.empty()      ? 0
                                            : guessCodePage(legacy);
  printBlock(c, codePage);
  std::printf("archive:           offset %llu, %llu bytes, CRC-32 0x%08X\n",
              static_cast<unsigned long long>(info.archiveOffset), static_cast<unsigned long long>(info.archiveBytes),
              info.archiveCrc32);
  if (info.isSigned) {
    std::printf("signed:            yes, certificate table at %llu; the CRC-32 covers %llu to %llu%s\n",
                static_cast<unsigned long long>(info.checkedEnd), static_cast<unsigned long long>(info.archiveOffset),
                static_cast<unsigned long long>(info.checkedEnd - info.paddingLeftOut),
                info.paddingLeftOut ? " (the zero bytes the signing tool added before the table left out)" : "");
  } else {
    std::printf("signed:            no; the CRC-32 covers %llu to the end of the file\n",
                static_cast<unsigned long long>(info.archiveOffset));
  }
  if (!info.blockValid) return 1;
  if (c.archiveCrc32 == 0) {
    std::printf("archive CRC-32:    not checked (archiveCrc32 is 0)\n");
    return 0;
  }
  bool match = c.archiveCrc32 == info.archiveCrc32;
  std::printf("archive CRC-32:    %s\n", match ? "matches archiveCrc32" : "DIFFERS from archiveCrc32");
  return match ? 0 : 1;
}
