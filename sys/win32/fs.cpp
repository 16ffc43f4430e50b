// Win32 side of the file seam: the system's UTF-16 file calls, one to one, so any name
// Windows allows comes out as stored.
#include "sys/fs.h"

#include <windows.h>

#include <cstring>

#include "sys/win32/wide.h"

namespace sys {
namespace {

bool copyFindData(const WIN32_FIND_DATAW& found, FindData* data) {
  data->attributes = found.dwFileAttributes;
  return toUtf8(found.cFileName, data->name, sizeof data->name);
}

}  // namespace

uint32_t getFileAttributes(const char* path) { return GetFileAttributesW(Wide(path)); }

bool setFileAttributes(const char* path, uint32_t attributes) {
  return SetFileAttributesW(Wide(path), attributes) != 0;
}

bool createDirectory(const char* path) { return CreateDirectoryW(Wide(path), nullptr) != 0; }
bool removeDirectory(const char* path) { return RemoveDirectoryW(Wide(path)) != 0; }
bool deleteFile(const char* path) { return DeleteFileW(Wide(path)) != 0; }

bool searchPath(const char* path) {
  wchar_t found[MAX_PATH];
  wchar_t* filePart = nullptr;
  return SearchPathW(nullptr, Wide(path), nullptr, MAX_PATH, found, &filePart) != 0;
}

bool fullPathName(const char* path, char* out, int capacity) {
  wchar_t full[MAX_PATH];
  DWORD n = GetFullPathNameW(Wide(path), MAX_PATH, full, nullptr);
  return n != 0 && n < MAX_PATH && toUtf8(full, out, capacity);
}

FILE* openFile(const char* path, const char* mode) {
  wchar_t wideMode[8];
  int i = 0;
  for (; mode[i] && i < 7; ++i) wideMode[i] = static_cast<wchar_t>(mode[i]);
  wideMode[i] = 0;
  return _wfopen(Wide(path), wideMode);
}

namespace {
FILETIME toFileTime(uint64_t value) {
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}
uint64_t fromFileTime(const FILETIME& time) {
  return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}
}  // namespace

bool setFileTime(const char* path, uint64_t fileTime, bool folder) {
  HANDLE file = CreateFileW(Wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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
  HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
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
  Wide wideFolder(folder);
  if (!wideFolder.text[0] || lstrlenW(wideFolder) + 14 >= MAX_PATH) return false;
  wchar_t made[MAX_PATH];
  if (GetTempFileNameW(wideFolder, L"zar", 0, made) == 0) return false;
  if (toUtf8(made, out, 3 * 260)) return true;
  DeleteFileW(made);
  return false;
}

bool createNewFile(const char* path) {
  HANDLE file = CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool moveFileReplacing(const char* from, const char* to) {
  return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING) != 0;
}

FindHandle findFirstFile(const char* pattern, FindData* data) {
  WIN32_FIND_DATAW found;
  HANDLE handle = FindFirstFileW(Wide(pattern), &found);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  // a name that does not fit is passed over, as one the walk cannot name
  while (!copyFindData(found, data)) {
    if (!FindNextFileW(handle, &found)) {
      FindClose(handle);
      return nullptr;
    }
  }
  return handle;
}

bool findNextFile(FindHandle handle, FindData* data) {
  WIN32_FIND_DATAW found;
  do {
    if (!FindNextFileW(static_cast<HANDLE>(handle), &found)) return false;
  } while (!copyFindData(found, data));
  return true;
}

void findClose(FindHandle handle) {
  if (handle) FindClose(static_cast<HANDLE>(handle));
}

}  // namespace sys
