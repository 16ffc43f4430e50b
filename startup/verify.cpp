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
// One step of the loop: a read, the bar and one message. Every step costs a trip to the
// window system (under Wine a costly one), so steps are large; the window still answers
// within a millisecond.
constexpr uint32_t kReadBytes = 65536;
uint8_t readBuffer[kReadBytes];
}  // namespace

uint32_t verifyArchiveCrc32(uint32_t expectedCrc) {
  buildCrc32Table();
  char path[kPathBytes];
  if (sys::moduleFileName(path, sizeof path) == 0) return 0;
  // A second handle of its own: archiveStream stays where it is.
  FILE* file = sys::openFile(path, "rb");
  if (!file) return 0;
  std::setvbuf(file, nullptr, _IONBF, 0);  // whole steps straight from the system
  std::fseek(file, 0, SEEK_END);
  long length = std::ftell(file);
  sys::openCrcCheckWindow();
  long start = static_cast<long>(startupState.payloadOffset) + 512;
  std::fseek(file, start, SEEK_SET);
  long range = (length - start) / static_cast<long>(kCrcProgressUnit);
  sys::setCrcCheckRange(range > 0 ? static_cast<int32_t>(range) : 0);
  // Every move of the bar repaints it (a few milliseconds under Wine): it moves in 64
  // steps of its range, not on every read.
  uint32_t step = range > 64 ? static_cast<uint32_t>(range / 64) : 1, shown = 0;
  uint8_t* buffer = readBuffer;
  uint32_t total = 0;
  // A read error ends the loop like the end of the file; the CRC then fails to match.
  while (uint32_t count = static_cast<uint32_t>(std::fread(buffer, 1, kReadBytes, file))) {
    crc32Update(buffer, count);
    total += count;
    sys::sleepMs(0);
    uint32_t position = total / kCrcProgressUnit;
    if (position >= shown + step) {
      shown = position;
      sys::setCrcCheckPosition(position);
    }
    sys::pumpOneMessage();
  }
  std::fclose(file);
  sys::closeCrcCheckWindow();
  uint32_t crc = crc32Value();
  if (expectedCrc == 0 || expectedCrc == crc) return crc;
  showMessage(Message::crcCheckError, path);
  return 0;
}
