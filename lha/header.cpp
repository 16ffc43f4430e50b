// Member headers of levels 0, 1 and 2, and the scan for the first one in a file.
#include "lha/header.h"

#include <cstring>

#include "lha/stream.h"
#include "sys/text.h"
#include "ui/messages.h"

MemberHeader memberHeader;
uint8_t headerChecksum;
uint32_t invalidHeaderReports;

namespace {

// The scan keeps its block intact and lets candidate headers use this scratch, so a
// failed candidate never disturbs the bytes still to be scanned.
uint8_t scanScratch[kMaxHeaderPiece];

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void reportInvalidHeader() {
  ++invalidHeaderReports;
  showMessage(Message::invalidHeader);
}

// A directory or name part: at most kMaxPathPart bytes, NUL-terminated. A longer part is
// cut for the messages only: a cut between the characters of a multi-byte name would
// leave a shorter name that fits, another file's.
void copyPathPart(char* part, const uint8_t* bytes, uint32_t count) {
  if (count > kMaxPathPart) {
    count = kMaxPathPart;
    memberHeader.nameValid = false;
  }
  std::memcpy(part, bytes, count);
  part[count] = '\0';
}

// 0xFF separates path components in the archive. Step by characters of the name's code
// page so that a trail byte is never taken for a separator.
void convertSeparators(char* text, uint32_t codePage) {
  for (uint32_t i = 0; text[i] != '\0';) {
    auto byte = static_cast<uint8_t>(text[i]);
    if (codePage != 65001 && sys::isLeadByte(codePage, byte) && text[i + 1] != '\0') {
      i += 2;
      continue;
    }
    if (byte == 0xFF) text[i] = '\\';
    ++i;
  }
}

// The stored path in its code page as UTF-8 in memberHeader.path; false when it cannot be
// read so (the path then shows its ASCII bytes and '?' for the others).
bool readPathText(const char* directoryPart, const char* namePart, uint32_t codePage) {
  char stored[2 * kMaxPathPart + 1];
  std::strcpy(stored, directoryPart);
  std::strcat(stored, namePart);
  char* path = memberHeader.path;
  if (sys::codePageToUtf8(codePage, stored, static_cast<int>(std::strlen(stored)), path, sizeof memberHeader.path) >= 0)
    return true;
  size_t i = 0;
  for (; stored[i]; ++i) path[i] = static_cast<unsigned char>(stored[i]) < 0x80 ? stored[i] : '?';
  path[i] = '\0';
  return false;
}

// What the chain of extended headers left for the checks after it.
struct ExtendedChain {
  uint32_t bytes;          // extended header bytes read
  bool haveHeaderCrc;
  uint16_t storedHeaderCrc;
};

// The chain of extended headers of levels 1 and 2, starting with one of size n.
bool readExtendedHeaders(uint8_t* buffer, uint32_t n, char* directoryPart, char* namePart, ExtendedChain& chain) {
  MemberHeader& h = memberHeader;
  chain = ExtendedChain{};
  while (n > 2) {
    uint16_t crcBefore = runningCrc16;
    if (n > static_cast<uint32_t>(kMaxHeaderPiece)) return false;
    if (readHeaderBytes(buffer, static_cast<int32_t>(n)) != static_cast<int32_t>(n)) return false;
    chain.bytes += n;
    if (h.level == 1) {
      // Extensions larger than the packed size they are counted in would wrap the size
      // and send the next header offset (and a stored copy) far past this member.
      if (n > h.packedSize) return false;
      h.packedSize -= n;
    }
    switch (buffer[0]) {
      case 0x00:
        if (n >= 5 && !chain.haveHeaderCrc) {
          chain.haveHeaderCrc = true;
          chain.storedHeaderCrc = get16(buffer + 1);
          runningCrc16 = crcBefore;
          buffer[1] = buffer[2] = 0;
          crc16Update(buffer, n);
        }
        break;
      case 0x01:
        copyPathPart(namePart, buffer + 1, n - 3);
        break;
      case 0x02:
        copyPathPart(directoryPart, buffer + 1, n - 3);
        break;
      case 0x40:
        if (n >= 5) h.attribute = get16(buffer + 1);
        break;
      case kCodePageExtension:
        if (n >= 7) h.codePage = get32(buffer + 1);
        break;
      default:
        break;
    }
    n = get16(buffer + n - 2);
  }
  return true;
}

// A level-2 header is as long as its first two bytes say. Writers pad a header whose
// length would be a multiple of 256 (its first byte would read as the end mark); the
// padding lies behind the chain and the header CRC covers it.
bool skipLevel2Padding(uint8_t* buffer, uint32_t statedLength, uint32_t readLength) {
  if (statedLength < readLength) return false;  // the chain runs past the header
  for (uint32_t left = statedLength - readLength; left > 0;) {
    auto piece = static_cast<int32_t>(left < static_cast<uint32_t>(kMaxHeaderPiece) ? left : kMaxHeaderPiece);
    if (readHeaderBytes(buffer, piece) != piece) return false;
    left -= static_cast<uint32_t>(piece);
  }
  return true;
}

}  // namespace

int32_t readHeaderBytes(uint8_t* destination, int32_t count) {
  if (count < 0 || count > kMaxHeaderPiece) return -1;
  auto got = static_cast<int32_t>(archiveRead(destination, static_cast<uint32_t>(count)));
  crc16Update(destination, static_cast<uint32_t>(got));
  uint8_t sum = headerChecksum;
  for (int32_t i = 0; i < got; ++i) sum = static_cast<uint8_t>(sum + destination[i]);
  headerChecksum = sum;
  return got;
}

bool readMemberHeader(uint8_t* headerBuffer) {
  MemberHeader& h = memberHeader;
  uint8_t* b = headerBuffer;
  char directoryPart[kMaxPathPart + 1] = "";
  char namePart[kMaxPathPart + 1] = "";
  h.path[0] = '\0';
  h.codePage = 0;
  h.nameValid = true;
  headerChecksum = 0;
  runningCrc16 = 0;

  if (readHeaderBytes(b, 21) < 21) return false;
  headerChecksum = static_cast<uint8_t>(headerChecksum - b[0] - b[1]);
  h.level = b[20];
  if (h.level > 2) return false;
  uint32_t length = h.level == 2 ? 26u : static_cast<uint8_t>(b[0] + 2);
  if (length < 21) return false;
  if (b[0] == 0) return false;  // the archive's end mark

  std::memcpy(h.methodId, b + 2, 5);
  h.methodId[5] = '\0';
  h.packedSize = get32(b + 7);
  h.originalSize = get32(b + 11);
  h.timeStamp = get32(b + 15);
  h.attribute = b[19];
  if (h.methodId[0] != '-' || h.methodId[1] != 'l') return false;

  auto rest = static_cast<int32_t>(length - 21);
  if (readHeaderBytes(b + 21, rest) != rest) return false;

  if (h.level < 2) {
    if (headerChecksum != b[1]) {
      reportInvalidHeader();
      return false;
    }
    uint32_t nameLength = b[21];
    if (nameLength + 24 > length) {
      reportInvalidHeader();
      return false;
    }
    copyPathPart(namePart, b + 22, nameLength);
    h.storedCrc16 = get16(b + 22 + nameLength);
  } else {
    h.storedCrc16 = get16(b + 21);
  }

  if (h.level > 0) {
    uint32_t statedLength = get16(b);  // level 2's total length; the chain reuses the buffer
    ExtendedChain chain;
    if (!readExtendedHeaders(b, get16(b + length - 2), directoryPart, namePart, chain)) return false;
    if (h.level == 2 && !skipLevel2Padding(b, statedLength, length + chain.bytes)) return false;
    if (chain.haveHeaderCrc && runningCrc16 != chain.storedHeaderCrc) return false;
  }

  convertSeparators(namePart, h.codePage);
  convertSeparators(directoryPart, h.codePage);
  bool readable = readPathText(directoryPart, namePart, h.codePage);
  h.nameValid = h.nameValid && readable;
  return true;
}

NextHeader readNextHeader(uint8_t* headerBuffer, int64_t archiveEnd) {
  int64_t at = archiveTell();
  if (archiveEnd - at < kSmallestHeader) return NextHeader::end;
  if (archiveGetByte() <= 0) return NextHeader::end;  // the end mark, or the file ended early
  if (!archiveSeek(at)) return NextHeader::end;
  uint32_t shown = invalidHeaderReports;
  if (readMemberHeader(headerBuffer)) return NextHeader::member;
  if (invalidHeaderReports == shown) reportInvalidHeader();
  return NextHeader::damaged;
}

bool findFirstHeader(uint8_t* headerBuffer, uint32_t* offset) {
  int64_t blockStart = archiveTell();
  for (;;) {
    if (!archiveSeek(blockStart)) return false;
    uint32_t count = archiveRead(headerBuffer, kHeaderBufferSize);
    if (count <= 20) return false;
    for (uint32_t i = 0; i < count - 20; ++i) {
      const uint8_t* c = headerBuffer + i;
      if (c[2] != '-' || c[3] != 'l' || (c[4] != 'h' && c[4] != 'z')) continue;
      if (!archiveSeek(blockStart + i)) return false;  // past what the stream can address
      if (readMemberHeader(scanScratch)) {
        *offset = static_cast<uint32_t>(blockStart + i);
        return true;
      }
    }
    // Blocks overlap by 20 bytes: every offset of the file is tried once, also those
    // a block's tail leaves untested.
    blockStart += count - 20;
  }
}
