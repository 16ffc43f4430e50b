// Platform seam: files and folders, with ANSI path texts in the system code page.
// POSIX side: a path text "X:\dir\file" (any drive letter) names /dir/file, the
// convention Wine uses; other backslashes become '/'; names are stored as UTF-8. The
// Windows rules that matter to callers are kept: a read-only file cannot be deleted and a
// read-only folder cannot be removed until its attributes are reset.
#pragma once
#include <cstdint>
#include <cstdio>

namespace sys {

constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;  // INVALID_FILE_ATTRIBUTES
enum : uint32_t {
  kAttrReadOnly = 0x01, kAttrHidden = 0x02, kAttrSystem = 0x04,
  kAttrDirectory = 0x10, kAttrArchive = 0x20, kAttrNormal = 0x80,
  kAttrReparsePoint = 0x400,  // junction or symbolic link (POSIX: a symbolic link)
};

uint32_t getFileAttributes(const char* path);
bool setFileAttributes(const char* path, uint32_t attributes);
bool createDirectory(const char* path);
bool removeDirectory(const char* path);
bool deleteFile(const char* path);
// SearchPathA with the default search order, no extension and no buffer: true when found.
bool searchPath(const char* path);
// fopen on a path text.
FILE* openFile(const char* path, const char* mode);

// FindFirstFileA / FindNextFileA / FindClose.
struct FindData {
  char name[260];
  uint32_t attributes;
};
using FindHandle = void*;
FindHandle findFirstFile(const char* pattern, FindData* data);  // null on failure
bool findNextFile(FindHandle handle, FindData* data);
void findClose(FindHandle handle);

}  // namespace sys
