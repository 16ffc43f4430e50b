#include "lha_util.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "extract/run_state.h"
#include "lha/decode.h"
#include "lha/header.h"
#include "lha/huffman.h"
#include "lha/stream.h"
#include "sys/ui.h"

Recorder recorder;

void BitWriter::put(uint32_t value, uint32_t count) {
  for (uint32_t k = count; k-- > 0;) {
    if (bitsUsed == 0) bytes.push_back(0);
    if ((value >> k) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> bitsUsed);
    bitsUsed = (bitsUsed + 1) & 7;
  }
}

std::vector<uint32_t> canonicalCodes(const std::vector<uint8_t>& lengths) {
  uint32_t count[33] = {};
  for (uint8_t l : lengths) ++count[l];
  count[0] = 0;
  uint32_t next[33] = {};
  uint32_t code = 0;
  for (uint32_t len = 1; len <= 32; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<uint32_t> codes(lengths.size(), 0);
  for (size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  return codes;
}

void putSmallLength(BitWriter& w, uint32_t length) {
  if (length < 7) {
    w.put(length, 3);
    return;
  }
  w.put(7, 3);
  for (uint32_t k = 7; k < length; ++k) w.put(1, 1);
  w.put(0, 1);
}

StaticParams staticParams(uint32_t method) {
  switch (method) {
    case kMethodLh6: return {16, 5};
    case kMethodLh7: return {17, 5};
    default: return {14, 4};
  }
}

void StaticBlock::prepare() {
  if (codeLengthLengths.empty()) {
    codeLengthLengths.assign(19, 4);
    for (int k = 13; k < 19; ++k) codeLengthLengths[k] = 5;
  }
  codeLengthCodes = canonicalCodes(codeLengthLengths);
  charCodes = canonicalCodes(charLengths);
  positionCodes = canonicalCodes(positionLengths);
}

void StaticBlock::begin(BitWriter& w, uint16_t blockSize) {
  prepare();
  w.put(blockSize, 16);
  putCodeLengthList(w);
  putCharLengths(w);
  putPositionLengths(w);
}

void StaticBlock::putCodeLengthList(BitWriter& w, uint32_t announced, const std::vector<uint8_t>& extra) const {
  w.put(announced, 5);
  std::vector<uint8_t> all = codeLengthLengths;
  all.insert(all.end(), extra.begin(), extra.end());
  for (uint32_t k = 0; k < announced; ++k) {
    putSmallLength(w, all.at(k));
    if (k == 2) w.put(0, 2);  // no zero run after the third length
  }
}

void StaticBlock::putCharToken(BitWriter& w, uint32_t token, uint32_t extra) const {
  w.put(codeLengthCodes.at(token), codeLengthLengths.at(token));
  if (token == 1) w.put(extra, 4);
  if (token == 2) w.put(extra, 9);
}

void StaticBlock::putCharLengths(BitWriter& w) const {
  w.put(510, 9);
  for (uint8_t l : charLengths) putCharToken(w, l == 0 ? 0 : l + 2u);
}

void StaticBlock::putPositionLengths(BitWriter& w) const {
  w.put(params.positionCodeCount, params.positionCountBits);
  for (uint8_t l : positionLengths) putSmallLength(w, l);
}

Bytes pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t x = seed;
  for (auto& v : b) {
    x = x * 1103515245 + 12345;
    v = static_cast<uint8_t>(x >> 16);
  }
  return b;
}

void StaticBlock::code(BitWriter& w, uint32_t symbol) const { w.put(charCodes.at(symbol), charLengths.at(symbol)); }

void StaticBlock::match(BitWriter& w, uint32_t length, uint32_t p) const {
  code(w, length + 253);
  uint32_t j = 0;
  while ((p >> j) != 0) ++j;  // bit length of p
  w.put(positionCodes.at(j), positionLengths.at(j));
  if (j > 1) w.put(p - (1u << (j - 1)), j - 1);
}

StaticBlock fullBlock(uint32_t method) {
  StaticBlock b;
  b.params = staticParams(method);
  // 510 symbols: 2 of length 8 and 508 of length 9 form a complete code (2/256 + 508/512).
  b.charLengths.assign(510, 9);
  b.charLengths[0] = b.charLengths[1] = 8;
  // position codes: a complete code over the whole alphabet
  uint32_t np = b.params.positionCodeCount;
  b.positionLengths.assign(np, 0);
  // np = 14: 2 of length 3, 12 of length 4 (2/8 + 12/16 = 1); 16: all 4; 17: 15 of 4, 2 of 5
  if (np == 14) {
    for (uint32_t k = 0; k < np; ++k) b.positionLengths[k] = k < 2 ? 3 : 4;
  } else if (np == 16) {
    for (uint32_t k = 0; k < np; ++k) b.positionLengths[k] = 4;
  } else {
    for (uint32_t k = 0; k < np; ++k) b.positionLengths[k] = k < 15 ? 4 : 5;
  }
  return b;
}

namespace {
void put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void putCommon(Bytes& h, const std::string& method, uint32_t packed, uint32_t original, uint32_t time,
               uint8_t attribute, uint8_t level) {
  h.insert(h.end(), method.begin(), method.end());
  put32(h, packed);
  put32(h, original);
  put32(h, time);
  h.push_back(attribute);
  h.push_back(level);
}
Bytes extensionBytes(const std::vector<ExtendedHeader>& extensions) {
  Bytes out;
  for (size_t k = 0; k < extensions.size(); ++k) {
    out.push_back(extensions[k].type);
    out.insert(out.end(), extensions[k].data.begin(), extensions[k].data.end());
    put16(out, k + 1 < extensions.size() ? static_cast<uint32_t>(extensions[k + 1].data.size() + 3) : 0);
  }
  return out;
}
}  // namespace

Bytes level0Header(const std::string& method, const std::string& name, uint32_t packed, uint32_t original,
                   uint16_t crc) {
  Bytes h = {0, 0};
  putCommon(h, method, packed, original, 0x50210000, 0x20, 0);
  h.push_back(static_cast<uint8_t>(name.size()));
  h.insert(h.end(), name.begin(), name.end());
  put16(h, crc);
  h[0] = static_cast<uint8_t>(h.size() - 2);
  uint8_t sum = 0;
  for (size_t k = 2; k < h.size(); ++k) sum = static_cast<uint8_t>(sum + h[k]);
  h[1] = sum;
  return h;
}

Bytes level1Header(const std::string& method, const std::string& name, uint32_t packed, uint32_t original,
                   uint16_t crc, const std::vector<ExtendedHeader>& extensions) {
  Bytes ext = extensionBytes(extensions);
  Bytes h = {0, 0};
  putCommon(h, method, packed + static_cast<uint32_t>(ext.size()), original, 0x50210000, 0x20, 1);
  h.push_back(static_cast<uint8_t>(name.size()));
  h.insert(h.end(), name.begin(), name.end());
  put16(h, crc);
  h.push_back('U');
  put16(h, extensions.empty() ? 0 : static_cast<uint32_t>(extensions[0].data.size() + 3));
  h[0] = static_cast<uint8_t>(h.size() - 2);
  uint8_t sum = 0;
  for (size_t k = 2; k < h.size(); ++k) sum = static_cast<uint8_t>(sum + h[k]);
  h[1] = sum;
  h.insert(h.end(), ext.begin(), ext.end());
  return h;
}

Bytes level2Header(const std::string& method, uint32_t packed, uint32_t original, uint16_t crc,
                   const std::vector<ExtendedHeader>& extensions, bool headerCrc, size_t padding) {
  std::vector<ExtendedHeader> all;
  if (headerCrc) all.push_back({0x00, {0, 0}});
  all.insert(all.end(), extensions.begin(), extensions.end());
  Bytes ext = extensionBytes(all);
  Bytes h = {0, 0};
  putCommon(h, method, packed, original, 1577836800, 0x20, 2);
  put16(h, crc);
  h.push_back('U');
  put16(h, all.empty() ? 0 : static_cast<uint32_t>(all[0].data.size() + 3));
  h.insert(h.end(), ext.begin(), ext.end());
  h.resize(h.size() + padding, 0);
  h[0] = static_cast<uint8_t>(h.size());
  h[1] = static_cast<uint8_t>(h.size() >> 8);
  if (headerCrc) restateLevel2Header(h, static_cast<uint16_t>(h.size()));
  return h;
}

void restateLevel2Header(Bytes& h, uint16_t length) {
  h[0] = static_cast<uint8_t>(length);
  h[1] = static_cast<uint8_t>(length >> 8);
  h[27] = h[28] = 0;
  uint16_t c = referenceCrc16(Bytes(h.begin(), h.begin() + std::min<size_t>(length, h.size())));
  h[27] = static_cast<uint8_t>(c);
  h[28] = static_cast<uint8_t>(c >> 8);
}

uint16_t referenceCrc16(const Bytes& bytes) {
  uint16_t crc = 0;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

namespace {
int recordMessage(sys::WindowHandle, const char* text, const char*, unsigned) {
  recorder.messages.emplace_back(text);
  return sys::kIdOk;
}
void recordProgress(uint32_t kib) { recorder.progress.push_back(kib); }

// CTest runs each case as its own process, several at once: the name must differ between processes.
std::string temporaryFile(const char* tag) {
  static const std::string run = std::to_string(std::random_device{}()) + std::to_string(std::random_device{}());
  static std::atomic<int> counter{0};
  // Removed when the test program ends, so runs leave nothing behind in the temporary folder.
  static struct Created {
    std::vector<std::filesystem::path> paths;
    ~Created() {
      std::error_code ignored;
      for (auto& p : paths) std::filesystem::remove(p, ignored);
    }
  } created;
  auto dir = std::filesystem::temp_directory_path();
  created.paths.push_back(dir / ("zaroza_lha_" + run + "_" + std::to_string(counter++) + "_" + tag));
  return created.paths.back().string();
}
}  // namespace

void startRecording() {
  recorder = {};
  sys::setMessageHook(recordMessage);
  sys::setProgressHook(recordProgress);
  runStatus.store(kRunGoing);
}

void attachBytes(const Bytes& bytes) {
  static std::string path;
  if (path.empty()) path = temporaryFile("archive");
  closeArchiveStream();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  attachArchiveStream(std::fopen(path.c_str(), "rb"));
  buildCrc16Table();
  startRecording();
}

DecodeResult decodeBytes(uint32_t method, const Bytes& packed, uint32_t packedSize, uint32_t originalSize) {
  attachBytes(packed);
  static std::string outPath;
  if (outPath.empty()) outPath = temporaryFile("output");
  outputStream = std::fopen(outPath.c_str(), "w+b");
  runningCrc16 = 0;
  totalBytesWritten = 0;
  decodeMember(method, packedSize, originalSize);
  DecodeResult r;
  r.archivePosition = archiveTell();
  std::fflush(outputStream);
  std::rewind(outputStream);
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, outputStream)) > 0) r.output.insert(r.output.end(), chunk, chunk + n);
  std::fclose(outputStream);
  outputStream = nullptr;
  r.crc = runningCrc16;
  r.status = runStatus.load();
  r.messages = recorder.messages;
  r.progress = recorder.progress;
  closeArchiveStream();
  runStatus.store(kRunGoing);
  return r;
}

std::string corpusPath(const std::string& relative) { return std::string(ZAROZA_CORPUS_DIR) + "/" + relative; }
