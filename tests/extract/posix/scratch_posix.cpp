// Scratch folders from mkdtemp, named in the drive-letter form; messages through the hook.
#include <cstdlib>
#include <string>

#include "extract/scratch_util.h"
#include "sys/ui.h"

std::string makeScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/zarozaXXXXXX";
  if (!mkdtemp(pattern.data())) return "";
  std::string text = "Z:" + pattern + "/";
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
}

std::string networkFormOf(const std::string& folder) {
  // "Z:\tmp\zaroza1\" -> "\\tmp\zaroza1\": server "tmp", share "zaroza1".
  if (folder.size() < 3 || folder[1] != ':') return "";
  std::string form = "\\" + folder.substr(2);
  size_t server = form.find('\\', 2);
  if (server == std::string::npos || form.find('\\', server + 1) == std::string::npos) return "";
  return form;
}

namespace {
std::vector<ShownMessage> captured;
int captureHook(sys::WindowHandle, const char* text, const char* caption, unsigned) {
  captured.push_back({text ? text : "", caption ? caption : ""});
  return sys::kIdOk;
}
}  // namespace

void startMessageCapture() {
  captured.clear();
  sys::setMessageHook(captureHook);
}

std::vector<ShownMessage> stopMessageCapture() {
  sys::setMessageHook(nullptr);
  return captured;
}
