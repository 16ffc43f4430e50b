// POSIX side of the file seam. A path text goes through the code page to UTF-16 (so a
// trail byte 0x5C stays part of its character), loses a leading drive ("Z:"), and turns
// its backslashes into '/' before it reaches the native file system as UTF-8.
#include "sys/fs.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "sys/text.h"

namespace sys {
namespace {

constexpr int kNativeBytes = 4096;

bool nativePath(const char* path, char* out) {
  char16_t wide[2048];
  if (ansiToWide(path, wide, 2048) < 0) return false;
  char16_t* start = wide;
  if (wide[0] && wide[1] == u':') start += 2;
  for (char16_t* p = start; *p; ++p)
    if (*p == u'\\') *p = u'/';
  return wideToUtf8(start, out, kNativeBytes) >= 0 && out[0];
}

uint32_t attributesOf(const struct stat& st) {
  uint32_t attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((st.st_mode & 0222) == 0) attributes |= kAttrReadOnly;
  return attributes;
}

// Windows refuses to delete a read-only file or remove a read-only folder.
bool isReadOnly(const char* native) {
  struct stat st;
  return lstat(native, &st) == 0 && !S_ISLNK(st.st_mode) && (st.st_mode & 0222) == 0;
}

struct PosixFind {
  DIR* dir;
  char folder[kNativeBytes];
  char16_t pattern[260];
};

// Windows wildcards on the name: '*' any run, '?' one unit; "*.*" matches every name.
bool matchesPattern(const char16_t* pattern, const char16_t* name) {
  if (pattern[0] == u'*' && pattern[1] == u'.' && pattern[2] == u'*' && !pattern[3]) return true;
  if (!*pattern) return !*name;
  if (*pattern == u'*') {
    for (const char16_t* n = name;; ++n) {
      if (matchesPattern(pattern + 1, n)) return true;
      if (!*n) return false;
    }
  }
  if (!*name) return false;
  if (*pattern != u'?' && *pattern != *name) return false;
  return matchesPattern(pattern + 1, name + 1);
}

bool readEntry(PosixFind* find, FindData* data) {
  while (dirent* entry = readdir(find->dir)) {
    char16_t wideName[512];
    if (utf8ToWide(entry->d_name, wideName, 512) < 0) continue;
    if (!matchesPattern(find->pattern, wideName)) continue;
    if (wideToAnsi(wideName, data->name, sizeof data->name) < 0) continue;
    char full[kNativeBytes];
    size_t folderLength = std::strlen(find->folder);
    size_t nameLength = std::strlen(entry->d_name);
    if (folderLength + 1 + nameLength >= sizeof full) continue;
    std::memcpy(full, find->folder, folderLength);
    full[folderLength] = '/';
    std::memcpy(full + folderLength + 1, entry->d_name, nameLength + 1);
    struct stat st;
    if (lstat(full, &st) != 0) continue;
    // A symbolic link is reported as a reparse point, never as a plain folder.
    data->attributes = S_ISLNK(st.st_mode) ? kAttrReparsePoint : attributesOf(st);
    if (S_ISLNK(st.st_mode) && stat(full, &st) == 0 && S_ISDIR(st.st_mode))
      data->attributes |= kAttrDirectory;
    return true;
  }
  return false;
}

}  // namespace

uint32_t getFileAttributes(const char* path) {
  char native[kNativeBytes];
  struct stat st;
  if (!nativePath(path, native) || stat(native, &st) != 0) return kInvalidAttributes;
  return attributesOf(st);
}

bool setFileAttributes(const char* path, uint32_t attributes) {
  char native[kNativeBytes];
  struct stat st;
  if (!nativePath(path, native) || stat(native, &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? (mode & ~0222) : (mode | 0200);
  return chmod(native, mode) == 0;
}

bool createDirectory(const char* path) {
  char native[kNativeBytes];
  return nativePath(path, native) && mkdir(native, 0777) == 0;
}

bool removeDirectory(const char* path) {
  char native[kNativeBytes];
  if (!nativePath(path, native) || isReadOnly(native)) return false;
  return rmdir(native) == 0;
}

bool deleteFile(const char* path) {
  char native[kNativeBytes];
  if (!nativePath(path, native) || isReadOnly(native)) return false;
  struct stat st;
  if (lstat(native, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return unlink(native) == 0;
}

bool searchPath(const char* path) {
  char native[kNativeBytes];
  struct stat st;
  return nativePath(path, native) && stat(native, &st) == 0;
}

FILE* openFile(const char* path, const char* mode) {
  char native[kNativeBytes];
  return nativePath(path, native) ? std::fopen(native, mode) : nullptr;
}

FindHandle findFirstFile(const char* pattern, FindData* data) {
  char16_t wide[2048];
  if (ansiToWide(pattern, wide, 2048) < 0) return nullptr;
  int cut = -1;
  for (int i = 0; wide[i]; ++i)
    if (wide[i] == u'\\' || wide[i] == u'/') cut = i;
  if (cut < 0) return nullptr;  // a folder is always named
  auto* find = static_cast<PosixFind*>(std::calloc(1, sizeof(PosixFind)));
  if (!find) return nullptr;
  int patternLength = 0;
  while (wide[cut + 1 + patternLength] && patternLength < 259) {
    find->pattern[patternLength] = wide[cut + 1 + patternLength];
    ++patternLength;
  }
  wide[cut + 1] = 0;
  char folderText[2048];
  if (wideToAnsi(wide, folderText, sizeof folderText) < 0 ||
      !nativePath(folderText, find->folder) || !(find->dir = opendir(find->folder))) {
    std::free(find);
    return nullptr;
  }
  size_t n = std::strlen(find->folder);
  while (n > 1 && find->folder[n - 1] == '/') find->folder[--n] = '\0';
  if (!readEntry(find, data)) {
    closedir(find->dir);
    std::free(find);
    return nullptr;
  }
  return find;
}

bool findNextFile(FindHandle handle, FindData* data) {
  return handle && readEntry(static_cast<PosixFind*>(handle), data);
}

void findClose(FindHandle handle) {
  if (!handle) return;
  auto* find = static_cast<PosixFind*>(handle);
  closedir(find->dir);
  std::free(find);
}

}  // namespace sys
