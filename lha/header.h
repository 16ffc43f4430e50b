// LHA member headers (levels 0, 1 and 2), the archive scan and the CRC-16 they share
// with the decoders.
#pragma once
#include <cstdint>

// Size of the caller-owned header buffer (the scan reads its blocks into it).
constexpr uint32_t kHeaderBufferSize = 65536;
// Largest piece read at once while reading one header; readMemberHeader needs this
// much scratch.
constexpr int32_t kMaxHeaderPiece = 4096;
// The directory part and the name part of a path are each cut to this many bytes.
constexpr uint32_t kMaxPathPart = 260;

// The code page an archive names for a member's name parts (extended header 0x46); 0 when
// it names none, and the system's ANSI code page is taken.
constexpr uint8_t kCodePageExtension = 0x46;

struct MemberHeader {
  uint8_t level;              // 0, 1 or 2
  // Directory part + name part as UTF-8, 0xFF turned into '\'. A part of 260 bytes takes
  // up to three times as many in UTF-8.
  char path[2 * 3 * kMaxPathPart + 1];
  uint32_t codePage;          // of the stored name (extended header 0x46), 0: none named
  bool nameValid;             // false: the name cannot be read in its code page, or a part
                              // was longer than kMaxPathPart (path is then for messages only)
  char methodId[6];           // e.g. "-lh5-", "-lhd-" for a directory entry
  uint32_t packedSize;        // packed data behind the header (level 1: extensions removed)
  uint32_t originalSize;
  uint32_t timeStamp;         // levels 0/1: MS-DOS date-time (local); level 2: Unix time
  uint16_t attribute;
  uint16_t storedCrc16;       // CRC-16 of the decoded data
};

extern MemberHeader memberHeader;

// CRC-16/ARC (reflected 0xA001, initial 0, no final XOR) kept in one register.
struct Crc16State {
  uint16_t table[16][256];    // table[0] is the byte table; the rest serve 16-byte steps
  bool built;
};
extern Crc16State crc16State;
extern uint16_t runningCrc16;

void buildCrc16Table();
// Folds count bytes into runningCrc16.
void crc16Update(const uint8_t* bytes, uint32_t count);
// The same on a caller's own value, for threads that pack members side by side (the
// table must be built first).
uint16_t crc16Continue(uint16_t running, const uint8_t* bytes, uint32_t count);

// Unsigned running byte sum of the header bytes read (levels 0 and 1 check it).
extern uint8_t headerChecksum;

// Reads up to count bytes of a header (count 0..4096, else -1 and nothing read), feeds
// them to runningCrc16 and headerChecksum; returns the number read.
int32_t readHeaderBytes(uint8_t* destination, int32_t count);

// Reads one header at the current archive position into memberHeader, using headerBuffer
// (at least kMaxHeaderPiece bytes) as scratch. True: the stream stands on the member's
// first data byte. False: no valid header here (the scan goes on; behind a member,
// readNextHeader tells the archive's end from damage).
bool readMemberHeader(uint8_t* headerBuffer);

// What the bytes behind a member hold.
enum class NextHeader { member, end, damaged };
// No header is shorter: a level-0 header with an empty name.
constexpr int64_t kSmallestHeader = 24;
// Reads the header behind a member. The archive ends at a zero byte (nothing after it is
// read), at archiveEnd (the end of the file, or where a signed package's certificate
// table begins) and where fewer bytes remain than the smallest header; any other bytes
// that are no header are damage, and "invalid header." has then been shown once.
NextHeader readNextHeader(uint8_t* headerBuffer, int64_t archiveEnd);

// How many times "invalid header." was shown (by the header reader or for damage).
extern uint32_t invalidHeaderReports;

// Scans from the current archive position for the first header readMemberHeader accepts.
// headerBuffer holds kHeaderBufferSize bytes. On success *offset is its file offset and
// the stream stands behind it.
bool findFirstHeader(uint8_t* headerBuffer, uint32_t* offset);
