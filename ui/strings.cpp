#include "ui/strings.h"

// Same texts as the English string table of res/zaroza.rc.
static const char* const kEnglish[] = {
    nullptr,
    "Cannot create a file.",
    "Cannot open arhive.",
    "not supported archive format.",
    "The Folder '%s' does not exist.\nDo you want to create it?",
    "Cannot create a folder.",
    "%s\n\ninvalid filename.(skipped)",
    "Cannot create a folder.\nThis archive forbids writing.",
    "CRC check error!",
    "%%s Bytes\nModified: %02d, %02d, %04d,  %02d:%02d:%02d",
    "Invalid path!",
    "Please select a folder to store the extracted files.",
    "This auto-sfx-module cannot be run in Win32.",
};

const char* englishString(unsigned id) {
  return id < sizeof kEnglish / sizeof kEnglish[0] ? kEnglish[id] : nullptr;
}
