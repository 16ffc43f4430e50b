// Win32 side of the folder seam: registry shell folders, the shell's special folders and
// the system, Windows and temporary directories.
#include "sys/shell.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

namespace sys {
namespace {

int keepIfFits(const char* text, unsigned length, char* out, int capacity) {
  if (length == 0 || length >= static_cast<unsigned>(capacity)) {
    out[0] = '\0';
    return 0;
  }
  if (text != out) std::memcpy(out, text, length + 1);
  return static_cast<int>(length);
}

}  // namespace

int readShellFolderValue(const char* valueName, char* out, int capacity) {
  if (capacity <= 0) return 0;
  out[0] = '\0';
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER,
                    "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  DWORD type = 0;
  DWORD size = static_cast<DWORD>(capacity - 1);
  LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(out), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    out[0] = '\0';
    return 0;
  }
  out[size < static_cast<DWORD>(capacity) ? size : capacity - 1] = '\0';
  return static_cast<int>(std::strlen(out));
}

int programFilesFolder(char* out, int capacity) {
  if (capacity <= 0) return 0;
  out[0] = '\0';
  LPITEMIDLIST items = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAM_FILES, &items) != S_OK || !items) return 0;
  char path[MAX_PATH] = "";
  BOOL ok = SHGetPathFromIDListA(items, path);
  IMalloc* allocator = nullptr;
  if (SHGetMalloc(&allocator) == S_OK && allocator) {
    allocator->Free(items);
    allocator->Release();
  }
  if (!ok) return 0;
  return keepIfFits(path, static_cast<unsigned>(std::strlen(path)), out, capacity);
}

int systemDirectory(char* out, int capacity) {
  if (capacity <= 0) return 0;
  return keepIfFits(out, GetSystemDirectoryA(out, capacity), out, capacity);
}

int windowsDirectory(char* out, int capacity) {
  if (capacity <= 0) return 0;
  return keepIfFits(out, GetWindowsDirectoryA(out, capacity), out, capacity);
}

int tempPath(char* out, int capacity) {
  if (capacity <= 0) return 0;
  return keepIfFits(out, GetTempPathA(capacity, out), out, capacity);
}

}  // namespace sys
