#include "startup/cmdline.h"

#include <cstring>

#include "extract/paths.h"
#include "extract/run_driver.h"
#include "startup/payload.h"
#include "startup/settings.h"
#include "sys/fs.h"
#include "sys/process.h"
#include "sys/ui.h"

namespace {

constexpr int kUnset = -1;

struct ParseState {
  char work[kArgumentBytes];
  int length;
  int endMark;   // behind the last recognised switch; kUnset when none was seen
  bool valueTooLong;
};

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

bool copyText(char* out, int capacity, const char* from, int count) {
  if (count >= capacity) return false;
  std::memcpy(out, from, count);
  out[count] = '\0';
  return true;
}

// The /E: value starting at `at` (behind the colon); returns where the scan resumes.
int takeSetupCommand(ParseState& s, int at) {
  char terminator = ' ';
  if (at < s.length && s.work[at] == '"') {
    s.work[at] = ' ';
    terminator = '"';
    at++;
  }
  int end = at;
  while (end < s.length && s.work[end] != terminator) end++;
  // A command that does not fit is refused rather than run cut short.
  if (!copyText(sfxSettings.setupCommand, sizeof sfxSettings.setupCommand, s.work + at, end - at))
    s.valueTooLong = true;
  if (end < s.length) {
    s.work[end] = ' ';
    s.endMark = end + 1;
  } else {
    s.endMark = s.length;
  }
  return at + 1;
}

void scanSwitches(ParseState& s) {
  int i = 0;
  while (i < s.length) {
    if (s.work[i] != '/') {
      i++;
      continue;
    }
    if (i + 1 >= s.length) return;
    char c = lower(s.work[i + 1]);
    switch (c) {
      case 'd': sfxSettings.deleteAfterSetup = 1; break;
      case 'h': sfxSettings.skipDestinationDialog = 1; break;
      case 'n': sfxSettings.openFolderAfter = 0; break;
      case 'o': sfxSettings.noConfirm = 1; break;
      case 'e':
        if (i + 2 >= s.length) return;
        if (s.work[i + 2] == ':') {
          i = takeSetupCommand(s, i + 3);
        } else {
          i += 3;  // the character behind the letter is passed over
        }
        continue;
      default:
        i += 2;
        continue;
    }
    s.endMark = i + 2;
    i += 2;
  }
}

void trimBlanks(char* text) {
  size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
}

// strtok over '"' on the text from the first quote: the archive path, and a destination
// when the second piece begins with a blank.
bool takeQuotedPaths(ParseState& s, const char* firstQuote, char* archivePath) {
  const char* pieces[3] = {};
  int lengths[3] = {};
  int count = 0;
  const char* p = firstQuote;
  const char* end = s.work + s.length;
  while (count < 3) {
    while (p < end && *p == '"') p++;
    if (p >= end) break;
    const char* q = p;
    while (q < end && *q != '"') q++;
    pieces[count] = p;
    lengths[count] = int(q - p);
    count++;
    p = q;
  }
  if (count >= 1 && (!copyText(archivePath, kPathBytes, pieces[0], lengths[0]) || !pathFits(archivePath))) return false;
  if (count >= 3 && pieces[1][0] == ' ' && lengths[2] > 0) {
    char destination[kPathBytes];
    if (!copyText(destination, sizeof destination, pieces[2], lengths[2]) || !pathFits(destination)) return false;
    // A destination naming an existing file (not a folder) is ignored; a missing one is
    // fine (the failure value has the directory bit).
    if (sys::getFileAttributes(destination) & sys::kAttrDirectory)
      std::memcpy(sfxSettings.destinationPath, destination, sizeof destination);
  }
  return true;
}

bool takeArchivePath(ParseState& s, char* archivePath) {
  if (const char* quote = std::strchr(s.work, '"')) return takeQuotedPaths(s, quote, archivePath);
  const char* from = s.work;
  int count = s.length;
  if (s.endMark == kUnset) {
    // no switch: the whole text
  } else if (s.endMark >= s.length) {
    const char* slash = std::strchr(s.work, '/');
    count = slash ? int(slash - s.work) : s.length;
  } else {
    from = s.work + s.endMark;
    if (*from == ' ')
      while (*from == ' ') from++;
    count = int(s.work + s.length - from);
  }
  return copyText(archivePath, kPathBytes, from, count) && pathFits(archivePath);
}

}  // namespace

const char* skipProgramName(const char* p) {
  if (*p == '"') {
    p++;
    while (*p && *p != '"') p++;
    if (*p == '"') p++;
  } else {
    while (static_cast<unsigned char>(*p) > 32) p++;
  }
  while (*p && static_cast<unsigned char>(*p) <= 32) p++;
  return p;
}

bool parseCommandLine(const char* argumentText, char* archivePath, uint32_t* exitCode) {
  archivePath[0] = '\0';
  *exitCode = kExitBadCommandLine;
  ParseState s{};
  s.length = int(std::strlen(argumentText));
  // Longer texts than the buffers hold are refused: a cut path or command could name
  // something else than the user meant.
  if (s.length >= kArgumentBytes) return false;
  std::memcpy(s.work, argumentText, s.length + 1);
  s.endMark = kUnset;

  scanSwitches(s);
  if (s.valueTooLong) return false;
  if (sfxSettings.setupCommand[0] == '\0') sfxSettings.deleteAfterSetup = 0;

  if (!takeArchivePath(s, archivePath)) {
    archivePath[0] = '\0';
    return false;
  }
  trimBlanks(archivePath);
  if (archivePath[0] == '\0') return true;
  // Every rule that follows takes the archive's folder from its path: "data.lzh" typed
  // in its own folder must name that folder, not an empty one.
  char full[kPathBytes];
  if (!sys::fullPathName(archivePath, full, sizeof full)) return false;
  std::strcpy(archivePath, full);
  *exitCode = kExitNotFound;
  return sys::searchPath(archivePath) && !(sys::getFileAttributes(archivePath) & sys::kAttrDirectory);
}

uint32_t sfxMain(const void* instance, const char* argumentText) {
  // Before anything can load a library at run time: packages are started from download
  // folders, where a planted library of a system name must never be picked up.
  sys::limitLibrarySearch();
  sys::initCommonControls();
  startupState.instance = instance;
  resetSfxSettings();
  char archivePath[kPathBytes] = "";
  uint32_t exitCode;
  if (argumentText[0] != '\0' && !parseCommandLine(argumentText, archivePath, &exitCode)) return exitCode;
  return runExtraction(archivePath);
}
