// Platform seam: the folders a destination variable such as "%temp%" can name.
// Each writes a NUL-terminated ANSI text and returns its length, 0 on failure.
// POSIX side: the temporary folder is TMPDIR (or /tmp) as "Z:\tmp\"; the others are
// settable for tests and empty by default.
#pragma once

namespace sys {

// Value `valueName` of HKCU\Software\MicroSoft\Windows\CurrentVersion\Explorer\Shell Folders.
int readShellFolderValue(const char* valueName, char* out, int capacity);
int programFilesFolder(char* out, int capacity);  // CSIDL_PROGRAM_FILES (38)
int systemDirectory(char* out, int capacity);
int windowsDirectory(char* out, int capacity);
int tempPath(char* out, int capacity);            // ends in a backslash

}  // namespace sys
