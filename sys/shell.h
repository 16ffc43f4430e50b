// Platform seam: the folders a destination variable such as "%temp%" can name.
// Each writes a NUL-terminated ANSI text and returns its length, 0 on failure (the output
// is then empty; a folder that does not fit the capacity counts as a failure).
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

#ifndef _WIN32
// POSIX side only: what the calls above answer. A null or empty text makes the call fail.
// Shell-folder values are kept for "Desktop" and "Personal".
void setShellFolderValueForTests(const char* valueName, const char* text);
void setSystemFoldersForTests(const char* programFiles, const char* system, const char* windows);
#endif

}  // namespace sys
