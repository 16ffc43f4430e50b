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

bool fullPathName(const char* path, char* out, int capacity) {
  DWORD n = GetFullPathNameA(path, static_cast<DWORD>(capacity), out, nullptr);
  return n != 0 && n < static_cast<DWORD>(capacity);
}

FILE* openFile(const char* path, const char* mode) { return std::fopen(path, mode); }

namespace {
FILETIME toFileTime(uint64_t value) {
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}
uint64_t fromFileTime(const FILETIME& time) {
  return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}
}  // namespace

bool setFileTime(const char* path, uint64_t fileTime, bool folder) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            folder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME time = toFileTime(fileTime);
  bool ok = SetFileTime(file, &time, nullptr, &time) != 0;
  CloseHandle(file);
  return ok;
}

bool dosToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t* fileTime) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(dosDate, dosTime, &local) || !LocalFileTimeToFileTime(&local, &utc))
    return false;
  *fileTime = fromFileTime(utc);
  return true;
}

bool fileTimeToDos(uint64_t fileTime, uint32_t* dosStamp) {
  FILETIME utc = toFileTime(fileTime), local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return false;
  *dosStamp = uint32_t{date} << 16 | time;
  return true;
}

bool readFileStamp(const char* path, uint32_t* dosStamp, uint32_t* size) {
  *dosStamp = 0;
  *size = 0;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME written;
  bool ok = GetFileTime(file, nullptr, nullptr, &written) != 0;
  *size = GetFileSize(file, nullptr);
  CloseHandle(file);
  if (*size == INVALID_FILE_SIZE) *size = 0;
  return ok && fileTimeToDos(fromFileTime(written), dosStamp);
}

bool createTempFileIn(const char* folder, char* out) {
  // GetTempFileName needs room for its 14-character name behind the folder.
  if (std::strlen(folder) + 14 >= MAX_PATH) return false;
  return GetTempFileNameA(folder, "zar", 0, out) != 0;
}

bool createNewFile(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool moveFileReplacing(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

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
