// POSIX side of the file seam. A path text (UTF-8, as the native file system's names) loses
// a leading drive ("Z:") and turns its backslashes into '/'.
#include "sys/fs.h"

#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "sys/text.h"

namespace sys {
namespace {

constexpr int kNativeBytes = 4096;

bool nativePath(const char* path, char* out) {
  const char* start = path[0] && path[1] == ':' ? path + 2 : path;
  size_t n = std::strlen(start);
  if (n == 0 || n >= static_cast<size_t>(kNativeBytes)) return false;
  for (size_t i = 0; i <= n; ++i) out[i] = start[i] == '\\' ? '/' : start[i];
  return true;
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
    if (std::strlen(entry->d_name) >= sizeof data->name) continue;
    std::strcpy(data->name, entry->d_name);
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
  // On Windows a read-only folder still takes new files; a folder without write
  // permission here would not, so folders keep their mode.
  if (S_ISDIR(st.st_mode)) return true;
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

bool fullPathName(const char* path, char* out, int capacity) {
  // Worked in UTF-16, so that a trail byte 0x5C is never taken for a separator.
  char16_t wide[2048];
  if (utf8ToWide(path, wide, 2048) < 0) return false;
  std::u16string joined = wide;
  for (char16_t& c : joined)
    if (c == u'/') c = u'\\';
  bool hasDrive = joined.size() >= 2 && joined[1] == u':';
  if (!hasDrive && (joined.empty() || joined[0] != u'\\')) {
    char cwd[kNativeBytes];
    if (!getcwd(cwd, sizeof cwd) || utf8ToWide(cwd, wide, 2048) < 0) return false;
    std::u16string folder = u"Z:" + std::u16string(wide);
    for (char16_t& c : folder)
      if (c == u'/') c = u'\\';
    joined = folder + u"\\" + joined;
  } else if (!hasDrive) {
    joined = u"Z:" + joined;
  } else if (joined.size() < 3 || joined[2] != u'\\') {
    joined.insert(2, u"\\");  // "C:name" taken against the drive's root
  }
  // the steps behind "X:\", without "." and with ".." taking away the one before it
  std::vector<std::u16string> steps;
  for (size_t at = 3; at <= joined.size();) {
    size_t end = joined.find(u'\\', at);
    if (end == std::u16string::npos) end = joined.size();
    std::u16string step = joined.substr(at, end - at);
    if (step == u"..") {
      if (!steps.empty()) steps.pop_back();
    } else if (!step.empty() && step != u".") {
      steps.push_back(step);
    }
    at = end + 1;
  }
  std::u16string result = joined.substr(0, 2) + u"\\";
  for (size_t k = 0; k < steps.size(); ++k) result += (k ? u"\\" : u"") + steps[k];
  return wideToUtf8(result.c_str(), out, capacity) >= 0;
}

FILE* openFile(const char* path, const char* mode) {
  char native[kNativeBytes];
  return nativePath(path, native) ? std::fopen(native, mode) : nullptr;
}

namespace {
constexpr uint64_t kTicksPerSecond = 10000000;

bool localDosOf(time_t seconds, uint32_t* dosStamp) {
  struct tm t;
  if (!localtime_r(&seconds, &t) || t.tm_year < 80 || t.tm_year > 207) return false;
  *dosStamp = static_cast<uint32_t>(t.tm_year - 80) << 25 | static_cast<uint32_t>(t.tm_mon + 1) << 21 |
              static_cast<uint32_t>(t.tm_mday) << 16 | static_cast<uint32_t>(t.tm_hour) << 11 |
              static_cast<uint32_t>(t.tm_min) << 5 | static_cast<uint32_t>(t.tm_sec / 2);
  return true;
}
}  // namespace

bool setFileTime(const char* path, uint64_t fileTime, bool) {
  char native[kNativeBytes];
  if (!nativePath(path, native) || fileTime < kUnixEpochFileTime) return false;
  uint64_t since = fileTime - kUnixEpochFileTime;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the last-access time stays
  times[1].tv_sec = static_cast<time_t>(since / kTicksPerSecond);
  times[1].tv_nsec = static_cast<long>(since % kTicksPerSecond) * 100;
  return utimensat(AT_FDCWD, native, times, 0) == 0;
}

bool dosToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t* fileTime) {
  struct tm t{};
  t.tm_year = (dosDate >> 9) + 80;
  t.tm_mon = ((dosDate >> 5) & 0x0F) - 1;
  t.tm_mday = dosDate & 0x1F;
  t.tm_hour = dosTime >> 11;
  t.tm_min = (dosTime >> 5) & 0x3F;
  t.tm_sec = (dosTime & 0x1F) * 2;
  // The same fields the system refuses: no month 0 or 13, no day 0, no hour 24.
  if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday == 0 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59)
    return false;
  t.tm_isdst = -1;
  time_t seconds = mktime(&t);
  if (seconds == static_cast<time_t>(-1)) return false;
  *fileTime = kUnixEpochFileTime + static_cast<uint64_t>(seconds) * kTicksPerSecond;
  return true;
}

bool fileTimeToDos(uint64_t fileTime, uint32_t* dosStamp) {
  if (fileTime < kUnixEpochFileTime) return false;
  return localDosOf(static_cast<time_t>((fileTime - kUnixEpochFileTime) / kTicksPerSecond), dosStamp);
}

bool readFileStamp(const char* path, uint32_t* dosStamp, uint32_t* size) {
  *dosStamp = 0;
  *size = 0;
  char native[kNativeBytes];
  struct stat st;
  if (!nativePath(path, native) || stat(native, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  *size = static_cast<uint32_t>(st.st_size);
  return localDosOf(st.st_mtime, dosStamp);
}

bool createTempFileIn(const char* folder, char* out) {
  char native[kNativeBytes];
  size_t folderBytes = std::strlen(folder);
  if (folderBytes + 14 >= 260 || !nativePath(folder, native)) return false;
  size_t n = std::strlen(native);
  if (n + 16 >= sizeof native) return false;
  std::strcpy(native + n, n && native[n - 1] == '/' ? "zarXXXXXX" : "/zarXXXXXX");
  int fd = mkstemp(native);
  if (fd < 0) return false;
  // mkstemp makes the file private; the member it becomes gets an ordinary file's mode.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  std::memcpy(out, folder, folderBytes);
  std::strcpy(out + folderBytes, std::strrchr(native, '/') + 1);
  return true;
}

bool createNewFile(const char* path) {
  char native[kNativeBytes];
  int fd = nativePath(path, native) ? open(native, O_CREAT | O_EXCL | O_WRONLY, 0666) : -1;
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool moveFileReplacing(const char* from, const char* to) {
  char nativeFrom[kNativeBytes], nativeTo[kNativeBytes];
  if (!nativePath(from, nativeFrom) || !nativePath(to, nativeTo) || isReadOnly(nativeTo)) return false;
  return rename(nativeFrom, nativeTo) == 0;
}

FindHandle findFirstFile(const char* pattern, FindData* data) {
  char16_t wide[2048];
  if (utf8ToWide(pattern, wide, 2048) < 0) return nullptr;
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
  if (wideToUtf8(wide, folderText, sizeof folderText) < 0 ||
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
