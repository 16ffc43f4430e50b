// archiveStream: the open archive file, read through a private buffer so the byte-wise
// reads of the header reader and the bit reader stay cheap. Positions are file offsets.
#pragma once
#include <cstdint>
#include <cstdio>

struct ArchiveStream {
  FILE* file = nullptr;
  int64_t bufferStart = 0;   // file offset of buffer[0]
  uint32_t position = 0;     // next byte in buffer
  uint32_t filled = 0;       // valid bytes in buffer
  uint8_t buffer[65536];
};

extern ArchiveStream archiveStream;

// Opens a path text for binary reading at offset 0; false when it cannot be opened.
bool openArchiveStream(const char* path);
// Takes over an already open file (positioned anywhere); the stream starts at offset 0.
void attachArchiveStream(FILE* file);
void closeArchiveStream();
bool archiveStreamIsOpen();

int64_t archiveSize();            // bytes in the file, -1 on failure
int64_t archiveTell();
bool archiveSeek(int64_t offset);
// Reads up to count bytes; returns the number read (short at end of file).
uint32_t archiveRead(void* destination, uint32_t count);

int archiveRefill();              // slow path of archiveGetByte
// Next byte, or -1 (EOF) when the file has ended.
inline int archiveGetByte() {
  ArchiveStream& s = archiveStream;
  if (s.position < s.filled) return s.buffer[s.position++];
  return archiveRefill();
}
