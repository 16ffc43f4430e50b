// String table ids and the caption every message box of the program carries.
#pragma once

enum StringId : unsigned {
  kStrCannotCreateFile = 1,
  kStrCannotOpenArchive = 2,
  kStrNotSupportedFormat = 3,
  kStrFolderMissingQuestion = 4,   // %s = destination
  kStrCannotCreateFolderShort = 5,
  kStrInvalidFileName = 6,         // %s = member path
  kStrCannotCreateFolder = 7,
  kStrCrcCheckError = 8,           // Japanese text has %s = program path
  kStrMemberInfoFormat = 9,
  kStrInvalidPath = 10,
  kStrBrowseTitle = 11,
  kStrNeeds64Bit = 12,
};

inline constexpr const char* kCaption = "ZAR-OZA";

// The English table, for the native build (the stub loads its resources instead).
const char* englishString(unsigned id);
