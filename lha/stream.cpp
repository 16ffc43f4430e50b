#include "lha/stream.h"

#include <cstring>

#include "sys/fs.h"

ArchiveStream archiveStream;

bool openArchiveStream(const char* path) {
  FILE* f = sys::openFile(path, "rb");
  if (!f) return false;
  attachArchiveStream(f);
  return true;
}

void attachArchiveStream(FILE* file) {
  closeArchiveStream();
  archiveStream.file = file;
  // The empty buffer already claims offset 0, so archiveSeek(0) would not move the file.
  if (file) std::fseek(file, 0, SEEK_SET);
}

void closeArchiveStream() {
  if (archiveStream.file) std::fclose(archiveStream.file);
  archiveStream.file = nullptr;
  archiveStream.bufferStart = 0;
  archiveStream.position = archiveStream.filled = 0;
}

bool archiveStreamIsOpen() { return archiveStream.file != nullptr; }

int64_t archiveSize() {
  ArchiveStream& s = archiveStream;
  if (!s.file || std::fseek(s.file, 0, SEEK_END) != 0) return -1;
  long size = std::ftell(s.file);
  // the buffer stays valid; the file position is re-established on the next refill
  std::fseek(s.file, static_cast<long>(s.bufferStart + s.filled), SEEK_SET);
  return size;
}

int64_t archiveTell() { return archiveStream.bufferStart + archiveStream.position; }

bool archiveSeek(int64_t offset) {
  ArchiveStream& s = archiveStream;
  if (!s.file || offset < 0 || offset > 0x7FFFFFFF) return false;
  if (offset >= s.bufferStart && offset <= s.bufferStart + s.filled) {
    s.position = static_cast<uint32_t>(offset - s.bufferStart);
    return true;
  }
  if (std::fseek(s.file, static_cast<long>(offset), SEEK_SET) != 0) return false;
  s.bufferStart = offset;
  s.position = s.filled = 0;
  return true;
}

int archiveRefill() {
  ArchiveStream& s = archiveStream;
  if (!s.file) return -1;
  s.bufferStart += s.filled;
  s.position = 0;
  s.filled = static_cast<uint32_t>(std::fread(s.buffer, 1, sizeof s.buffer, s.file));
  if (s.filled == 0) return -1;
  return s.buffer[s.position++];
}

uint32_t archiveRead(void* destination, uint32_t count) {
  ArchiveStream& s = archiveStream;
  auto* out = static_cast<uint8_t*>(destination);
  uint32_t done = 0;
  while (done < count) {
    if (s.position == s.filled) {
      if (archiveRefill() < 0) break;
      s.position--;  // refill consumed one byte; give it back
    }
    uint32_t n = s.filled - s.position;
    if (n > count - done) n = count - done;
    std::memcpy(out + done, s.buffer + s.position, n);
    s.position += n;
    done += n;
  }
  return done;
}
