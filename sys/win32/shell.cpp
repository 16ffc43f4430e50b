// Win32 side of the folder seam: registry shell folders, the shell's special folders and
// the system, Windows and temporary directories, asked for in UTF-16.
#include "sys/shell.h"

#include <windows.h>
#include <shlobj.h>

#include "sys/win32/wide.h"

namespace sys {
namespace {

// The system's answer of `length` units as UTF-8; a failure or a cut answer is none.
int keepIfFits(const wchar_t* text, unsigned length, char* out, int capacity) {
  if (length == 0 || length >= MAX_PATH || !toUtf8(text, out, capacity)) {
    out[0] = '\0';
    return 0;
  }
  return lstrlenA(out);
}

}  // namespace

int readShellFolderValue(const char* valueName, char* out, int capacity) {
  if (capacity <= 0) return 0;
  out[0] = '\0';
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  wchar_t value[MAX_PATH + 1];
  DWORD type = 0;
  DWORD size = sizeof value - sizeof(wchar_t);
  LONG rc = RegQueryValueExW(key, Wide(valueName), nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return 0;
  value[size / sizeof(wchar_t)] = 0;
  return keepIfFits(value, static_cast<unsigned>(lstrlenW(value)), out, capacity);
}

int programFilesFolder(char* out, int capacity) {
  if (capacity <= 0) return 0;
  out[0] = '\0';
  LPITEMIDLIST items = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAM_FILES, &items) != S_OK || !items) return 0;
  wchar_t path[MAX_PATH] = L"";
  BOOL ok = SHGetPathFromIDListW(items, path);
  IMalloc* allocator = nullptr;
  if (SHGetMalloc(&allocator) == S_OK && allocator) {
    allocator->Free(items);
    allocator->Release();
  }
  if (!ok) return 0;
  return keepIfFits(path, static_cast<unsigned>(lstrlenW(path)), out, capacity);
}

int systemDirectory(char* out, int capacity) {
  if (capacity <= 0) return 0;
  wchar_t path[MAX_PATH];
  return keepIfFits(path, GetSystemDirectoryW(path, MAX_PATH), out, capacity);
}

int windowsDirectory(char* out, int capacity) {
  if (capacity <= 0) return 0;
  wchar_t path[MAX_PATH];
  return keepIfFits(path, GetWindowsDirectoryW(path, MAX_PATH), out, capacity);
}

int tempPath(char* out, int capacity) {
  if (capacity <= 0) return 0;
  wchar_t path[MAX_PATH];
  return keepIfFits(path, GetTempPathW(MAX_PATH, path), out, capacity);
}

}  // namespace sys
