// Arbitrary bytes into the archive scan and the header reader: every header the scan
// accepts is read again, and the member chain is followed to its end.
#include <vector>

#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!attachInput(data, size)) return 0;
  static std::vector<uint8_t> headerBuffer(kHeaderBufferSize);
  // the header at offset 0 on its own
  readMemberHeader(headerBuffer.data());
  archiveSeek(0);
  uint32_t offset = 0;
  if (findFirstHeader(headerBuffer.data(), &offset)) {
    int64_t next = offset;
    for (int members = 0; members < 10000 && archiveSeek(next) && readMemberHeader(headerBuffer.data()); ++members)
      next = archiveTell() + memberHeader.packedSize;
  }
  closeArchiveStream();
  return 0;
}
