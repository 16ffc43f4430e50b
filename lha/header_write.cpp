// Member headers of levels 0, 1 and 2, laid out as readMemberHeader reads them.
#include "lha/header_write.h"

#include <cstring>

#include "lha/header.h"

namespace {

constexpr uint8_t kOsId = 'M';            // MS-DOS: attributes are MS-DOS attributes
constexpr uint32_t kMaxShortHeader = 255; // levels 0 and 1: byte 0 holds the length - 2
constexpr uint8_t kSeparator = 0xFF;

void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void set16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// Bytes 2 to 20, common to every level.
void putCommon(std::vector<uint8_t>& h, const MemberRecord& r, uint32_t packedSize) {
  h.insert(h.end(), r.methodId, r.methodId + 5);
  put32(h, packedSize);
  put32(h, r.originalSize);
  put32(h, r.timeStamp);
  h.push_back(r.attribute);
  h.push_back(r.level);
}

// Levels 0 and 1 check this sum of bytes 2 to the end of the base header.
void setChecksum(std::vector<uint8_t>& h, size_t start) {
  uint8_t sum = 0;
  for (size_t k = start + 2; k < h.size(); ++k) sum = static_cast<uint8_t>(sum + h[k]);
  h[start] = static_cast<uint8_t>(h.size() - start - 2);
  h[start + 1] = sum;
}

std::string joined(const MemberRecord& r, char separator, bool afterLast) {
  std::string path;
  for (size_t k = 0; k < r.folders.size(); ++k) {
    path += r.folders[k];
    if (k + 1 < r.folders.size() || afterLast) path += separator;
  }
  return path;
}

// One extended header: type, data, and room for the size of the next one.
void putExtension(std::vector<uint8_t>& h, uint8_t type, std::string_view data) {
  h.push_back(type);
  h.insert(h.end(), data.begin(), data.end());
  put16(h, 0);
}

// The data of extended header 0x46: the code page, four bytes little-endian.
std::string codePageBytes(uint32_t codePage) {
  return std::string{static_cast<char>(codePage), static_cast<char>(codePage >> 8), static_cast<char>(codePage >> 16),
                     static_cast<char>(codePage >> 24)};
}

bool refuse(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return false;
}

// A byte that cannot stand in a stored name: a separator or a NUL, where it is not the
// trail byte of a code page 932 character (which may be 0x5C).
bool holdsSeparator(std::string_view s, uint32_t codePage) {
  for (size_t k = 0; k < s.size(); ++k) {
    auto b = static_cast<uint8_t>(s[k]);
    if (codePage == 932 && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) && k + 1 < s.size() &&
        s[k + 1] != 0) {
      ++k;
      continue;
    }
    if (b == '\\' || b == kSeparator || b == 0) return true;
  }
  return false;
}

bool checkNames(const MemberRecord& r, std::string* why) {
  if (r.codePage != 0 && r.codePage != 932 && r.codePage != 65001) return refuse(why, "names are ASCII, code page 932 or UTF-8");
  if (r.level == 0 && r.codePage == 65001)
    return refuse(why, "the name needs UTF-8, which header level 0 cannot name; use header level 1 or 2");
  auto bad = [&r](std::string_view s) { return s.empty() || holdsSeparator(s, r.codePage); };
  for (const std::string& f : r.folders)
    if (bad(f)) return refuse(why, "a folder name is empty or holds a byte no stored path may hold");
  if (!r.name.empty() && bad(r.name)) return refuse(why, "the name holds a byte no stored path may hold");
  if (r.name.empty() && r.folders.empty()) return refuse(why, "a member needs a name");
  return true;
}

std::string tooLong(uint8_t level, const char* what, size_t bytes, size_t most) {
  return std::string(what) + " of " + std::to_string(bytes) + " bytes is too long for header level " +
         std::to_string(level) + " (at most " + std::to_string(most) + ")";
}

bool appendLevel0(const MemberRecord& r, std::vector<uint8_t>& out, std::string* why) {
  // a folder entry names the folder with a closing separator
  std::string path = joined(r, '\\', true) + std::string(r.name);
  const size_t most = kMaxShortHeader - 24;
  if (path.size() > most) return refuse(why, tooLong(0, "a path", path.size(), most));
  size_t start = out.size();
  out.resize(start + 2);
  putCommon(out, r, r.packedSize);
  out.push_back(static_cast<uint8_t>(path.size()));
  out.insert(out.end(), path.begin(), path.end());
  put16(out, r.dataCrc);
  setChecksum(out, start);
  return true;
}

bool appendLevel1(const MemberRecord& r, std::vector<uint8_t>& out, std::string* why) {
  const size_t most = kMaxShortHeader - 27;
  if (r.name.size() > most) return refuse(why, tooLong(1, "a name", r.name.size(), most));
  std::string folders = joined(r, static_cast<char>(kSeparator), true);
  if (folders.size() > kMaxPathPart) return refuse(why, tooLong(1, "a folder path", folders.size(), kMaxPathPart));
  uint32_t extensions = (folders.empty() ? 0 : static_cast<uint32_t>(folders.size() + 3)) + (r.codePage ? 7 : 0);
  // the packed size of level 1 counts the extended headers too
  if (r.packedSize > UINT32_MAX - extensions) return refuse(why, "the member is too large for header level 1");
  size_t start = out.size();
  out.resize(start + 2);
  putCommon(out, r, r.packedSize + extensions);
  out.push_back(static_cast<uint8_t>(r.name.size()));
  out.insert(out.end(), r.name.begin(), r.name.end());
  put16(out, r.dataCrc);
  out.push_back(kOsId);
  // the first extended header's size, then the chain: folders, code page
  put16(out, !folders.empty() ? static_cast<uint32_t>(folders.size() + 3) : r.codePage ? 7 : 0);
  setChecksum(out, start);
  if (!folders.empty()) {
    putExtension(out, 0x02, folders);
    if (r.codePage) set16(out, out.size() - 2, 7);
  }
  if (r.codePage) putExtension(out, kCodePageExtension, codePageBytes(r.codePage));
  return true;
}

bool appendLevel2(const MemberRecord& r, std::vector<uint8_t>& out, std::string* why) {
  if (r.name.size() > kMaxPathPart) return refuse(why, tooLong(2, "a name", r.name.size(), kMaxPathPart));
  std::string folders = joined(r, static_cast<char>(kSeparator), true);
  if (folders.size() > kMaxPathPart) return refuse(why, tooLong(2, "a folder path", folders.size(), kMaxPathPart));
  std::vector<uint8_t> h;
  putCommon(h, r, r.packedSize);
  put16(h, r.dataCrc);
  h.push_back(kOsId);
  // extended headers: the header CRC first, then the name and the folders
  std::vector<size_t> sizeFields = {h.size()};
  put16(h, 0);
  auto extension = [&](uint8_t type, std::string_view data) {
    set16(h, sizeFields.back(), static_cast<uint32_t>(data.size() + 3));
    putExtension(h, type, data);
    sizeFields.push_back(h.size() - 2);
  };
  extension(0x00, std::string_view("\0\0", 2));
  if (!r.name.empty()) extension(0x01, r.name);
  if (!folders.empty()) extension(0x02, folders);
  if (r.codePage) extension(kCodePageExtension, codePageBytes(r.codePage));
  // A length whose low byte is 0 reads as the archive's end mark: an attribute header,
  // which repeats byte 19, makes it five bytes longer.
  if ((h.size() + 2) % 256 == 0) {
    char attribute[2] = {static_cast<char>(r.attribute), 0};
    extension(0x40, std::string_view(attribute, 2));
  }
  std::vector<uint8_t> full;
  put16(full, static_cast<uint32_t>(h.size() + 2));
  full.insert(full.end(), h.begin(), h.end());
  // the CRC-16 of the whole header, its own two bytes taken as zero
  uint16_t saved = runningCrc16;
  if (!crc16State.built) buildCrc16Table();
  runningCrc16 = 0;
  crc16Update(full.data(), static_cast<uint32_t>(full.size()));
  set16(full, 27, runningCrc16);
  runningCrc16 = saved;
  out.insert(out.end(), full.begin(), full.end());
  return true;
}

}  // namespace

bool appendMemberHeader(const MemberRecord& r, std::vector<uint8_t>& out, std::string* why) {
  if (!r.methodId || std::strlen(r.methodId) != 5) return refuse(why, "a method id has five characters");
  if (!checkNames(r, why)) return false;
  switch (r.level) {
    case 0: return appendLevel0(r, out, why);
    case 1: return appendLevel1(r, out, why);
    case 2: return appendLevel2(r, out, why);
    default: return refuse(why, "header levels are 0, 1 and 2");
  }
}
