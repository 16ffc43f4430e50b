// The setup command: an INF file installed through rundll32 and the setup library, or
// anything else started through the shell; the wait for the installer; the folder view.
#pragma once
#include <cstdint>

// Runs destination + setupCommand and returns when the waiting is over. With
// waitForInstaller (deleteAfterSetup) it waits for the program and for an installer
// window it left behind; an INF installation is always waited for. False when nothing
// could be started; *exitCode: the program's exit code when it was waited for, else 0.
bool runSetupCommand(const char* setupCommand, const char* destination, bool waitForInstaller,
                     uint32_t* exitCode);

// Installer windows that outlive the program that started them ("MsiDialogCloseClass",
// "InstallShield_Win", a window titled "Setup"). Fills the two 128-byte buffers with the
// search that found one (the other stays empty); false when none is there.
bool findInstallerWindow(char* className, char* windowTitle);

// Opens the destination in the shell's file browser.
void openDestinationFolder(const char* destination);

// How a shell command splits into the file to start and its parameters: the file ends
// at the first ".exe" (any case) that a blank, a '/' or the end follows, and the
// parameters start after that blank (a '/' stays with them). Without such an ".exe" the
// whole text is the file and there are no parameters (null).
struct CommandSplit {
  char file[3 * 260 + 3 * 128 + 2];   // the joined path, with room for the terminator put in before a switch
  const char* parameters;   // into `file`'s storage, or null
};
void splitSetupCommand(const char* joinedPath, uint32_t commandStart, CommandSplit& split);
