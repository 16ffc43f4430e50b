#include "startup/verify.h"

#include <cstdio>

#include "extract/paths.h"
#include "startup/crc32.h"
#include "startup/payload.h"
#include "sys/fs.h"
#include "sys/process.h"
#include "sys/ui.h"
#include "ui/messages.h"

namespace {
constexpr uint32_t kReadBytes = 2048;
}  // namespace

uint32_t verifyArchiveCrc32(uint32_t expectedCrc) {
  buildCrc32Table();
  char path[kPathBytes];
  if (sys::moduleFileName(path, sizeof path) == 0) return 0;
  // A second handle of its own: archiveStream stays where it is.
  FILE* file = sys::openFile(path, "rb");
  if (!file) return 0;
  std::fseek(file, 0, SEEK_END);
  long length = std::ftell(file);
  sys::openCrcCheckWindow();
  long start = static_cast<long>(startupState.payloadOffset) + 512;
  std::fseek(file, start, SEEK_SET);
  long range = (length - start) / static_cast<long>(kCrcProgressUnit);
  sys::setCrcCheckRange(range > 0 ? static_cast<int32_t>(range) : 0);
  uint8_t buffer[kReadBytes];
  uint32_t total = 0;
  // A read error ends the loop like the end of the file; the CRC then fails to match.
  while (uint32_t count = static_cast<uint32_t>(std::fread(buffer, 1, kReadBytes, file))) {
    crc32Update(buffer, count);
    total += count;
    sys::sleepMs(0);
    sys::setCrcCheckPosition(total / kCrcProgressUnit);
    sys::pumpOneMessage();
  }
  std::fclose(file);
  sys::closeCrcCheckWindow();
  uint32_t crc = crc32Value();
  if (expectedCrc == 0 || expectedCrc == crc) return crc;
  showMessage(Message::crcCheckError, path);
  return 0;
}
