// Arbitrary bytes into decodeMember for every method code. The first byte picks the
// method (and, with its top bit, whether the packed size claims more than the input
// holds); the next two give the original size / 4; the rest is packed data. The build
// writes a seed of every method in this form (decode_seeds.py).
#include "fuzz_util.h"

namespace {
const uint32_t kMethods[] = {0, 1, 2, 3, 4, 5, 6, 7, 11, 13, 14, 15, 99};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  uint32_t method = kMethods[(data[0] & 0x7F) % (sizeof kMethods / sizeof kMethods[0])];
  bool overclaim = data[0] & 0x80;
  // up to 256 KiB of output keeps one run fast and still spans several dictionaries
  uint32_t originalSize = (static_cast<uint32_t>(data[1]) | static_cast<uint32_t>(data[2]) << 8) * 4;
  if (!attachInput(data + 3, size - 3)) {
    if (size != 3) return 0;
    // no packed bytes at all: the decoder must cope with an empty stream
    decodeMember(method, 0, originalSize & 0xFFF);
    return 0;
  }
  uint32_t packedSize = static_cast<uint32_t>(size - 3);
  if (overclaim) packedSize = packedSize * 2 + 100;
  runningCrc16 = 0;
  decodeMember(method, packedSize, originalSize);
  closeArchiveStream();
  runStatus.store(kRunGoing);
  return 0;
}
