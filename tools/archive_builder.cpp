// Plain LHA archives of files and folders: the members are planned first (names, order,
// stamps, every check that can fail before a byte is written), then each file is packed
// by the member encoder, or stored as -lh0- when packing does not make it smaller.
#include "tools/archive_builder.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "lha/encode.h"
#include "lha/header.h"
#include "lha/header_write.h"
#include "sys/ui.h"
#include "tools/tool_util.h"

namespace {

constexpr uint64_t kMaxMemberBytes = 0xFFFFFFFFull;  // the header's size fields
constexpr size_t kReadPiece = 1 << 20;
constexpr size_t kSpoolInMemory = 64 << 20;           // packed data held in memory, all spools together
constexpr unsigned kMostThreads = 8;                  // packing threads when none are asked for
constexpr size_t kMostAhead = 128;                    // members packed before the writer takes them

// Packed data of a member: its header, which comes first, needs the packed size, so the
// data waits here.
struct Spool {
  std::vector<uint8_t> memory;
  FILE* file = nullptr;
  uint64_t size = 0;
};

// A file member as a packing thread leaves it for the writer.
struct PackedFile {
  Spool spool;
  uint16_t crc = 0;
  bool packed = false;   // the spool holds its data, smaller than the file
  bool done = false;
  std::string problem;   // why it could not be read as planned
};

// Files are packed side by side, each thread with its own encoder, while the writer takes
// the members in their order: the archive is the same whatever the number of threads.
struct PackingQueue {
  std::mutex lock;
  std::condition_variable changed;
  const std::vector<PlannedMember>* members = nullptr;
  const ArchiveOptions* options = nullptr;
  std::vector<PackedFile> files;  // one per member; a folder's stays empty
  size_t next = 0;                // the next member to pack
  size_t written = 0;             // members written out
  std::atomic<bool> stop{false};  // the writer has failed: packing more is in vain
  std::atomic<uint64_t> doneBytes{0};
  std::atomic<size_t> heldBytes{0};  // in the spools' memory, all together
};

// The writer's own buffer (one archive at a time; packing threads have theirs).
struct ArchiveWriting {
  std::vector<uint8_t> buffer;
};
ArchiveWriting writing;

bool fail(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return false;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

std::string systemError(const std::string& path, const char* what) {
  return quoted(path) + ": " + what + ": " + std::strerror(errno);
}

// --- names ---

// Why Windows, or the extractor's path rules, could not create a file of this name.
const char* windowsNameProblem(std::string_view name) {
  for (char ch : name) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) return "holds a control character";
    if (std::strchr(":;*?\"<>|\\", c)) return "holds a character the extractor refuses (: ; * ? \" < > | \\)";
  }
  if (name.back() == ' ' || name.back() == '.') return "ends in a space or a dot, which Windows drops";
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  bool device = std::find(std::begin(kDevices), std::end(kDevices), base) != std::end(kDevices);
  device |= base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
            base[3] >= '1' && base[3] <= '9';
  if (device) return "is a name Windows keeps for a device";
  return nullptr;
}

// A name from the file system (UTF-8) that Windows would create as it is.
bool checkName(const std::string& utf8, std::string* why) {
  if (!validUtf8(utf8)) return fail(why, "the name is not valid UTF-8");
  if (const char* problem = windowsNameProblem(utf8)) return fail(why, std::string("the name ") + problem);
  return true;
}

// The name in code page 932, when that holds it and gives the same text back.
std::optional<std::string> inCodePage932(const std::string& utf8) {
  std::optional<std::string> cp932 = utf8ToCodePage(utf8, 932);
  std::optional<std::string> back = cp932 ? codePageToUtf8(*cp932, 932) : std::nullopt;
  if (!back || *back != utf8 || cp932->find('\xFF') != std::string::npos) return std::nullopt;
  return cp932;
}

// A member's names as stored, in one code page for all: ASCII as they are (0); else code
// page 932 where it holds every one (readers that know no extended header 0x46 read them
// as before); else UTF-8 (65001).
uint32_t storedNames(const std::vector<std::string>& utf8, std::vector<std::string>& stored) {
  stored = utf8;
  if (std::all_of(utf8.begin(), utf8.end(), isAscii)) return 0;
  std::vector<std::string> cp932;
  for (const std::string& name : utf8) {
    std::optional<std::string> converted = inCodePage932(name);
    if (!converted) return 65001;
    cp932.push_back(*converted);
  }
  stored.swap(cp932);
  return 932;
}

// --- planning ---

struct Entry {
  std::vector<std::string> path;  // UTF-8 names from the top of the archive
  PlannedMember member;
};

struct Plan {
  std::vector<Entry> entries;
  std::vector<std::pair<uint64_t, uint64_t>> walking;  // folders being walked (loops)
};

bool addEntry(Plan& plan, const std::string& source, std::vector<std::string> path, const struct stat& st) {
  Entry e;
  e.member.source = source;
  e.member.folder = S_ISDIR(st.st_mode);
  e.member.size = e.member.folder ? 0 : static_cast<uint64_t>(st.st_size);
  e.member.modified = st.st_mtime;
  e.member.readOnly = !(st.st_mode & S_IWUSR);
  e.member.device = st.st_dev;
  e.member.inode = st.st_ino;
  e.path = std::move(path);
  plan.entries.push_back(std::move(e));
  return true;
}

bool walkFolder(Plan& plan, const std::string& folder, const std::vector<std::string>& path, std::string* why) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return fail(why, systemError(folder, "cannot read the folder"));
  std::vector<std::string> names;
  errno = 0;
  while (dirent* d = readdir(dir)) {
    if (std::strcmp(d->d_name, ".") && std::strcmp(d->d_name, "..")) names.emplace_back(d->d_name);
    errno = 0;
  }
  bool listed = errno == 0;
  closedir(dir);
  if (!listed) return fail(why, systemError(folder, "cannot read the folder"));
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string source = folder + (folder.back() == '/' ? "" : "/") + name;
    struct stat st;
    if (stat(source.c_str(), &st) != 0) return fail(why, systemError(source, "cannot read"));
    std::vector<std::string> inner = path;
    inner.push_back(name);
    if (S_ISDIR(st.st_mode)) {
      auto id = std::make_pair(static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino));
      if (std::find(plan.walking.begin(), plan.walking.end(), id) != plan.walking.end())
        return fail(why, quoted(source) + ": a link leads back into a folder that holds it");
      addEntry(plan, source, inner, st);
      plan.walking.push_back(id);
      bool ok = walkFolder(plan, source, inner, why);
      plan.walking.pop_back();
      if (!ok) return false;
    } else if (S_ISREG(st.st_mode)) {
      addEntry(plan, source, inner, st);
    } else {
      return fail(why, quoted(source) + ": neither a file nor a folder");
    }
  }
  return true;
}

bool addArgument(Plan& plan, const std::string& argument, std::string* why) {
  if (argument.empty()) return fail(why, "an empty path");
  struct stat st;
  if (stat(argument.c_str(), &st) != 0) return fail(why, systemError(argument, "cannot read"));
  if (S_ISDIR(st.st_mode)) {
    plan.walking.assign(1, {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)});
    return walkFolder(plan, argument, {}, why);
  }
  if (!S_ISREG(st.st_mode)) return fail(why, quoted(argument) + ": neither a file nor a folder");
  std::string name = argument.substr(argument.find_last_of('/') + 1);
  return addEntry(plan, argument, {name}, st);
}

std::string joinedPath(const std::vector<std::string>& path, bool folder) {
  std::string s;
  for (const std::string& p : path) s += (s.empty() ? "" : "/") + p;
  return folder ? s + "/" : s;
}

// The lower case of the cased letters code page 932 holds besides ASCII: fullwidth
// Latin, Greek, Cyrillic and the Roman numerals, which Windows also tells apart by case
// only; anything else is itself.
uint32_t lowerCaseOf(uint32_t c) {
  if (c < 0x80) return static_cast<uint32_t>(std::tolower(static_cast<int>(c)));
  if ((c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) || (c >= 0x0410 && c <= 0x042F) || (c >= 0xFF21 && c <= 0xFF3A))
    return c + 0x20;
  if (c >= 0x0400 && c <= 0x040F) return c + 0x50;
  if (c >= 0x2160 && c <= 0x216F) return c + 0x10;
  return c;
}

// Windows takes names without regard to case: two that differ only there collide. The
// path is valid UTF-8 by now; each character is folded and put back as it was coded.
std::string foldedPath(const std::vector<std::string>& path) {
  std::string s = joinedPath(path, false), out;
  for (size_t i = 0; i < s.size();) {
    unsigned char lead = static_cast<unsigned char>(s[i]);
    size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    n = std::min(n, s.size() - i);
    uint32_t c = n == 1 ? lead : lead & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    uint32_t lower = lowerCaseOf(c);
    if (n == 1) {
      out += static_cast<char>(lower);
    } else {
      // the folded letters keep their coded length (2 or 3 bytes)
      for (size_t k = 0; k < n; ++k) {
        uint32_t bits = lower >> (6 * (n - 1 - k));
        out += static_cast<char>(k == 0 ? (0xF00 >> n & 0xFF) | bits : 0x80 | (bits & 0x3F));
      }
    }
    i += n;
  }
  return out;
}

// Sorted by stored path, name by name, so a folder's entry comes before what it holds;
// a folder named by two arguments is entered once; any other name met twice is an error.
bool orderEntries(Plan& plan, std::string* why) {
  std::stable_sort(plan.entries.begin(), plan.entries.end(),
                   [](const Entry& a, const Entry& b) { return a.path < b.path; });
  std::map<std::string, size_t> seen;
  std::vector<Entry> kept;
  for (Entry& e : plan.entries) {
    auto [at, added] = seen.emplace(foldedPath(e.path), kept.size());
    if (!added) {
      const Entry& first = kept[at->second];
      if (first.member.folder && e.member.folder) continue;
      return fail(why, quoted(first.member.source) + " and " + quoted(e.member.source) +
                           " would both be stored as " + quoted(joinedPath(e.path, false)));
    }
    kept.push_back(std::move(e));
  }
  plan.entries.swap(kept);
  return true;
}

bool storeNames(Entry& e, int headerLevel, std::string* why) {
  PlannedMember& m = e.member;
  m.shown = joinedPath(e.path, m.folder);
  for (const std::string& name : e.path) {
    std::string problem;
    if (!checkName(name, &problem)) return fail(why, quoted(m.source) + ": " + problem);
  }
  std::vector<std::string> stored;
  m.codePage = storedNames(e.path, stored);
  if (!m.folder) {
    m.name = stored.back();
    stored.pop_back();
  }
  m.folders = std::move(stored);
  if (m.size > kMaxMemberBytes) return fail(why, quoted(m.source) + ": 4 GiB or more; a member holds less");
  // the names against what the header level holds, before anything is written
  MemberRecord r;
  r.level = static_cast<uint8_t>(headerLevel);
  r.folders = m.folders;
  r.name = m.name;
  r.codePage = m.codePage;
  std::vector<uint8_t> header;
  std::string problem;
  if (!appendMemberHeader(r, header, &problem)) return fail(why, quoted(m.source) + ": " + problem);
  return true;
}

// SOURCE_DATE_EPOCH: a decimal count of seconds, or unset.
bool sourceDateEpoch(std::optional<int64_t>* value, std::string* why) {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  value->reset();
  if (!text || !*text) return true;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text, &end, 10);
  if (*end != '\0' || errno != 0 || v < 0 || !std::isdigit(static_cast<unsigned char>(text[0])))
    return fail(why, std::string("SOURCE_DATE_EPOCH is not a number of seconds: '") + text + "'");
  *value = v;
  return true;
}

// --- writing ---

bool spoolWrite(Spool& s, const std::vector<uint8_t>& bytes, std::string* why) {
  if (!s.file && !(s.file = std::tmpfile())) return fail(why, std::string("cannot make a temporary file: ") + std::strerror(errno));
  if (std::fwrite(bytes.data(), 1, bytes.size(), s.file) != bytes.size())
    return fail(why, std::string("cannot write a temporary file: ") + std::strerror(errno));
  return true;
}

// Beyond kSpoolInMemory in all the spools together, the spool that grows goes on in a
// temporary file (what it held in memory first): the file, then the memory is its order.
bool spoolAppend(Spool& s, const std::vector<uint8_t>& bytes, std::atomic<size_t>& held, std::string* why) {
  s.size += bytes.size();
  if (held + bytes.size() <= kSpoolInMemory) {
    s.memory.insert(s.memory.end(), bytes.begin(), bytes.end());
    held += bytes.size();
    return true;
  }
  if (!s.memory.empty() && !spoolWrite(s, s.memory, why)) return false;
  held -= s.memory.size();
  std::vector<uint8_t>().swap(s.memory);
  return spoolWrite(s, bytes, why);
}

void spoolReset(Spool& s) {
  if (s.file) std::fclose(s.file);
  s.file = nullptr;
  std::vector<uint8_t>().swap(s.memory);  // every member has its own spool: give the memory back
  s.size = 0;
}

void dropSpool(PackingQueue& q, Spool& s) {
  q.heldBytes -= s.memory.size();
  spoolReset(s);
}

bool putBytes(FILE* out, const uint8_t* bytes, size_t n, std::string* why) {
  if (n && std::fwrite(bytes, 1, n, out) != n) return fail(why, std::string("cannot write the archive: ") + std::strerror(errno));
  return true;
}

bool spoolCopyTo(Spool& s, FILE* out, std::string* why) {
  if (s.file) {
    std::rewind(s.file);
    std::vector<uint8_t>& b = writing.buffer;
    size_t n;
    while ((n = std::fread(b.data(), 1, b.size(), s.file)) > 0)
      if (!putBytes(out, b.data(), n, why)) return false;
    if (std::ferror(s.file)) return fail(why, "cannot read a temporary file back");
  }
  return putBytes(out, s.memory.data(), s.memory.size(), why);
}

// The file's bytes as they are, checked against what the first reading saw.
bool copyStored(const PlannedMember& m, uint16_t crc, FILE* out, std::string* why) {
  FILE* f = std::fopen(m.source.c_str(), "rb");
  if (!f) return fail(why, systemError(m.source, "cannot read"));
  std::vector<uint8_t>& b = writing.buffer;
  uint64_t total = 0;
  uint16_t reread = 0;
  size_t n;
  bool ok = true;
  while (ok && (n = std::fread(b.data(), 1, b.size(), f)) > 0) {
    total += n;
    if (total > m.size) break;
    reread = crc16Continue(reread, b.data(), static_cast<uint32_t>(n));
    ok = putBytes(out, b.data(), n, why);
  }
  bool readFailed = std::ferror(f);
  std::fclose(f);
  if (!ok) return false;
  if (readFailed) return fail(why, systemError(m.source, "cannot read"));
  if (total != m.size || reread != crc) return fail(why, quoted(m.source) + ": changed while being read");
  return true;
}

bool writeFolderMember(const PlannedMember& m, const ArchiveOptions& o, FILE* out, std::string* why) {
  MemberRecord r;
  r.level = static_cast<uint8_t>(o.headerLevel);
  r.methodId = "-lhd-";
  r.folders = m.folders;
  r.codePage = m.codePage;
  r.timeStamp = storedStamp(m.modified, o.headerLevel);
  r.attribute = 0x10;
  std::vector<uint8_t> header;
  if (!appendMemberHeader(r, header, why)) return false;
  return putBytes(out, header.data(), header.size(), why);
}

// Reads the file once: its CRC-16 and, when packing makes it smaller, its packed data.
// Runs on a packing thread: nothing here touches what another member's thread uses.
void packFile(const PlannedMember& m, PackingQueue& q, std::vector<uint8_t>& buffer, PackedFile& f) {
  FILE* in = std::fopen(m.source.c_str(), "rb");
  if (!in) {
    fail(&f.problem, systemError(m.source, "cannot read"));
    return;
  }
  const ArchiveOptions& o = *q.options;
  bool packing = m.size > 0 && startEncoder(o.method, o.best ? EncodeEffort::best : EncodeEffort::fast);
  uint64_t total = 0;
  uint16_t crc = 0;
  bool ok = true;
  size_t n;
  while (ok && !q.stop && (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
    total += n;
    if (total > m.size) break;  // grown since planned: refused below
    crc = crc16Continue(crc, buffer.data(), static_cast<uint32_t>(n));
    if (packing) {
      encodeBytes(std::span<const uint8_t>(buffer.data(), n));
      ok = spoolAppend(f.spool, encoderOutput(), q.heldBytes, &f.problem);
      encoderOutput().clear();
      // no smaller than the file already: it will be stored
      if (f.spool.size >= m.size) packing = false;
    }
    q.doneBytes += n;
  }
  bool readFailed = std::ferror(in);
  std::fclose(in);
  if (!ok) return;
  if (readFailed) {
    fail(&f.problem, systemError(m.source, "cannot read"));
    return;
  }
  if (total != m.size) {
    fail(&f.problem, quoted(m.source) + ": changed while being read");
    return;
  }
  if (packing) {
    finishEncoder();
    if (!spoolAppend(f.spool, encoderOutput(), q.heldBytes, &f.problem)) return;
    encoderOutput().clear();
    packing = f.spool.size < m.size;
  }
  if (!packing) dropSpool(q, f.spool);
  f.crc = crc;
  f.packed = packing;
}

// A packing thread: takes the next member while the writer is no more than kMostAhead
// members behind (each may hold a temporary file open).
void packFiles(PackingQueue& q) {
  std::vector<uint8_t> buffer(kReadPiece);
  std::unique_lock<std::mutex> hold(q.lock);
  for (;;) {
    q.changed.wait(hold, [&] { return q.stop || q.next == q.files.size() || q.next < q.written + kMostAhead; });
    if (q.stop || q.next == q.files.size()) return;
    const size_t k = q.next++;
    hold.unlock();
    const PlannedMember& m = (*q.members)[k];
    if (!m.folder) packFile(m, q, buffer, q.files[k]);
    hold.lock();
    q.files[k].done = true;
    q.changed.notify_all();
  }
}

bool writeFileMember(const PlannedMember& m, const ArchiveOptions& o, PackedFile& f, FILE* out, std::string* why) {
  if (!f.problem.empty()) return fail(why, f.problem);
  MemberRecord r;
  r.level = static_cast<uint8_t>(o.headerLevel);
  char packedId[6];
  formatMethodId(*findDecodeMethod(o.method), packedId);
  r.methodId = f.packed ? packedId : "-lh0-";
  r.folders = m.folders;
  r.codePage = m.codePage;
  r.name = m.name;
  r.packedSize = static_cast<uint32_t>(f.packed ? f.spool.size : m.size);
  r.originalSize = static_cast<uint32_t>(m.size);
  r.timeStamp = storedStamp(m.modified, o.headerLevel);
  r.attribute = static_cast<uint8_t>(0x20 | (m.readOnly ? 0x01 : 0));
  r.dataCrc = f.crc;
  std::vector<uint8_t> header;
  std::string problem;
  if (!appendMemberHeader(r, header, &problem)) return fail(why, quoted(m.source) + ": " + problem);
  if (!putBytes(out, header.data(), header.size(), why)) return false;
  return f.packed ? spoolCopyTo(f.spool, out, why) : copyStored(m, f.crc, out, why);
}

bool checkOptions(const ArchiveOptions& o, std::string* why) {
  if (o.method != kMethodLh5 && o.method != kMethodLh6 && o.method != kMethodLh7)
    return fail(why, "the method is -lh5-, -lh6- or -lh7-");
  if (o.headerLevel < 0 || o.headerLevel > 2) return fail(why, "the header level is 0, 1 or 2");
  return true;
}

unsigned packingThreads(const std::vector<PlannedMember>& members, const ArchiveOptions& o) {
  unsigned threads = o.threads;
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads);
  size_t files = std::count_if(members.begin(), members.end(), [](const PlannedMember& m) { return !m.folder; });
  return static_cast<unsigned>(std::clamp<size_t>(files, 1, threads));
}

// Waits until member k is packed, moving the progress bar meanwhile.
void awaitPacked(PackingQueue& q, size_t k) {
  std::unique_lock<std::mutex> hold(q.lock);
  bool done;
  do {
    done = q.changed.wait_for(hold, std::chrono::milliseconds(100), [&] { return q.files[k].done; });
    sys::sendProgress(static_cast<uint32_t>(q.doneBytes / 1024));
  } while (!done);
}

bool writeMembers(PackingQueue& q, FILE* out, std::string* why) {
  const std::vector<PlannedMember>& members = *q.members;
  bool ok = true;
  for (size_t k = 0; ok && k < members.size(); ++k) {
    awaitPacked(q, k);
    ok = members[k].folder ? writeFolderMember(members[k], *q.options, out, why)
                           : writeFileMember(members[k], *q.options, q.files[k], out, why);
    dropSpool(q, q.files[k].spool);
    std::lock_guard<std::mutex> hold(q.lock);
    q.written = k + 1;
    q.changed.notify_all();
  }
  return ok;
}

bool writePlanned(const std::vector<PlannedMember>& members, const ArchiveOptions& o, FILE* out, std::string* why) {
  buildCrc16Table();
  writing.buffer.resize(kReadPiece);
  uint64_t totalBytes = 0;
  for (const PlannedMember& m : members) totalBytes += m.size;
  PackingQueue q;
  q.members = &members;
  q.options = &o;
  q.files.resize(members.size());
  const unsigned threads = packingThreads(members, o);
  std::vector<std::thread> packers;
  try {
    for (unsigned t = 0; t < threads; ++t) packers.emplace_back(packFiles, std::ref(q));
  } catch (const std::system_error&) {
    if (packers.empty()) return fail(why, "cannot start a thread to pack the files");
  }
  startProgressBar(static_cast<int64_t>(totalBytes), o.progress);
  bool ok = writeMembers(q, out, why);
  {
    std::lock_guard<std::mutex> hold(q.lock);
    q.stop = true;
    q.changed.notify_all();
  }
  for (std::thread& t : packers) t.join();
  for (PackedFile& f : q.files) spoolReset(f.spool);
  stopProgressBar();
  if (!ok) return false;
  const uint8_t endMark = 0;
  if (!putBytes(out, &endMark, 1, why)) return false;
  if (std::fflush(out) != 0) return fail(why, std::string("cannot write the archive: ") + std::strerror(errno));
  return true;
}

}  // namespace

uint32_t storedStamp(int64_t unixTime, int headerLevel) {
  std::optional<int64_t> epoch;
  if (sourceDateEpoch(&epoch, nullptr) && epoch && *epoch < unixTime) unixTime = *epoch;
  if (headerLevel == 2) return static_cast<uint32_t>(std::clamp<int64_t>(unixTime, 0, 0xFFFFFFFF));
  std::time_t t = static_cast<std::time_t>(unixTime);
  std::tm local{};
  if (!localtime_r(&t, &local) || local.tm_year < 80) return 0x00210000;  // 1980-01-01 00:00:00
  if (local.tm_year > 207) return 0xFF9FBF7D;                               // 2107-12-31 23:59:58
  return static_cast<uint32_t>(local.tm_year - 80) << 25 | static_cast<uint32_t>(local.tm_mon + 1) << 21 |
         static_cast<uint32_t>(local.tm_mday) << 16 | static_cast<uint32_t>(local.tm_hour) << 11 |
         static_cast<uint32_t>(local.tm_min) << 5 | static_cast<uint32_t>(local.tm_sec / 2);
}

bool planArchive(const std::vector<std::string>& paths, int headerLevel, std::vector<PlannedMember>& members,
                 std::string* why) {
  members.clear();
  Plan plan;
  for (const std::string& p : paths)
    if (!addArgument(plan, p, why)) return false;
  if (!orderEntries(plan, why)) return false;
  for (Entry& e : plan.entries)
    if (!storeNames(e, headerLevel, why)) return false;
  if (plan.entries.empty()) return fail(why, "nothing to archive: the folders named are empty");
  for (Entry& e : plan.entries) members.push_back(std::move(e.member));
  return true;
}

namespace {

// A file written before into a folder being archived (an earlier archive or package) is
// not taken into the new one.
bool leaveOutOutput(std::vector<PlannedMember>& members, const std::string& output, std::string* why) {
  struct stat existing;
  if (output.empty() || stat(output.c_str(), &existing) != 0) return true;
  std::erase_if(members, [&](const PlannedMember& m) {
    return !m.folder && m.device == static_cast<uint64_t>(existing.st_dev) &&
           m.inode == static_cast<uint64_t>(existing.st_ino);
  });
  return !members.empty() || fail(why, "nothing to archive but the output itself");
}

}  // namespace

bool setArchiveShape(const std::string& method, const std::string& level, const std::string& threads,
                     ArchiveOptions& options, std::string* why) {
  if (method == "lh5" || method.empty()) options.method = kMethodLh5;
  else if (method == "lh6") options.method = kMethodLh6;
  else if (method == "lh7") options.method = kMethodLh7;
  else return fail(why, "--method takes lh5, lh6 or lh7");
  if (level == "0" || level == "1" || level == "2") options.headerLevel = level[0] - '0';
  else if (!level.empty()) return fail(why, "--level takes 0, 1 or 2");
  if (threads.empty()) return true;
  const char* end = threads.data() + threads.size();
  unsigned n = 0;
  if (std::from_chars(threads.data(), end, n).ptr != end || n < 1 || n > 64)
    return fail(why, "--threads takes a number from 1 to 64");
  options.threads = n;
  return true;
}

bool writeArchiveTo(const std::vector<std::string>& paths, const ArchiveOptions& options, FILE* out, std::string* why,
                    const std::string& leaveOut) {
  std::optional<int64_t> epoch;
  if (!checkOptions(options, why) || !sourceDateEpoch(&epoch, why)) return false;
  std::vector<PlannedMember> members;
  if (!planArchive(paths, options.headerLevel, members, why) || !leaveOutOutput(members, leaveOut, why)) return false;
  return writePlanned(members, options, out, why);
}

bool writeArchive(const std::vector<std::string>& paths, const ArchiveOptions& options, const std::string& output,
                  std::string* why) {
  std::optional<int64_t> epoch;
  if (!checkOptions(options, why) || !sourceDateEpoch(&epoch, why)) return false;
  std::vector<PlannedMember> members;
  if (!planArchive(paths, options.headerLevel, members, why) || !leaveOutOutput(members, output, why)) return false;
  size_t slash = output.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : output.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? output : output.substr(slash + 1);
  std::string temporary = folder + (folder.back() == '/' ? "" : "/") + "." + base + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return fail(why, systemError(folder, "cannot create a file in"));
  // a signal that ends the process while it writes leaves no temporary file behind
  if (!guardTemporaryFile(temporary)) {
    close(fd);
    unlink(temporary.c_str());
    return fail(why, quoted(output) + ": the path is too long");
  }
  // a new file, as any program would create it, not mkstemp's owner-only one
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  FILE* out = fdopen(fd, "wb");
  bool ok = out != nullptr;
  if (!ok) fail(why, systemError(temporary, "cannot write"));
  if (ok) ok = writePlanned(members, options, out, why);
  if (out && std::fclose(out) != 0 && ok) ok = fail(why, systemError(output, "cannot write"));
  if (!out) close(fd);
  if (ok && std::rename(temporary.c_str(), output.c_str()) != 0) ok = fail(why, systemError(output, "cannot write"));
  if (!ok) unlink(temporary.c_str());
  releaseTemporaryFile();
  return ok;
}
