// Helpers for the archive decoding tests: a bit writer, a canonical-code block writer
// for the static Huffman methods, header builders, and a harness that runs the decoder
// on bytes held in memory and records what it wrote, showed and reported.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Writes bits most significant first, as the decoder reads them.
struct BitWriter {
  Bytes bytes;
  uint32_t bitsUsed = 0;  // bits used in the last byte (0 = none open)
  void put(uint32_t value, uint32_t count);
  Bytes finish() const { return bytes; }
};

// Canonical code values for a list of lengths (0 = absent), assigned in order of length
// and, within a length, of symbol.
std::vector<uint32_t> canonicalCodes(const std::vector<uint8_t>& lengths);

// Length list coding of the small alphabets: 0..6 in three bits, 7 and more as 111,
// (length - 7) ones and a 0.
void putSmallLength(BitWriter& w, uint32_t length);

struct StaticParams {
  uint32_t positionCodeCount;  // 14 (-lh4-/-lh5-), 16 (-lh6-), 17 (-lh7-)
  uint32_t positionCountBits;  // 4 or 5
};
StaticParams staticParams(uint32_t method);

// One block of a -lh4- to -lh7- stream with explicit code lengths. By default the
// code-length code is a fixed complete code (13 lengths of 4 bits, 6 of 5 bits) and the
// 510 character lengths go one token per length; the pieces can also be written one by
// one to build unusual headers.
struct StaticBlock {
  std::vector<uint8_t> codeLengthLengths;  // 19 entries
  std::vector<uint8_t> charLengths;        // 510 entries
  std::vector<uint8_t> positionLengths;    // positionCodeCount entries
  std::vector<uint32_t> codeLengthCodes, charCodes, positionCodes;
  StaticParams params;

  void prepare();  // canonical codes of the three lists
  // block size and the three lists, as an encoder writes them
  void begin(BitWriter& w, uint16_t blockSize);
  // announced may exceed 19 (the extra lengths are read and ignored)
  void putCodeLengthList(BitWriter& w, uint32_t announced = 19, const std::vector<uint8_t>& extra = {}) const;
  // token 0: one zero; 1: run of extra + 3 zeros (4 bits); 2: run of extra + 20 (9 bits);
  // 3..18: length token - 2
  void putCharToken(BitWriter& w, uint32_t token, uint32_t extra = 0) const;
  void putCharLengths(BitWriter& w) const;
  void putPositionLengths(BitWriter& w) const;

  void literal(BitWriter& w, uint8_t byte) const { code(w, byte); }
  // A match of length 3..256 at distance p + 1.
  void match(BitWriter& w, uint32_t length, uint32_t p) const;
  void code(BitWriter& w, uint32_t symbol) const;
};

// Complete codes over every symbol: 2 character lengths of 8 and 508 of 9; position
// lengths complete over the method's alphabet.
StaticBlock fullBlock(uint32_t method);

// What the decoder must produce: literals and matches over a dictionary of spaces.
struct OutputModel {
  Bytes out;
  void literal(uint8_t b) { out.push_back(b); }
  void match(uint32_t length, uint32_t p) {
    for (uint32_t k = 0; k < length; ++k) {
      int64_t from = static_cast<int64_t>(out.size()) - p - 1;
      out.push_back(from < 0 ? ' ' : out[static_cast<size_t>(from)]);
    }
  }
};

Bytes pattern(size_t n, uint32_t seed = 1);

// Header builders: bytes of one member header.
struct ExtendedHeader {
  uint8_t type;
  Bytes data;  // the bytes after the type (size = data + 3)
};
Bytes level0Header(const std::string& method, const std::string& name, uint32_t packed, uint32_t original,
                   uint16_t crc);
Bytes level1Header(const std::string& method, const std::string& name, uint32_t packed, uint32_t original,
                   uint16_t crc, const std::vector<ExtendedHeader>& extensions);
// headerCrc: put a type-0 extension with the right CRC first in the chain. padding: zero
// bytes behind the chain, counted in the length and covered by the CRC (as writers pad a
// length that is a multiple of 256).
Bytes level2Header(const std::string& method, uint32_t packed, uint32_t original, uint16_t crc,
                   const std::vector<ExtendedHeader>& extensions, bool headerCrc, size_t padding = 0);
// Sets a level-2 header's length field and puts the CRC of its first `length` bytes in
// the type-0 extension that level2Header put first.
void restateLevel2Header(Bytes& header, uint16_t length);

// Reference CRC-16/ARC computed bit by bit.
uint16_t referenceCrc16(const Bytes& bytes);

// Attaches bytes as archiveStream (through a temporary file) and resets the run.
void attachBytes(const Bytes& bytes);

// Everything the core did while one call ran.
struct Recorder {
  std::vector<std::string> messages;
  std::vector<uint32_t> progress;  // kib values, one per write
};
extern Recorder recorder;
void startRecording();  // clears the recorder, installs the hooks, runStatus = 0

struct DecodeResult {
  Bytes output;
  uint16_t crc;
  int32_t status;
  std::vector<std::string> messages;
  std::vector<uint32_t> progress;
  int64_t archivePosition;  // where the stream stood afterwards
};
// Runs decodeMember on stream bytes (the packed data starts at offset 0) into a file.
DecodeResult decodeBytes(uint32_t method, const Bytes& packed, uint32_t packedSize, uint32_t originalSize);

std::string corpusPath(const std::string& relative);
