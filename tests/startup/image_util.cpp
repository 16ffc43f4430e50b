#include "image_util.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace {
void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = uint8_t(v >> (8 * i));
}
}  // namespace

std::vector<uint8_t> buildImage(const std::vector<TestSection>& sections, uint16_t announced, uint32_t ntOffset,
                                size_t fileSize) {
  size_t headerEnd = ntOffset + 248 + 40 * sections.size();
  std::vector<uint8_t> b(std::max(headerEnd, fileSize), 0);
  b[0] = 'M';
  b[1] = 'Z';
  put32(b, 0x3C, ntOffset);
  std::memcpy(&b[ntOffset], "PE\0\0", 4);
  put16(b, ntOffset + 4, 0x14C);
  put16(b, ntOffset + 6, announced);
  put16(b, ntOffset + 20, 224);
  for (size_t i = 0; i < sections.size(); i++) {
    size_t h = ntOffset + 248 + 40 * i;
    std::memcpy(&b[h], sections[i].name.data(), std::min<size_t>(8, sections[i].name.size()));
    put32(b, h + 16, sections[i].rawSize);
    put32(b, h + 20, sections[i].rawPointer);
  }
  return b;
}

ScratchFolder::ScratchFolder() {
  std::random_device rd;
  fs::path p = fs::temp_directory_path() / ("zaroza-test-" + std::to_string(rd()) + std::to_string(rd()));
  fs::create_directories(p);
  native = p.string();
  windowsForm = toPathText(native);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  fs::permissions(native, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(native, ec);
}

std::string ScratchFolder::file(const std::string& relative, const std::vector<uint8_t>& bytes) const {
  fs::path p = fs::path(native) / relative;
  fs::create_directories(p.parent_path());
  FILE* f = std::fopen(p.string().c_str(), "wb");
  if (f) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return p.string();
}

std::string toPathText(const std::string& native) {
#ifdef _WIN32
  return native;
#else
  std::string s = "Z:" + native;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
#endif
}
