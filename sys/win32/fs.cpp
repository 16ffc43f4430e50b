// Win32 side of the file seam: the ANSI file calls, one to one.
#include "sys/fs.h"

#include <windows.h>

#include <cstring>

namespace sys {
namespace {

void copyFindData(const WIN32_FIND_DATAA& found, FindData* data) {
  std::memcpy(data->name, found.cFileName, sizeof data->name);
  data->name[sizeof data->name - 1] = '\0';
  data->attributes = found.dwFileAttributes;
}

}  // namespace

uint32_t getFileAttributes(const char* path) { return GetFileAttributesA(path); }

bool setFileAttributes(const char* path, uint32_t attributes) {
  return SetFileAttributesA(path, attributes) != 0;
}

bool createDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }
bool removeDirectory(const char* path) { return RemoveDirectoryA(path) != 0; }
bool deleteFile(const char* path) { return DeleteFileA(path) != 0; }

bool searchPath(const char* path) {
  char found[MAX_PATH];
  char* filePart = nullptr;
  return SearchPathA(nullptr, path, nullptr, MAX_PATH, found, &filePart) != 0;
}

FILE* openFile(const char* path, const char* mode) { return std::fopen(path, mode); }

FindHandle findFirstFile(const char* pattern, FindData* data) {
  WIN32_FIND_DATAA found;
  HANDLE handle = FindFirstFileA(pattern, &found);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  copyFindData(found, data);
  return handle;
}

bool findNextFile(FindHandle handle, FindData* data) {
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(static_cast<HANDLE>(handle), &found)) return false;
  copyFindData(found, data);
  return true;
}

void findClose(FindHandle handle) {
  if (handle) FindClose(static_cast<HANDLE>(handle));
}

}  // namespace sys
