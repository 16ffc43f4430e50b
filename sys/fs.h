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
// GetFullPathNameA: the path made full against the current folder; false when the
// result does not fit capacity. POSIX side: a relative text is joined to the current
// folder's "Z:\..." form and "." and ".." steps are taken out, as on Windows.
bool fullPathName(const char* path, char* out, int capacity);
// fopen on a path text.
FILE* openFile(const char* path, const char* mode);

// File times are Windows FILETIME values: 100 ns units since 1601-01-01 UTC.
constexpr uint64_t kUnixEpochFileTime = 116444736000000000ull;

// Creation and last-write time of an existing file (or, with folder, a folder); the
// last-access time stays. False when the path cannot be opened. POSIX: the modification
// time only (there is no creation time to set).
bool setFileTime(const char* path, uint64_t fileTime, bool folder);
// DosDateTimeToFileTime then LocalFileTimeToFileTime: a local MS-DOS stamp to UTC.
bool dosToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t* fileTime);
// FileTimeToLocalFileTime then FileTimeToDosDateTime: date in the high 16 bits.
bool fileTimeToDos(uint64_t fileTime, uint32_t* dosStamp);
// An existing file's last-write time as a local DOS stamp, and its size (low 32 bits).
bool readFileStamp(const char* path, uint32_t* dosStamp, uint32_t* size);

// Creates a new empty file with a unique name in `folder` (ending in a backslash) and
// writes its path into out (3 × 260 bytes). False when none can be made there.
bool createTempFileIn(const char* folder, char* out);
// Creates an empty file where none is (CreateFileA with CREATE_NEW); false when a file or
// folder of that name exists or it cannot be made.
bool createNewFile(const char* path);
// Moves `from` over `to`, replacing it (MoveFileEx with MOVEFILE_REPLACE_EXISTING).
bool moveFileReplacing(const char* from, const char* to);

// FindFirstFileA / FindNextFileA / FindClose.
struct FindData {
  char name[3 * 260];   // UTF-8: up to three bytes for each of the 259 units
  uint32_t attributes;
};
using FindHandle = void*;
FindHandle findFirstFile(const char* pattern, FindData* data);  // null on failure
bool findNextFile(FindHandle handle, FindData* data);
void findClose(FindHandle handle);

}  // namespace sys
