// Arbitrary bytes as the argument text, as image headers, and as a configuration block:
// none of them may read or write outside its buffers.
#include <cstring>
#include <span>

#include "extract/paths.h"
#include "startup/cmdline.h"
#include "startup/payload.h"
#include "startup/settings.h"
#include "sys/text.h"
#include "sys/ui.h"

namespace {
int ignoreMessage(sys::WindowHandle, const char*, const char*, unsigned) { return sys::kIdOk; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  sys::setMessageHook(ignoreMessage);
  sys::setCodePage(data[0] & 0x80 ? 932 : 1252);
  std::span<const uint8_t> rest(data + 1, size - 1);
  resetSfxSettings();
  switch (data[0] % 3) {
    case 0: {
      static char text[4096];
      size_t n = rest.size() < sizeof text - 1 ? rest.size() : sizeof text - 1;
      std::memcpy(text, rest.data(), n);
      text[n] = '\0';
      char archivePath[kPathBytes];
      uint32_t exitCode;
      parseCommandLine(skipProgramName(text), archivePath, &exitCode);
      break;
    }
    case 1:
      findPayloadOffset(rest);
      break;
    case 2: {
      SfxConfig block;
      std::memset(&block, 0, sizeof block);
      std::memcpy(&block, rest.data(), rest.size() < sizeof block ? rest.size() : sizeof block);
      mergeSfxConfig(block, "Z:\\dl\\pkg.exe");
      break;
    }
  }
  return 0;
}
