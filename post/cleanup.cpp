// The list of files an extraction wrote, and their removal after the setup command.
#include "post/cleanup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "extract/paths.h"
#include "sys/fs.h"
#include "sys/text.h"

ExtractedFileList extractedFileList;

namespace {

// The one place the block's memory comes from: it grows to hold newSize bytes, keeping the
// old contents, with every byte past the old size zero; false leaves the block as it was.
// Room is doubled so a long run of appends copies the block only a few times.
bool growEntryBlock(int32_t oldSize, int32_t newSize) {
  ExtractedFileList& list = extractedFileList;
  if (newSize > list.capacity) {
    int64_t room = list.capacity > 0 ? list.capacity : 256;
    while (room < newSize) room *= 2;
    if (room > INT32_MAX) room = newSize;
    void* block = std::realloc(list.blockHandle, static_cast<size_t>(room));
    if (!block) return false;
    std::memset(static_cast<char*>(block) + oldSize, 0, static_cast<size_t>(room - oldSize));
    list.blockHandle = block;
    list.entries = static_cast<char*>(block);
    list.capacity = static_cast<int32_t>(room);
  }
  list.byteSize = newSize;
  return true;
}

// The folder part of a recorded path relative to the destination (without leading or
// trailing backslash), cut at the last backslash of its UTF-16 form; false when the file
// lies directly in the destination.
bool folderOfEntry(const char* relative, char* folder) {
  const char16_t* wide = toWide(relative);
  int cut = -1;
  for (int i = 0; wide[i]; ++i)
    if (wide[i] == u'\\') cut = i;
  if (cut <= 0) return false;
  char16_t part[kWideUnits];
  std::memcpy(part, wide, cut * sizeof(char16_t));
  part[cut] = 0;
  const char* narrow = toNarrow(part);
  if (!narrow[0] || std::strlen(narrow) >= kPathBytes) return false;
  std::strcpy(folder, narrow);
  return true;
}

// Steps *offset to the next entry below the destination; false at the end mark. The walk
// never leaves the block, even when the end mark is missing.
bool nextEntry(const char* destination, int32_t* offset, const char** path) {
  size_t destLength = std::strlen(destination);
  const char* entries = extractedFileList.entries;
  while (entries && *offset < extractedFileList.byteSize && entries[*offset]) {
    const char* entry = entries + *offset;
    size_t length = strnlen(entry, static_cast<size_t>(extractedFileList.byteSize - *offset));
    if (*offset + static_cast<int32_t>(length) >= extractedFileList.byteSize) return false;
    *offset += static_cast<int32_t>(length) + 1;
    // Only paths below the destination were recorded; anything else is left alone.
    if (length > destLength && std::memcmp(entry, destination, destLength) == 0) {
      *path = entry;
      return true;
    }
  }
  return false;
}

bool formFolderPath(char* out, size_t capacity, const char* folder, const char* name) {
  size_t folderBytes = std::strlen(folder), nameBytes = std::strlen(name);
  if (folderBytes + nameBytes >= capacity) return false;
  std::memcpy(out, folder, folderBytes);
  std::memcpy(out + folderBytes, name, nameBytes + 1);
  return true;
}

}  // namespace

void appendExtractedFile(const char* path) {
  size_t length = std::strlen(path);
  int32_t oldSize = extractedFileList.byteSize;
  if (length >= static_cast<size_t>(INT32_MAX - 1 - oldSize)) return;
  int32_t n = static_cast<int32_t>(length) + 1;
  if (!growEntryBlock(oldSize, oldSize + n)) return;
  std::memcpy(extractedFileList.entries + extractedFileList.byteSize - n, path, length);
}

void cleanUpExtractedFiles(const char* destination, bool createdTempFolder) {
  size_t destLength = std::strlen(destination);
  const char* path;

  // All files go first.
  for (int32_t offset = 0; nextEntry(destination, &offset, &path);) {
    sys::setFileAttributes(path, sys::kAttrNormal);
    sys::deleteFile(path);
  }

  // Then the folders, in the order their files came, a folder skipped only when it equals
  // the folder taken last. The entries are walked again instead of being copied into a
  // folder list, so no folder is ever left out for want of room or memory.
  char lastFolder[kPathBytes] = "";
  bool haveFolder = false;
  for (int32_t offset = 0; nextEntry(destination, &offset, &path);) {
    char folder[kPathBytes];
    if (!folderOfEntry(path + destLength, folder)) continue;
    if (haveFolder && sys::compareIgnoreCase(lastFolder, folder) == 0) continue;
    std::strcpy(lastFolder, folder);
    haveFolder = true;
    char folderPath[2 * kPathBytes];
    if (formFolderPath(folderPath, sizeof folderPath, destination, folder))
      removeEmptyFolders(folderPath, destination);
  }

  if (createdTempFolder) sys::removeDirectory(destination);
}

int removeEmptyFolders(const char* path, const char* keepFolder) {
  size_t length = std::strlen(path);
  if (length == 0 || path[length - 1] == '.') return 0;

  char own[2 * kPathBytes];
  if (length + 1 >= sizeof own) return 0;
  std::strcpy(own, path);
  ensureTrailingBackslash(own, sizeof own);
  size_t ownLength = std::strlen(own);
  if (ownLength + 3 >= sizeof own) return 0;
  std::strcpy(own + ownLength, "*.*");

  sys::FindData found;
  sys::FindHandle find = sys::findFirstFile(own, &found);
  if (!find) return 0;
  own[ownLength] = '\0';

  do {
    if (!(found.attributes & sys::kAttrDirectory)) continue;
    // A junction or link may lead anywhere; only real sub-folders are walked.
    if (found.attributes & sys::kAttrReparsePoint) continue;
    if (std::strcmp(found.name, ".") == 0 || std::strcmp(found.name, "..") == 0) continue;
    char sub[2 * kPathBytes];
    if (formFolderPath(sub, sizeof sub, own, found.name)) removeEmptyFolders(sub, keepFolder);
  } while (sys::findNextFile(find, &found));
  sys::findClose(find);

  if (sys::compareIgnoreCase(path, keepFolder) != 0) {
    sys::setFileAttributes(own, sys::kAttrArchive);
    sys::removeDirectory(own);
  }
  return 1;
}

void freeExtractedFileList() {
  std::free(extractedFileList.blockHandle);
  extractedFileList.blockHandle = nullptr;
  extractedFileList.entries = nullptr;
  extractedFileList.byteSize = 0;
  extractedFileList.capacity = 0;
}
