// The decoder frame: the method table, the dictionary loop, output and stored copies.
#include "lha/decode.h"

#include <cstdlib>
#include <cstring>

#include "extract/run_state.h"
#include "lha/adaptive_huffman.h"
#include "lha/bits.h"
#include "lha/header.h"
#include "lha/huffman.h"
#include "lha/plain_lz.h"
#include "lha/stream.h"
#include "sys/ui.h"

DecoderState decoderState;
FILE* outputStream;
uint32_t totalBytesWritten;
ProgressReport progressReport;

namespace {

void runDecodeLoop(const DecodeMethodRecord& m);

// Every method of the system, with the parameters its decoder takes.
const DecodeMethodRecord kDecodeMethods[] = {
    // method      code   stored dictBits lenOff posCodes posBits start decodeChar decodePosition run
    {kMethodLh0, "lh0", true, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr},
    {kMethodLh1, "lh1", false, 12, 253, 64, 0, startLh1, decodeCharAdaptive, decodePositionFixed, runDecodeLoop},
    {kMethodLh2, "lh2", false, 13, 253, 0, 0, startLh2, decodeCharAdaptive, decodePositionAdaptive, runDecodeLoop},
    {kMethodLh3, "lh3", false, 13, 253, 128, 0, startLh3, decodeCharLh3, decodePositionFixed, runDecodeLoop},
    {kMethodLh4, "lh4", false, 12, 253, 14, 4, startStatic, nullptr, nullptr, runStaticLoop},
    {kMethodLh5, "lh5", false, 13, 253, 14, 4, startStatic, nullptr, nullptr, runStaticLoop},
    {kMethodLh6, "lh6", false, 15, 253, 16, 5, startStatic, nullptr, nullptr, runStaticLoop},
    {kMethodLh7, "lh7", false, 16, 253, 17, 5, startStatic, nullptr, nullptr, runStaticLoop},
    {kMethodLzs, "lzs", false, 11, 254, 0, 0, startLzs, decodeCharLzs, decodePositionLzs, runDecodeLoop},
    {kMethodLz4, "lz4", true, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr},
    {kMethodLz5, "lz5", false, 12, 253, 0, 0, startLz5, decodeCharLz5, decodePositionLz5, runDecodeLoop},
};

constexpr uint32_t kStoredPiece = 32768;
uint8_t storedBuffer[kStoredPiece];

void flushDictionary(uint32_t count) { writeOutput(decoderState.dictionary, count); }

// The main loop: literals and matches into the ring, which leaves through writeOutput a
// full dictionary at a time.
void runDecodeLoop(const DecodeMethodRecord& m) {
  DecoderState& d = decoderState;
  uint8_t* dictionary = d.dictionary;
  const uint32_t size = d.dictionarySize;
  const uint32_t mask = size - 1;
  uint32_t writePos = 0;
  uint32_t produced = 0;
  for (;;) {
    if (readRunStatus() != kRunGoing) return;  // what the dictionary still holds is dropped
    uint16_t c = m.decodeChar();
    if (c <= 255) {
      dictionary[writePos++] = static_cast<uint8_t>(c);
      if (writePos == size) {
        flushDictionary(size);
        writePos = 0;
      }
      ++produced;
    } else if (c == kEndOfMemberCode) {
      break;
    } else {
      uint32_t length = c - m.lengthOffset;
      produced += length;
      d.writePos = writePos;
      d.producedCount = produced;
      uint32_t p = m.decodePosition();
      // Damaged data may name a distance beyond the dictionary: it is taken modulo the
      // dictionary size, so the copy always reads inside the ring.
      uint32_t source = (writePos - p - 1) & mask;
      if (writePos + length <= size && source + length <= size) {
        uint8_t* out = dictionary + writePos;
        const uint8_t* in = dictionary + source;
        if (length >= 64 && (source >= writePos || source + length <= writePos)) {
          std::memmove(out, in, length);
        } else {
          // short copies (most matches) stay inline: a call per match costs more than
          // the bytes; forward order also repeats an overlapping source as it must
          for (uint32_t k = 0; k < length; ++k) out[k] = in[k];
        }
        writePos += length;
        if (writePos == size) {
          flushDictionary(size);
          writePos = 0;
        }
      } else {
        for (uint32_t k = 0; k < length; ++k) {
          dictionary[writePos++] = dictionary[source];
          if (writePos == size) {
            flushDictionary(size);
            writePos = 0;
          }
          source = (source + 1) & mask;
        }
      }
    }
    if (produced >= d.outputLimit) break;  // a member cut short fails its length or CRC-16 check
  }
  if (writePos != 0) flushDictionary(writePos);
}

}  // namespace

const DecodeMethodRecord* findDecodeMethod(uint32_t method) {
  for (const DecodeMethodRecord& r : kDecodeMethods)
    if (r.method == method) return &r;
  return nullptr;
}

void formatMethodId(const DecodeMethodRecord& record, char* id) {
  id[0] = '-';
  std::memcpy(id + 1, record.code, 3);
  id[4] = '-';
  id[5] = '\0';
}

bool decodeMethodSupported(uint32_t method) { return findDecodeMethod(method) != nullptr; }

uint32_t selectDecodeMethod(const char* methodId) {
  if (!methodId[0] || !methodId[1] || !methodId[2]) return kMethodUnsupported;
  // Tests rather than a switch: a switch here becomes a 272-byte jump table in the stub.
  char c = methodId[3];
  if (c == 's') return kMethodLzs;
  if (c < '0' || c > '7') return kMethodUnsupported;
  if (methodId[2] == 'z' && (c == '4' || c == '5')) return c == '4' ? kMethodLz4 : kMethodLz5;
  return kMethodLh0 + uint32_t(c - '0');
}

void decodeMember(uint32_t method, uint32_t packedSize, uint32_t originalSize) {
  DecoderState& d = decoderState;
  startPackedInput(packedSize);
  d.outputLimit = originalSize;
  const DecodeMethodRecord* m = findDecodeMethod(method);
  if (!m) return;
  if (m->stored) {
    copyStored();
    return;
  }

  d.record = m;
  d.dictionarySize = uint32_t{1} << m->dictionaryBits;
  d.positionCodeCount = m->positionCodeCount;
  d.positionCountBits = m->positionCountBits;
  d.dictionary = static_cast<uint8_t*>(std::malloc(2 * d.dictionarySize + kDictionarySlack));
  if (!d.dictionary) {
    // Without a dictionary nothing can be decoded; stop the run like a failed write.
    stopRun(kRunFailed);
    return;
  }
  std::memset(d.dictionary, 0x20, d.dictionarySize);
  m->start();
  d.writePos = 0;
  d.producedCount = 0;
  if (originalSize != 0) m->run(*m);
  std::free(d.dictionary);
  d.dictionary = nullptr;
}

void startProgressReport(int64_t origin, int64_t archiveBytes) {
  ProgressReport& p = progressReport;
  p.origin = origin;
  p.step = archiveBytes > 0 ? static_cast<uint32_t>(archiveBytes / 1024 / kProgressReports) : 0;
  p.lastKib = 0;
}

void reportProgressNow() {
  ProgressReport& p = progressReport;
  int64_t consumed = archiveTell() - p.origin;
  p.lastKib = consumed > 0 ? static_cast<uint32_t>(consumed / 1024) : 0;
  sys::sendProgress(p.lastKib);
}

uint32_t writeOutput(const uint8_t* buffer, uint32_t n) {
  if (readRunStatus() != kRunGoing) return 0;
  if (outputStream && std::fwrite(buffer, 1, n, outputStream) != n) {
    stopRun(kRunFailed);
    return 0;
  }
  crc16Update(buffer, n);
  totalBytesWritten += n;
  // The bar's range is the archive's size, so its position is the archive read so far;
  // counted in written bytes a compressed archive would fill it long before the end.
  ProgressReport& p = progressReport;
  int64_t consumed = archiveTell() - p.origin;
  uint32_t kib = consumed > 0 ? static_cast<uint32_t>(consumed / 1024) : 0;
  if (kib >= p.lastKib + p.step || kib < p.lastKib) {
    p.lastKib = kib;
    sys::sendProgress(kib);
  }
  return n;
}

void copyStored() {
  uint32_t& remaining = bitReader.packedRemaining;
  if (remaining == 0xFFFFFFFF) {  // size unknown: up to the end of the file
    for (;;) {
      uint32_t got = archiveRead(storedBuffer, kStoredPiece);
      if (got == 0) return;
      writeOutput(storedBuffer, got);
      if (readRunStatus() != kRunGoing) return;
    }
  }
  while (remaining > 0) {
    uint32_t want = remaining < kStoredPiece ? remaining : kStoredPiece;
    uint32_t got = archiveRead(storedBuffer, want);
    if (got == 0) return;
    remaining -= writeOutput(storedBuffer, got);
    if (readRunStatus() != kRunGoing) return;
  }
}
