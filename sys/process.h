// Platform seam: the running program's own image and file, WOW64.
#pragma once
#include <cstdint>

namespace sys {

// Full path of the program's own file (GetModuleFileNameA); returns its length, 0 on failure.
// POSIX side: the path given to setModuleFileName (the host tool and tests set it).
int moduleFileName(char* out, int capacity);
void setModuleFileName(const char* path);

// Base of the program's own image in memory (its module handle), null on POSIX.
const void* moduleImageBase();

}  // namespace sys

namespace sys {

// WOW64 query and file-system redirection switch, looked up lazily in "kernel32".
// mode -1: non-zero when the process runs under WOW64 (0 when the redirection entry is
// missing); mode 0: redirection off, 1: back on (result of Wow64EnableWow64FsRedirection,
// 0 when that entry does not exist). POSIX side: the query answers setWow64ForTests'
// value (0 by default) and switching returns 0.
int wow64Switch(int mode);
void setWow64ForTests(int answer);

}  // namespace sys
