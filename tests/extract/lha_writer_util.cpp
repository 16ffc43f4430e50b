#include "extract/lha_writer_util.h"

namespace {

void put16(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>(v >> 8 & 0xFF));
}

void put32(std::string* out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

void set16(std::string* out, size_t at, uint32_t v) {
  (*out)[at] = static_cast<char>(v & 0xFF);
  (*out)[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}

// Extended header: size (including itself and the next-size field), type, data.
std::string extendedHeader(uint8_t type, const std::string& data) {
  std::string h;
  put16(&h, static_cast<uint32_t>(data.size() + 3));
  h.push_back(static_cast<char>(type));
  h += data;
  return h;
}

// Chains extended headers: each one's last two bytes give the size of the next.
std::string chain(const std::vector<std::string>& headers, std::string* firstSize) {
  std::string out;
  firstSize->clear();
  if (headers.empty()) {  // the base header's size field ends the chain at once
    put16(firstSize, 0);
    return out;
  }
  for (size_t i = 0; i < headers.size(); ++i) {
    const std::string& h = headers[i];
    if (i == 0) *firstSize = h.substr(0, 2);
    else out += h.substr(0, 2);  // previous header's next-size field
    out += h.substr(2);
  }
  put16(&out, 0);
  return out;
}

uint8_t byteSum(const std::string& bytes, size_t from) {
  uint8_t sum = 0;
  for (size_t i = from; i < bytes.size(); ++i) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(bytes[i]));
  return sum;
}

}  // namespace

uint16_t lhaCrc16(const std::string& bytes) {
  uint16_t crc = 0;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<uint16_t>(crc >> 1 ^ 0xA001) : crc >> 1;
  }
  return crc;
}

std::string lhaMemberBytes(const LhaMember& m) {
  const uint32_t size = static_cast<uint32_t>(m.data.size());
  const uint16_t crc = lhaCrc16(m.data);
  std::string h;
  if (m.level == 0) {
    h.resize(2);
    h += m.method.substr(0, 5);
    put32(&h, size);
    put32(&h, size);
    put32(&h, m.timeStamp);
    h.push_back(static_cast<char>(m.attribute));
    h.push_back(0);
    h.push_back(static_cast<char>(m.name.size()));
    h += m.name;
    put16(&h, crc);
    h[0] = static_cast<char>(h.size() - 2);
    h[1] = static_cast<char>(byteSum(h, 2));
    return h + m.data;
  }

  std::vector<std::string> extensions;
  if (m.level == 2) extensions.push_back(extendedHeader(0x00, std::string(2, '\0')));
  if (m.level == 2) extensions.push_back(extendedHeader(0x01, m.name));
  if (!m.directory.empty()) extensions.push_back(extendedHeader(0x02, m.directory));
  if (m.codePage) {
    std::string page;
    put32(&page, m.codePage);
    extensions.push_back(extendedHeader(0x46, page));
  }
  std::string firstSize;
  std::string tail = chain(extensions, &firstSize);

  if (m.level == 1) {
    h.resize(2);
    h += m.method.substr(0, 5);
    put32(&h, size + static_cast<uint32_t>(tail.size()));  // packed size counts the extensions
    put32(&h, size);
    put32(&h, m.timeStamp);
    h.push_back(static_cast<char>(m.attribute));
    h.push_back(1);
    h.push_back(static_cast<char>(m.name.size()));
    h += m.name;
    put16(&h, crc);
    h.push_back('M');
    h += firstSize;
    h[0] = static_cast<char>(h.size() - 2);
    h[1] = static_cast<char>(byteSum(h, 2));
    return h + tail + m.data;
  }

  h.resize(2);
  h += m.method.substr(0, 5);
  put32(&h, size);
  put32(&h, size);
  put32(&h, m.timeStamp);
  h.push_back(static_cast<char>(m.attribute));
  h.push_back(2);
  put16(&h, crc);
  h.push_back('M');
  h += firstSize;
  h += tail;
  set16(&h, 0, static_cast<uint32_t>(h.size()));
  // The header CRC (first extension, right after the 26-byte base) covers the whole
  // header with its own field zero.
  set16(&h, 26 + 1, lhaCrc16(h));
  return h + m.data;
}

std::string lhaArchiveBytes(const std::vector<LhaMember>& members) {
  std::string out;
  for (const LhaMember& m : members) out += lhaMemberBytes(m);
  out.push_back('\0');
  return out;
}
