// Path text operations and folder variables.
#include "extract/paths.h"

#include <cstring>

#include "startup/settings.h"
#include "sys/shell.h"
#include "sys/text.h"

namespace {

// The two conversion areas shared by every caller; see toWide / toNarrow.
struct PathScratch {
  char16_t wide[kWideUnits];
  char narrow[kPathBytes];
};
PathScratch pathScratch;

}  // namespace

const char16_t* toWide(const char* text) {
  std::memset(pathScratch.wide, 0, sizeof pathScratch.wide);
  if (sys::utf8ToWide(text, pathScratch.wide, kWideUnits) < 0) pathScratch.wide[0] = 0;
  return pathScratch.wide;
}

const char* toNarrow(const char16_t* text) {
  std::memset(pathScratch.narrow, 0, sizeof pathScratch.narrow);
  if (sys::wideToUtf8(text, pathScratch.narrow, kPathBytes) < 0) pathScratch.narrow[0] = '\0';
  return pathScratch.narrow;
}

int pathUnits(const char* text) {
  char16_t wide[kWideUnits];
  return sys::utf8ToWide(text, wide, kWideUnits);
}

void trimTrailingSpaces(char* text) {
  size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
}

void slashesToBackslashes(char* text) {
  for (; *text; ++text)
    if (*text == '/') *text = '\\';
}

bool ensureTrailingBackslash(char* text, int capacity) {
  int n = static_cast<int>(std::strlen(text));
  if (n == 0 || text[n - 1] == '\\') return true;
  if (n + 1 >= capacity) return false;
  text[n] = '\\';
  text[n + 1] = '\0';
  return true;
}

void removeTrailingBackslash(char* text) {
  size_t n = std::strlen(text);
  if (n > 0 && text[n - 1] == '\\') text[n - 1] = '\0';
}

void stripParentReferences(char* text) {
  // Compacting in place needs no work space, so no text is too long for it.
  char* out = text;
  for (const char* in = text; *in;) {
    if (in[0] == '.' && in[1] == '.' && in[2] == '\\') {
      in += 3;
    } else {
      *out++ = *in++;
    }
  }
  *out = '\0';
}

void splitFolderAndName(const char* path, char* folder, char* name) {
  folder[0] = '\0';
  name[0] = '\0';
  size_t n = std::strlen(path);
  if (n == 0 || n >= kPathBytes) return;
  // The name starts after the last separator or drive colon.
  size_t nameStart = 0;
  for (size_t i = 0; i < n; ++i)
    if (path[i] == '\\' || path[i] == '/' || (i == 1 && path[i] == ':')) nameStart = i + 1;
  std::memcpy(folder, path, nameStart);
  folder[nameStart] = '\0';
  std::memcpy(name, path + nameStart, n - nameStart + 1);
}

void readShellFolder(const char* valueName, char* out) {
  out[0] = '\0';
  sys::readShellFolderValue(valueName, out, kPathBytes);
}

namespace {

// The folder text of one variable name, empty for an unknown name or a failing source.
void lookUpFolderVariable(const char* name, char* folder) {
  folder[0] = '\0';
  switch (name[0]) {
    case 'D':
      if (std::strcmp(name, "Desktop") == 0) readShellFolder("Desktop", folder);
      break;
    case 'M':
      if (std::strcmp(name, "MyDocuments") == 0) readShellFolder("Personal", folder);
      break;
    case 'P':
      if (std::strcmp(name, "ProgramFiles") == 0) sys::programFilesFolder(folder, kPathBytes);
      break;
    case 'S':
      if (std::strcmp(name, "SystemDir") == 0) sys::systemDirectory(folder, kPathBytes);
      break;
    case 'W':
      if (std::strcmp(name, "WinDir") == 0) sys::windowsDirectory(folder, kPathBytes);
      break;
    case 't':
      if (std::strcmp(name, "temp") == 0) sys::tempPath(folder, kPathBytes);
      break;
    default:
      break;
  }
}

}  // namespace

bool expandDestinationMacro(const char* blockDestination, uint32_t deleteAfterSetup,
                            const char* programPath) {
  char text[kPathBytes];
  size_t length = strnlen(blockDestination, kPathBytes - 1);
  std::memcpy(text, blockDestination, length);
  text[length] = '\0';
  if (length == 0) return false;

  char* destination = sfxSettings.destinationPath;
  const char* second = text[0] == '%' ? std::strchr(text + 1, '%') : nullptr;
  if (!second) {
    std::memcpy(destination, text, length + 1);
    return false;
  }

  char name[kPathBytes];
  size_t nameLength = static_cast<size_t>(second - (text + 1));
  std::memcpy(name, text + 1, nameLength);
  name[nameLength] = '\0';
  const char* rest = second + 1;

  char folder[kPathBytes * 2];
  lookUpFolderVariable(name, folder);

  bool createdTempFolder = false;
  if (name[0] == 't' && std::strcmp(text, "%temp%") == 0 && deleteAfterSetup != 0) {
    char programFolder[kPathBytes], programName[kPathBytes];
    splitFolderAndName(programPath, programFolder, programName);
    std::strcat(folder, "~");
    std::strcat(folder, programName);
    createdTempFolder = true;
  }
  if (folder[0]) removeTrailingBackslash(folder);

  // A destination that does not fit is never cut into another folder: leave it empty so
  // the archive's own folder is offered instead, and never claim a private folder.
  if (std::strlen(folder) + std::strlen(rest) >= kPathBytes || !joinedFits(folder, rest)) {
    destination[0] = '\0';
    return false;
  }
  std::strcpy(destination, folder);
  std::strcat(destination, rest);
  return createdTempFolder;
}
