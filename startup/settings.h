// The process-wide settings record: command-line switches, replaced by a valid
// configuration block, read by every later phase of the run.
#pragma once
#include <cstdint>

// Texts are UTF-8: a field of the block or a command-line value, converted where it came
// in, takes up to three bytes for each byte (or UTF-16 unit) it had there.
struct SfxSettings {
  char wow64Mode;             // '6' when a 64-bit package passed the WOW64 test
  char destinationPath[3 * 260];
  char setupCommand[3 * 128];
  uint32_t noConfirm;
  uint32_t openFolderAfter;
  uint32_t deleteAfterSetup;
  uint32_t skipDestinationDialog;
  uint32_t archiveCrc32;
  char promptTitle[3 * 32];
  char promptText[3 * 64];
  uint32_t newerOnly;
};

extern SfxSettings sfxSettings;

// All fields zero or empty, openFolderAfter 1: the state before the command line is read.
void resetSfxSettings();
