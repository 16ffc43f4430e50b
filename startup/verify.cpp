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
  uint8_t* buffer = readBuffer;
  std::fseek(file, 0, SEEK_SET);
  size_t headerBytes = std::fread(buffer, 1, kHeaderBytes, file);
  CheckedRange checked = archiveCheckRange(std::span<const uint8_t>(buffer, headerBytes),
                                           startupState.payloadOffset, length > 0 ? uint64_t(length) : 0);
  sys::openCrcCheckWindow();
  long start = static_cast<long>(checked.begin);
  std::fseek(file, start, SEEK_SET);
  long range = (static_cast<long>(checked.end) - start) / static_cast<long>(kCrcProgressUnit);
  sys::setCrcCheckRange(range > 0 ? static_cast<int32_t>(range) : 0);
  // Every move of the bar repaints it (a few milliseconds under Wine): it moves in 64
  // steps of its range, not on every read.
  uint32_t step = range > 64 ? static_cast<uint32_t>(range / 64) : 1, shown = 0;
  uint32_t total = 0;
  uint32_t toRead = checked.end > checked.begin ? checked.end - checked.begin : 0;
  // a signed package's last bytes are looked at one by one (see finishCrcBeforeTable)
  uint32_t tail = checked.signedPackage ? (toRead < kSigningPadding ? toRead : kSigningPadding) : 0;
  toRead -= tail;
  // A read error ends the loop like the end of the file; the CRC then fails to match.
  while (uint32_t count = static_cast<uint32_t>(
             std::fread(buffer, 1, toRead - total < kReadBytes ? toRead - total : kReadBytes, file))) {
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
  uint8_t* last = buffer + kReadBytes - kSigningPadding;
  uint32_t leftOut;
  uint32_t crc = total == toRead && std::fread(last, 1, tail, file) == tail
                     ? finishCrcBeforeTable(expectedCrc, last, tail, &leftOut)
                     : crc32Value();
  std::fclose(file);
  sys::closeCrcCheckWindow();
  if (expectedCrc == 0 || expectedCrc == crc) return crc;
  showMessage(Message::crcCheckError, path);
  return 0;
}
