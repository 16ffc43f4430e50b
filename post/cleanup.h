// The list of files an extraction wrote, and their removal after the setup command.
#pragma once
#include <cstdint>

// One process-wide record. The block holds the full paths of the written files back to
// back, each followed by a zero byte; the run driver appends an empty entry as end mark.
struct ExtractedFileList {
  void* blockHandle;   // the memory block; null until the first append
  char* entries;       // its address; null until the first append
  int32_t byteSize;    // bytes in use (entries and their zero bytes); 0 until the first append
  int32_t capacity;    // bytes allocated; grows by doubling so many appends stay cheap
};

extern ExtractedFileList extractedFileList;

// Records one written file (or, with "", the end mark). When the block cannot grow the
// path is not recorded and the list keeps what it had: a file is left behind rather than
// anything deleted by mistake.
void appendExtractedFile(const char* path);

// Deletes every recorded file, then removes the folders that held them once empty (each
// with removeEmptyFolders, the destination as keepFolder), then the destination itself when
// it is the private temporary folder of this run and empty by now.
void cleanUpExtractedFiles(const char* destination, bool createdTempFolder);

// Removes the empty folders below `path` depth first, then `path` itself unless it equals
// keepFolder (ignoring case). Returns 1 when the folder was searched, 0 otherwise.
int removeEmptyFolders(const char* path, const char* keepFolder);

// Releases the block (if any) and returns the record to its empty state.
void freeExtractedFileList();
