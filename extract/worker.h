// The extraction worker: every member of the archive, in archive order, into the
// destination folder. Runs on the second thread of a run (the host tool runs it on its
// only thread).
#pragma once
#include <cstdint>

// What the worker shares with the run driver and the host tool.
struct ExtractionState {
  uint8_t* headerBuffer;   // kHeaderBufferSize bytes, owned by the caller
  int64_t archiveEnd;      // where the archive ends (a signed package's certificate
                           // table); 0: at the end of the file
  // Tallies for the host tool's summary; the stub does not read them.
  uint32_t extracted;      // files written and checked
  uint32_t folders;        // directory entries made
  uint32_t kept;           // existing files kept by the overwrite decision
  uint32_t skipped;        // folder paths of members that are no directory entry
  uint32_t rejected;       // paths refused by the member-path rules
  uint32_t failed;         // CRC errors, files that could not be created
};
extern ExtractionState extraction;

// The thread procedure. archiveStream stands on the first member header. Ends by closing
// the progress window, whatever way it ends.
void extractionWorker();

// Creation and last-write time of path to a UTC file time; nothing when it cannot be
// opened.
void setFileTimes(const char* path, uint64_t fileTime, bool isFolderEntry);
// The same from a local MS-DOS date and time; nothing when either conversion fails.
void setFileTimesFromDos(const char* path, uint16_t dosDate, uint16_t dosTime, bool isFolderEntry);
