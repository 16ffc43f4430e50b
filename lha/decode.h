// The decoder frame: method selection, the dictionary loop shared by every compressed
// method, the output path and the stored methods.
#pragma once
#include <cstdint>
#include <cstdio>

// Method codes as the method id maps them; 11 is "no decoder".
enum DecodeMethod : uint32_t {
  kMethodLh0 = 0,
  kMethodLh1 = 1,
  kMethodLh2 = 2,
  kMethodLh3 = 3,
  kMethodLh4 = 4,
  kMethodLh5 = 5,
  kMethodLh6 = 6,
  kMethodLh7 = 7,
  kMethodUnsupported = 11,
  kMethodLzs = 13,
  kMethodLz4 = 14,
  kMethodLz5 = 15,
};

// One row per method: everything the frame needs to run it.
struct DecodeMethodRecord {
  uint32_t method;
  // The id between its dashes, "lh5". The five bytes of an id never stand together in the
  // stub: readers that look for the archive behind a package's image take the first such
  // pattern for a member header.
  char code[4];
  bool stored;                  // copied unchanged, no dictionary
  uint8_t dictionaryBits;       // dictionary of 2^dictionaryBits bytes
  uint16_t lengthOffset;        // a code c above 255 is a match of c - lengthOffset bytes
  uint16_t positionCodeCount;   // size of the position alphabet
  uint8_t positionCountBits;    // width of the count of position code lengths
  void (*start)();
  uint16_t (*decodeChar)();
  uint16_t (*decodePosition)();
  // The dictionary loop: the frame's, through decodeChar and decodePosition, or a
  // method's own (the static methods, most archives' bulk, decode their codes inline).
  void (*run)(const DecodeMethodRecord&);
};

// The record of a method code, or null for 11 and for codes the table does not list.
const DecodeMethodRecord* findDecodeMethod(uint32_t method);
// True when members of this method can be decoded (every method the table lists).
bool decodeMethodSupported(uint32_t method);

// The method id of a row, "-lh5-", into id (6 bytes).
void formatMethodId(const DecodeMethodRecord& record, char* id);

// Maps a five-character method id to its DecodeMethod.
uint32_t selectDecodeMethod(const char* methodId);

// Decodes packedSize bytes at the archive position into outputStream through writeOutput.
// Failures show up in runningCrc16 and, for fatal ones, in runStatus.
void decodeMember(uint32_t method, uint32_t packedSize, uint32_t originalSize);

// What a method's decodeChar returns when its stream can give no further code for the
// member (damaged data); the frame then flushes what it has and ends the member.
constexpr uint16_t kEndOfMemberCode = 0xFFFF;

// Bytes the dictionary buffer holds beyond two dictionaries: a loop may let a match run
// past the end of its ring (the longest match) and copy up to sixteen bytes past that.
constexpr uint32_t kDictionarySlack = 256 + 16;

// Frame state of the member being decoded (one member at a time).
struct DecoderState {
  const DecodeMethodRecord* record;
  // 2 * dictionarySize + kDictionarySlack bytes, of which the frame's loop uses the
  // first dictionarySize; the first dictionarySize are spaces at the start
  uint8_t* dictionary;
  uint32_t dictionarySize;
  // writePos and producedCount are brought up to date before every decodePosition
  // call (a match's length already counted), which is where methods read them
  uint32_t writePos;
  uint32_t producedCount;       // literals count 1, matches their length
  // Decoding stops once producedCount reaches it: the member's original size, or 0 once
  // the bit reader finds its packed bytes spent (a stream of zero bits would otherwise go
  // on making output up to any size the header claims).
  uint32_t outputLimit;
  uint16_t positionCodeCount;
  uint8_t positionCountBits;
};
extern DecoderState decoderState;

// Output: a FILE* opened by the caller, or null to decode without writing (test mode:
// the CRC-16, the byte total and the progress message still happen).
extern FILE* outputStream;
extern uint32_t totalBytesWritten;  // every byte written in this run
// Progress of a run: KiB of archive read since the first header. A report goes out when
// the position has moved by `step` KiB, a 64th of the archive: one per write would cost
// a message between threads and a repaint of the bar (milliseconds under Wine) for every
// dictionary filled.
constexpr uint32_t kProgressReports = 64;
struct ProgressReport {
  int64_t origin;     // file offset of the first member header
  uint32_t step;
  uint32_t lastKib;   // position of the last report
};
extern ProgressReport progressReport;
void startProgressReport(int64_t origin, int64_t archiveBytes);
// Reports the current position whatever step it has reached (the end of a run).
void reportProgressNow();

// Writes n bytes; returns n, or 0 when nothing was written (run stopped, short write).
uint32_t writeOutput(const uint8_t* buffer, uint32_t n);
// Copies the member's packed bytes unchanged (-lh0-, -lz4-).
void copyStored();
