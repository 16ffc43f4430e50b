#include "post/setup.h"

#include <cstring>

#include "extract/paths.h"
#include "startup/settings.h"
#include "sys/fs.h"
#include "sys/process.h"
#include "sys/shell.h"
#include "sys/text.h"

namespace {

// destination and setup command joined: UTF-8 texts of up to 259 and 127 characters
constexpr int kCommandBytes = kPathBytes + 3 * 128;
constexpr int kNameBytes = 128;
constexpr uint32_t kSearchesAfterRunning = 200;   // the program waited for: a short look
constexpr uint32_t kSearchesAfterQuickExit = 3000;  // it handed over at once: a long one

// Drive and directory of a path text: everything up to its last backslash or slash.
void folderPartOf(const char* path, char* folder, int capacity) {
  int end = 0;
  for (int i = 0; path[i]; ++i)
    if (path[i] == '\\' || path[i] == '/') end = i + 1;
  if (end >= capacity) end = 0;
  std::memcpy(folder, path, end);
  folder[end] = '\0';
}

bool isExeAt(const char* p) {
  return p[0] == '.' && (p[1] | 0x20) == 'e' && (p[2] | 0x20) == 'x' && (p[3] | 0x20) == 'e';
}

// rundll32 from the system folder only: found through the search path it could be a
// program planted in the package's folder or in the destination.
bool systemProgram(const char* name, char* path) {
  if (sys::systemDirectory(path, kPathBytes) == 0) return false;
  if (!ensureTrailingBackslash(path, kPathBytes) || std::strlen(path) + std::strlen(name) >= kPathBytes)
    return false;
  std::strcat(path, name);
  return sys::getFileAttributes(path) != sys::kInvalidAttributes;
}

bool runInfSetup(const char* commandPath, const char* workingFolder, uint32_t* exitCode) {
  bool redirectionOff = sfxSettings.wow64Mode == '6' && sys::wow64Switch(0) != 0;
  char shortPath[kPathBytes];
  char program[kPathBytes];
  const char* arguments = nullptr;
  // An INF whose short path cannot be had is missing or unreachable: nothing to install.
  if (sys::shortPathName(commandPath, shortPath, sizeof shortPath) != 0) {
    if (systemProgram("rundll32.exe", program)) {
      arguments = "setupapi,InstallHinfSection DefaultInstall 132";
    } else if (systemProgram("rundll.exe", program)) {
      arguments = "setupx.dll,InstallHinfSection DefaultInstall 132";
    }
  }
  bool started = false;
  if (arguments) {
    char line[2 * kCommandBytes];
    sys::formatText(line, sizeof line, "\"%s\" %s %s", program, arguments, shortPath);
    if (sys::ProcessHandle process = sys::createProcess(program, line, workingFolder)) {
      started = true;
      sys::waitForProcess(process, sys::kWaitForever);
      if (!sys::getExitCode(process, exitCode)) *exitCode = 0;
      sys::closeProcess(process);
    }
  }
  if (redirectionOff) sys::wow64Switch(1);
  return started;
}

// Waits for an installer window the program left, then for it to close.
void followInstallerWindow(uint32_t searches) {
  char className[kNameBytes], title[kNameBytes];
  bool found = false;
  for (uint32_t attempt = 0; attempt < searches && !found; ++attempt) {
    sys::sleepMs(10);
    className[0] = title[0] = '\0';
    found = findInstallerWindow(className, title);
  }
  if (!found) return;
  do {
    sys::sleepMs(100);
  } while (sys::windowExists(className, title));
}

bool runShellSetup(const char* commandPath, uint32_t commandStart, bool waitForInstaller, uint32_t* exitCode) {
  CommandSplit split;
  splitSetupCommand(commandPath, commandStart, split);
  char workingFolder[kPathBytes];
  folderPartOf(split.file, workingFolder, sizeof workingFolder);
  sys::ProcessHandle process = sys::shellExecute(split.file, split.parameters, workingFolder);
  if (!process) return false;
  sys::waitForInputIdle(process);
  sys::sleepMs(100);
  uint32_t code = 0;
  if (!sys::getExitCode(process, &code) || !waitForInstaller) {
    sys::closeProcess(process);
    return true;
  }
  bool wasRunning = code == sys::kStillActive;
  if (wasRunning) {
    while (!sys::waitForProcess(process, 0)) sys::sleepMs(100);
    if (!sys::getExitCode(process, &code)) code = 0;
  }
  *exitCode = code;
  sys::closeProcess(process);
  sys::sleepMs(1000);
  followInstallerWindow(wasRunning ? kSearchesAfterRunning : kSearchesAfterQuickExit);
  return true;
}

}  // namespace

void splitSetupCommand(const char* joinedPath, uint32_t commandStart, CommandSplit& split) {
  std::strncpy(split.file, joinedPath, sizeof split.file - 1);
  split.file[sizeof split.file - 1] = '\0';
  split.parameters = nullptr;
  // Only the command is searched: the destination's own folders may hold ".exe ".
  for (char* p = split.file + commandStart; *p; ++p) {
    if (!isExeAt(p)) continue;
    char after = p[4];
    if (after != '\0' && after != ' ' && after != '/') continue;
    char* parameters = p + 4;
    if (after == ' ') {
      *parameters++ = '\0';
    } else if (after == '/') {
      // The file name must end before the switch; the parameters keep it.
      std::memmove(parameters + 1, parameters, std::strlen(parameters) + 1);
      *parameters++ = '\0';
    }
    split.parameters = parameters;
    return;
  }
}

bool findInstallerWindow(char* className, char* windowTitle) {
  const char* const classes[] = {"MsiDialogCloseClass", "InstallShield_Win"};
  for (const char* name : classes) {
    std::strcpy(className, name);
    if (sys::windowExists(className, nullptr)) return true;
  }
  className[0] = '\0';
  std::strcpy(windowTitle, "Setup");
  if (sys::windowExists(nullptr, windowTitle)) return true;
  windowTitle[0] = '\0';
  return false;
}

bool runSetupCommand(const char* setupCommand, const char* destination, bool waitForInstaller,
                     uint32_t* exitCode) {
  *exitCode = 0;
  char commandPath[kCommandBytes] = {};
  size_t destinationBytes = std::strlen(destination);
  if (destinationBytes + std::strlen(setupCommand) >= sizeof commandPath) return false;
  std::strcpy(commandPath, destination);
  std::strcat(commandPath, setupCommand);
  const char* dot = std::strrchr(commandPath, '.');
  if (dot && sys::compareIgnoreCase(dot, ".inf") == 0) {
    char workingFolder[kPathBytes];
    folderPartOf(commandPath, workingFolder, sizeof workingFolder);
    return runInfSetup(commandPath, workingFolder, exitCode);
  }
  return runShellSetup(commandPath, static_cast<uint32_t>(destinationBytes), waitForInstaller, exitCode);
}

void openDestinationFolder(const char* destination) { sys::openFolderInShell(destination); }
