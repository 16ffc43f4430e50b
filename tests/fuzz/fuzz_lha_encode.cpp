// Arbitrary bytes through the encoder and back through the decoder: the output must be
// the input, with its CRC-16. The first byte picks the method and how the input is fed
// (whole, or in pieces); the rest is the member. Built once per effort (FUZZ_EFFORT).
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_util.h"
#include "lha/encode.h"

namespace {
const uint32_t kMethods[] = {kMethodLh5, kMethodLh6, kMethodLh7};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t method = kMethods[data[0] % 3];
  const size_t piece = data[0] & 0x80 ? 1 + data[0] % 97 : size;
  std::span<const uint8_t> input(data + 1, size - 1);
  if (!startEncoder(method, FUZZ_EFFORT)) std::abort();
  std::vector<uint8_t> packed;
  for (size_t at = 0; at < input.size(); at += piece) {
    encodeBytes(input.subspan(at, std::min(piece, input.size() - at)));
    packed.insert(packed.end(), encoderOutput().begin(), encoderOutput().end());
    encoderOutput().clear();
  }
  finishEncoder();
  packed.insert(packed.end(), encoderOutput().begin(), encoderOutput().end());
  encoderOutput().clear();
  if (input.empty()) return 0;  // an empty member is stored, never packed

  if (!attachInput(packed.data(), packed.size())) std::abort();
  char* decoded = nullptr;
  size_t decodedSize = 0;
  outputStream = open_memstream(&decoded, &decodedSize);
  runningCrc16 = 0;
  decodeMember(method, static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(input.size()));
  std::fclose(outputStream);
  outputStream = nullptr;
  closeArchiveStream();
  uint16_t crc = runningCrc16;
  runningCrc16 = 0;
  crc16Update(input.data(), static_cast<uint32_t>(input.size()));
  bool same = decodedSize == input.size() && std::memcmp(decoded, input.data(), input.size()) == 0 &&
              crc == runningCrc16 && readRunStatus() == kRunGoing;
  std::free(decoded);
  if (!same) std::abort();
  return 0;
}
