// The destination folder, folder trees, and member paths that cannot leave the destination.
#include "extract/destination.h"

#include <cstdio>
#include <cstring>

#include "extract/paths.h"
#include "extract/run_state.h"
#include "startup/settings.h"
#include "sys/fs.h"
#include "sys/text.h"
#include "ui/messages.h"

namespace {

// Wide texts here hold up to two path texts joined (2 x 259 units).
using WideText = char16_t[kWideUnits];

int wideLength(const char16_t* text) {
  int n = 0;
  while (text[n]) ++n;
  return n;
}

void copyWide(char16_t* out, const char16_t* text) {
  int n = wideLength(text);
  std::memcpy(out, text, (n + 1) * sizeof(char16_t));
}

bool containsAny(const char16_t* text, const char* characters) {
  for (; *text; ++text)
    for (const char* c = characters; *c; ++c)
      if (*text == static_cast<char16_t>(*c)) return true;
  return false;
}

int lastBackslash(const char16_t* text) {
  int found = -1;
  for (int i = 0; text[i]; ++i)
    if (text[i] == u'\\') found = i;
  return found;
}

// out = prefix followed by the narrow form of wideTail; false when it does not fit.
bool joinNarrow(char* out, int capacity, const char* prefix, const char16_t* wideTail) {
  const char* tail = wideTail[0] ? toNarrow(wideTail) : "";
  if (wideTail[0] && !tail[0]) return false;
  size_t a = std::strlen(prefix), b = std::strlen(tail);
  if (a + b >= static_cast<size_t>(capacity)) return false;
  std::memmove(out, prefix, a);
  std::memcpy(out + a, tail, b + 1);
  return true;
}

// True when the last character (not merely the last byte) is a backslash.
bool endsInBackslash(const char* text) {
  const char16_t* wide = toWide(text);
  int n = wideLength(wide);
  return n > 0 && wide[n - 1] == u'\\';
}

void copyText(char* out, const char* text) {
  size_t n = strnlen(text, kPathBytes - 1);
  std::memmove(out, text, n);
  out[n] = '\0';
}

// "..\" prefixes: cut one folder of the archive's folder per reference and keep the text
// after the last one. False when the archive's drive root is passed.
bool climbFromArchiveFolder(const char16_t* wide, const char* archiveFolder, char* composed,
                            int capacity) {
  int count = 0, restStart = 0;
  for (int i = 0; wide[i];) {
    if (wide[i] == u'.' && wide[i + 1] == u'.' && wide[i + 2] == u'\\') {
      ++count;
      restStart = i + 2;
      i += 2;  // the next search starts at this match's backslash
    } else {
      ++i;
    }
  }
  WideText rest, folder;
  copyWide(rest, wide + restStart);
  copyWide(folder, toWide(archiveFolder));
  int n = wideLength(folder);
  if (n > 0 && folder[n - 1] == u'\\') folder[n - 1] = 0;
  for (int k = 0; k < count; ++k) {
    int cut = lastBackslash(folder);
    if (cut < 0) return false;
    folder[cut] = 0;
  }
  char folderText[kPathBytes];
  copyText(folderText, toNarrow(folder));
  if (folder[0] && !folderText[0]) return false;
  return joinNarrow(composed, capacity, folderText, rest);
}

}  // namespace

DestinationOutcome normalizeDestination(const char* archiveFolder) {
  char* destination = sfxSettings.destinationPath;
  // A text that is not UTF-8 names nothing; the dialog gives one for a text longer than a
  // path, which it never cuts.
  if (pathUnits(destination) < 0) {
    copyText(destination, archiveFolder);
    return DestinationOutcome::retry;
  }
  slashesToBackslashes(destination);
  removeTrailingBackslash(destination);

  // Room for the archive's folder followed by the whole text.
  char composed[2 * kPathBytes];
  bool fits = true;
  if (!destination[0]) {
    copyText(composed, archiveFolder);
  } else {
    WideText wide;
    copyWide(wide, toWide(destination));
    size_t length = std::strlen(destination);
    bool hasBackslash = lastBackslash(wide) >= 0;
    if (!hasBackslash && destination[length - 1] != ':') {
      fits = joinNarrow(composed, sizeof composed, archiveFolder, wide);
    } else if (wide[0] == u'\\' && wide[1] != u'\\') {
      fits = joinNarrow(composed, sizeof composed, archiveFolder, wide + 1);
    } else if (wide[0] == u'.' && wide[1] == u'\\') {
      fits = joinNarrow(composed, sizeof composed, archiveFolder, wide + 2);
    } else if (wide[0] == u'.' && wide[1] == u'.' && wide[2] == u'\\') {
      if (!climbFromArchiveFolder(wide, archiveFolder, composed, sizeof composed)) {
        copyText(destination, archiveFolder);
        removeTrailingBackslash(destination);
        return DestinationOutcome::retry;
      }
    } else {
      copyText(composed, destination);
    }
  }

  if (fits && !containsAny(toWide(composed), ";*?\"<>|")) {
    trimTrailingSpaces(composed);
    // A destination that does not fit is never cut into a different folder.
    if (ensureTrailingBackslash(composed, kPathBytes) && pathFits(composed) &&
        (!composed[0] || endsInBackslash(composed))) {
      std::strcpy(destination, composed);
      return DestinationOutcome::accepted;
    }
  }
  copyText(destination, archiveFolder);
  return DestinationOutcome::retry;
}

bool createFolderTree(const char* path) {
  char16_t wide[kWideUnits + 1];
  copyWide(wide, toWide(path));
  int n = wideLength(wide);
  if (n == 0 || !pathFits(path)) return false;

  int rootEnd;  // index of the backslash that ends the root
  if (n >= 3 && wide[1] == u':' && wide[2] == u'\\') {
    rootEnd = 2;
  } else if (wide[0] == u'\\' && wide[1] == u'\\' && n >= 8) {
    int serverEnd = -1, shareEnd = -1;
    for (int i = 2; i < n && shareEnd < 0; ++i) {
      if (wide[i] != u'\\') continue;
      if (serverEnd < 0) serverEnd = i;
      else shareEnd = i;
    }
    if (shareEnd < 0) return false;
    rootEnd = shareEnd;
  } else {
    return false;
  }
  if (wide[n - 1] != u'\\') {
    wide[n++] = u'\\';
    wide[n] = 0;
  }

  for (int i = rootEnd; i < n; ++i) {
    if (wide[i] != u'\\') continue;
    char16_t saved = wide[i + 1];
    wide[i + 1] = 0;
    char prefix[kPathBytes];
    copyText(prefix, toNarrow(wide));
    wide[i + 1] = saved;
    if (!prefix[0]) return false;  // longer than a path text can be
    if (sys::getFileAttributes(prefix) == sys::kInvalidAttributes && !sys::createDirectory(prefix))
      return false;
  }
  return true;
}

namespace {

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// A component made of dots and blanks only: Windows trims trailing dots and blanks, so it
// names the folder itself or its parent (".", "..", "...", ".. ").
bool isDotsAndBlanks(const char* begin, const char* end) {
  for (const char* p = begin; p < end; ++p)
    if (*p != '.' && *p != ' ') return false;
  return true;
}

// Removes empty components and those of isDotsAndBlanks.
void removeDotComponents(char* path) {
  char* out = path;
  const char* in = path;
  bool endsWithSeparator = false;
  while (*in) {
    const char* begin = in;
    while (*in && *in != '\\') ++in;
    const char* end = in;
    endsWithSeparator = *in == '\\';
    if (*in) ++in;
    if (begin == end || isDotsAndBlanks(begin, end)) {
      endsWithSeparator = true;  // "a\.." names the folder a, never a file called a
      continue;
    }
    if (out != path) *out++ = '\\';
    std::memmove(out, begin, end - begin);
    out += end - begin;
  }
  if (endsWithSeparator && out != path) *out++ = '\\';
  *out = '\0';
}

bool equalsAscii(const char16_t* text, int length, const char* name) {
  int i = 0;
  for (; i < length && name[i]; ++i) {
    char16_t c = text[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    if (c != static_cast<char16_t>(name[i])) return false;
  }
  return i == length && !name[i];
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (also with the superscript digits
// Windows accepts), in any case, with or without an extension or trailing blanks.
bool isDeviceName(const char16_t* component, int length) {
  int base = 0;
  while (base < length && component[base] != u'.') ++base;
  while (base > 0 && component[base - 1] == u' ') --base;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices)
    if (equalsAscii(component, base, device)) return true;
  if (base == 4 && (equalsAscii(component, 3, "COM") || equalsAscii(component, 3, "LPT"))) {
    char16_t digit = component[3];
    return (digit >= u'0' && digit <= u'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

// Every component of the wide relative path must name something inside its folder: not
// empty (a trailing separator aside), not dots and blanks only, not a device.
bool componentsStayInside(const char16_t* wide) {
  int start = 0;
  for (int i = 0;; ++i) {
    if (wide[i] && !isSeparator(wide[i])) continue;
    int length = i - start;
    bool last = !wide[i];
    if (length == 0) {
      if (!(last && i > 0)) return false;
    } else {
      bool dotsAndBlanks = true;
      for (int k = start; k < i; ++k)
        if (wide[k] != u'.' && wide[k] != u' ') dotsAndBlanks = false;
      if (dotsAndBlanks || isDeviceName(wide + start, length)) return false;
    }
    if (last) return true;
    start = i + 1;
  }
}

// The whole check on a trimmed relative path, on the UTF-16 form the system will see.
bool isAcceptableMemberPath(const char* destination, const char* path, char16_t* wide) {
  if (!path[0]) return false;
  // The target must fit 259 units whole; cutting it would name a different file.
  if (!joinedFits(destination, path)) return false;
  copyWide(wide, toWide(path));
  if (!wide[0]) return false;
  // Bytes that do not survive the round trip (broken double-byte pairs) would reach the
  // file system as something other than what was checked here.
  if (std::strcmp(toNarrow(wide), path) != 0) return false;
  if (containsAny(wide, ":;*?\"<>|")) return false;
  return componentsStayInside(wide);
}

void reportInvalidName(const char* path) { showMessage(Message::invalidFileName, path); }

void reportFolderFailure() {
  stopRun(kRunFailed);
  showMessage(Message::cannotCreateFolder);
}

}  // namespace

char* cleanMemberPath(char* path) {
  char* relative = path[0] == '\\' ? path + 1 : path;
  // Windows takes '/' as a separator wherever it stands, so it is converted in every case;
  // further leading separators (a network form such as \\server\share) are dropped too.
  slashesToBackslashes(relative);
  while (relative[0] == '\\') ++relative;
  stripParentReferences(relative);
  removeDotComponents(relative);
  return relative;
}

TargetOutcome buildMemberTarget(const char* destination, char* relativePath, char* target) {
  trimTrailingSpaces(relativePath);
  WideText wide;
  if (!isAcceptableMemberPath(destination, relativePath, wide)) {
    reportInvalidName(relativePath);
    return TargetOutcome::skipped;
  }

  int split = lastBackslash(wide);
  if (split < 0) {
    std::strcpy(target, destination);
    std::strcat(target, relativePath);
    return TargetOutcome::file;
  }
  wide[split] = 0;
  char folder[kPathBytes], name[kPathBytes];
  copyText(folder, toNarrow(wide));
  copyText(name, toNarrow(wide + split + 1));
  std::strcpy(target, destination);
  std::strcat(target, folder);
  std::strcat(target, "\\");
  if (!createFolderTree(target)) {
    reportFolderFailure();
    return TargetOutcome::failed;
  }
  if (!name[0]) return TargetOutcome::folderOnly;
  std::strcat(target, name);
  return TargetOutcome::file;
}
