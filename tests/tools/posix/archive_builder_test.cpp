// The archive writer: what a set of paths becomes (names, order, stamps, attributes),
// what it refuses, and that a failed write leaves nothing behind. The archives it
// writes are read back with the stub's header reader and decoder.
#include "tools/archive_builder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>

#include "extract/run_state.h"
#include "lha/decode.h"
#include "lha/header.h"
#include "lha/stream.h"

namespace fs = std::filesystem;

namespace {

struct Scratch : ::testing::Test {
  fs::path root;
  void SetUp() override {
    char name[] = "/tmp/zaroza_archive_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    root = name;
    unsetenv("SOURCE_DATE_EPOCH");
  }
  void TearDown() override {
    closeArchiveStream();
    std::error_code ignored;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root, ignored);
    unsetenv("SOURCE_DATE_EPOCH");
    unsetenv("TZ");
    tzset();
  }
  std::string at(const std::string& relative) const { return (root / relative).string(); }
  void file(const std::string& relative, const std::string& content = "x") {
    fs::create_directories((root / relative).parent_path());
    std::ofstream(root / relative, std::ios::binary) << content;
  }
  void folder(const std::string& relative) { fs::create_directories(root / relative); }
};

std::vector<std::string> shownPaths(const std::vector<PlannedMember>& members) {
  std::vector<std::string> out;
  for (const PlannedMember& m : members) out.push_back(m.shown);
  return out;
}

// --- what a set of paths becomes ---

struct PlanCase {
  const char* what;
  std::vector<std::string> files;    // relative paths, made with one byte each
  std::vector<std::string> folders;  // relative paths of (empty) folders
  std::vector<std::string> arguments;
  std::vector<std::string> stored;   // expected stored paths in order, or
  const char* refusal;               // ... a part of the reason it is refused
  int level = 2;
};
void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.what; }

std::vector<PlanCase> planCases() {
  return {
      {"sorted_with_folder_entries", {"t/b.txt", "t/a/z.txt", "t/a.txt", "t/A2/q"}, {"t/empty"}, {"t"},
       {"A2/", "A2/q", "a/", "a/z.txt", "a.txt", "b.txt", "empty/"}, nullptr},
      {"file_by_its_own_name", {"t/sub/x.txt"}, {}, {"t/sub/x.txt"}, {"x.txt"}, nullptr},
      {"folders_of_two_arguments_merge", {"p/docs/a", "q/docs/b"}, {}, {"p", "q"}, {"docs/", "docs/a", "docs/b"}, nullptr},
      {"same_file_name_twice", {"p/x", "q/x"}, {}, {"p", "q"}, {}, "would both be stored as 'x'"},
      {"names_differing_in_case", {"t/README", "t/readme"}, {}, {"t"}, {}, "would both be stored as"},
      // wide letters of code page 932 differ by case for Windows too; ASCII and fullwidth do not collide
      {"fullwidth_in_case", {"t/\xef\xbc\xa1.txt", "t/\xef\xbd\x81.txt"}, {}, {"t"}, {}, "would both be stored as"},
      {"greek_in_case", {"t/\xce\xa9", "t/\xcf\x89"}, {}, {"t"}, {}, "would both be stored as"},
      {"cyrillic_in_case", {"t/\xd0\x81", "t/\xd1\x91"}, {}, {"t"}, {}, "would both be stored as"},
      {"ascii_and_fullwidth", {"t/A", "t/\xef\xbc\xa1"}, {}, {"t"}, {"A", "\xef\xbc\xa1"}, nullptr},
      {"file_and_folder_of_one_name", {"docs", "t/docs/a"}, {}, {"docs", "t"}, {}, "would both be stored as 'docs'"},
      {"colon", {"t/a:b"}, {}, {"t"}, {}, "extractor refuses"},
      {"question_mark", {"t/what?.txt"}, {}, {"t"}, {}, "extractor refuses"},
      {"semicolon", {"t/a;1"}, {}, {"t"}, {}, "extractor refuses"},
      {"backslash", {"t/a\\b"}, {}, {"t"}, {}, "extractor refuses"},
      {"control_character", {"t/a\tb"}, {}, {"t"}, {}, "control character"},
      {"trailing_dot", {"t/name."}, {}, {"t"}, {}, "ends in a space or a dot"},
      {"trailing_space", {"t/dir /a"}, {}, {"t"}, {}, "ends in a space or a dot"},
      {"device_name", {"t/con.txt"}, {}, {"t"}, {}, "device"},
      {"device_name_com", {"t/COM3"}, {}, {"t"}, {}, "device"},
      {"not_a_device", {"t/COM0", "t/console"}, {}, {"t"}, {"COM0", "console"}, nullptr},
      // names code page 932 cannot hold go in UTF-8, which level 0 cannot name
      {"not_in_code_page_932", {"t/caf\xc3\xa9.txt"}, {}, {"t"}, {"caf\xc3\xa9.txt"}, nullptr},
      {"emoji", {"t/\xf0\x9f\x98\x80"}, {}, {"t"}, {"\xf0\x9f\x98\x80"}, nullptr},
      {"utf8_at_level0", {"t/caf\xc3\xa9.txt"}, {}, {"t"}, {}, "level 1 or 2", 0},
      {"invalid_utf8", {"t/\xff\xfe"}, {}, {"t"}, {}, "not valid UTF-8"},
      {"surrogate_in_utf8", {"t/\xed\xa0\x80.txt"}, {}, {"t"}, {}, "not valid UTF-8"},
      {"empty_folder_only", {}, {"t"}, {"t"}, {}, "nothing to archive"},
      {"missing", {}, {}, {"nowhere"}, {}, "cannot read"},
      {"level0_path_too_long", {"t/" + std::string(100, 'd') + "/" + std::string(131, 'n')}, {}, {"t"}, {},
       "too long for header level 0", 0},
      {"level0_path_that_fits", {"t/" + std::string(100, 'd') + "/" + std::string(130, 'n')}, {}, {"t"},
       {std::string(100, 'd') + "/", std::string(100, 'd') + "/" + std::string(130, 'n')}, nullptr, 0},
      {"level1_name_too_long", {"t/" + std::string(229, 'n')}, {}, {"t"}, {}, "too long for header level 1", 1},
      {"level2_name_that_fits", {"t/" + std::string(230, 'n')}, {}, {"t"}, {std::string(230, 'n')}, nullptr, 2},
  };
}

class Plan : public Scratch, public ::testing::WithParamInterface<PlanCase> {};

TEST_P(Plan, MembersOrReason) {
  const PlanCase& c = GetParam();
  for (const std::string& f : c.files) file(f);
  for (const std::string& f : c.folders) folder(f);
  std::vector<std::string> arguments;
  for (const std::string& a : c.arguments) arguments.push_back(at(a));
  std::vector<PlannedMember> members;
  std::string why;
  bool ok = planArchive(arguments, c.level, members, &why);
  if (c.refusal) {
    EXPECT_FALSE(ok);
    EXPECT_NE(why.find(c.refusal), std::string::npos) << why;
  } else {
    ASSERT_TRUE(ok) << why;
    EXPECT_EQ(shownPaths(members), c.stored);
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, Plan, ::testing::ValuesIn(planCases()),
                         [](const ::testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.what); });

TEST_F(Scratch, NamesInCodePage932AndFolderParts) {
  file("t/\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88/\xe3\x82\xbd\xe8\xa1\xa8.txt");  // テスト/ソ表.txt
  std::vector<PlannedMember> members;
  std::string why;
  ASSERT_TRUE(planArchive({at("t")}, 2, members, &why)) << why;
  ASSERT_EQ(members.size(), 2u);
  EXPECT_TRUE(members[0].folder);
  EXPECT_EQ(members[0].folders, std::vector<std::string>{"\x83\x65\x83\x58\x83\x67"});
  EXPECT_EQ(members[0].name, "");
  EXPECT_EQ(members[1].folders, std::vector<std::string>{"\x83\x65\x83\x58\x83\x67"});
  EXPECT_EQ(members[1].name, "\x83\x5c\x95\x5c.txt");  // trail bytes 0x5C stay
}

TEST_F(Scratch, LinksAreFollowedButNotInCircles) {
  file("t/real/a.txt", "abc");
  fs::create_symlink(root / "t/real", root / "t/alias");
  fs::create_symlink(root / "t/real/a.txt", root / "t/b.txt");
  std::vector<PlannedMember> members;
  std::string why;
  ASSERT_TRUE(planArchive({at("t")}, 2, members, &why)) << why;
  EXPECT_EQ(shownPaths(members), (std::vector<std::string>{"alias/", "alias/a.txt", "b.txt", "real/", "real/a.txt"}));
  fs::create_symlink(root / "t", root / "t/real/loop");
  EXPECT_FALSE(planArchive({at("t")}, 2, members, &why));
  EXPECT_NE(why.find("leads back"), std::string::npos) << why;
  fs::remove(root / "t/real/loop");
  fs::create_symlink(root / "nowhere", root / "t/dangling");
  EXPECT_FALSE(planArchive({at("t")}, 2, members, &why));
  EXPECT_NE(why.find("dangling': cannot read"), std::string::npos) << why;
  fs::remove(root / "t/dangling");
  ASSERT_EQ(mkfifo(at("t/pipe").c_str(), 0644), 0);
  EXPECT_FALSE(planArchive({at("t")}, 2, members, &why));
  EXPECT_NE(why.find("neither a file nor a folder"), std::string::npos) << why;
}

TEST_F(Scratch, FilesOf4GiBAreRefusedBeforeReading) {
  for (auto [size, fits] : {std::pair<uint64_t, bool>{0xFFFFFFFFull, true}, {0x100000000ull, false}}) {
    file("big/f");
    fs::resize_file(root / "big/f", size);  // sparse: nothing is read while planning
    std::vector<PlannedMember> members;
    std::string why;
    EXPECT_EQ(planArchive({at("big")}, 2, members, &why), fits) << why;
    if (!fits) {
      EXPECT_NE(why.find("4 GiB"), std::string::npos) << why;
    }
  }
}

// --- stamps and attributes ---

struct StampCase {
  int64_t unixTime;
  int level;
  const char* zone;
  const char* epoch;  // SOURCE_DATE_EPOCH, or null
  uint32_t stored;
};

void PrintTo(const StampCase& c, std::ostream* os) {
  *os << c.unixTime << " level " << c.level << ' ' << c.zone << (c.epoch ? " epoch " : "") << (c.epoch ? c.epoch : "");
}

class StoredStamp : public ::testing::TestWithParam<StampCase> {};

TEST_P(StoredStamp, LevelZoneAndEpoch) {
  const StampCase& c = GetParam();
  setenv("TZ", c.zone, 1);
  tzset();
  if (c.epoch) setenv("SOURCE_DATE_EPOCH", c.epoch, 1);
  EXPECT_EQ(storedStamp(c.unixTime, c.level), c.stored) << c.unixTime << " " << c.level << " " << c.zone;
  unsetenv("SOURCE_DATE_EPOCH");
  unsetenv("TZ");
  tzset();
}

INSTANTIATE_TEST_SUITE_P(
    Stamps, StoredStamp,
    ::testing::Values(
        // 2009-01-04 09:51:10 UTC: Unix time at level 2, local MS-DOS time at 0 and 1
        StampCase{1231062670, 2, "UTC", nullptr, 1231062670u}, StampCase{1231062670, 0, "UTC", nullptr, 0x3A244E65u},
        StampCase{1231062670, 1, "Asia/Tokyo", nullptr, 0x3A249665u},  // 18:51:10 in Tokyo
        StampCase{1231062671, 0, "UTC", nullptr, 0x3A244E65u},         // odd seconds round down
        // before 1980 and after 2107 MS-DOS time holds its ends; before 1970 Unix time 0
        StampCase{100000000, 0, "UTC", nullptr, 0x00210000u}, StampCase{5000000000, 1, "UTC", nullptr, 0xFF9FBF7Du},
        StampCase{-5, 2, "UTC", nullptr, 0u}, StampCase{5000000000, 2, "UTC", nullptr, 0xFFFFFFFFu},
        // SOURCE_DATE_EPOCH caps later stamps, leaves earlier ones
        StampCase{1231062670, 2, "UTC", "1000000000", 1000000000u},
        StampCase{900000000, 2, "UTC", "1000000000", 900000000u},
        StampCase{1231062670, 0, "UTC", "1231062600", 0x3A244E40u}));

// Reads an archive back with the stub's header reader and decoder.
struct ReadBack {
  struct Member {
    MemberHeader header;
    std::vector<uint8_t> data;
    bool crcGood;
  };
  std::vector<Member> members;
};

ReadBack readBack(const std::string& path) {
  ReadBack r;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return r;
  attachArchiveStream(f);
  buildCrc16Table();
  std::vector<uint8_t> buffer(kHeaderBufferSize);
  int64_t next = 0;
  while (archiveSeek(next) && readMemberHeader(buffer.data())) {
    ReadBack::Member m{memberHeader, {}, false};
    int64_t dataAt = archiveTell();
    FILE* out = std::tmpfile();
    outputStream = out;
    runningCrc16 = 0;
    runStatus.store(kRunGoing);
    if (std::strcmp(m.header.methodId, "-lhd-") != 0)
      decodeMember(selectDecodeMethod(m.header.methodId), m.header.packedSize, m.header.originalSize);
    outputStream = nullptr;
    m.crcGood = runningCrc16 == m.header.storedCrc16;
    std::rewind(out);
    int c;
    while ((c = std::fgetc(out)) != EOF) m.data.push_back(static_cast<uint8_t>(c));
    std::fclose(out);
    r.members.push_back(m);
    next = dataAt + m.header.packedSize;
  }
  closeArchiveStream();
  return r;
}

TEST_F(Scratch, EveryLevelAndMethodReadsBack) {
  std::mt19937 random(3);
  std::string noise(5000, '\0');
  for (char& ch : noise) ch = static_cast<char>(random());
  std::string text;
  while (text.size() < 200000) text += "the header of the member of the archive ";
  file("t/noise.bin", noise);
  file("t/text.txt", text);
  file("t/empty.txt", "");
  file("t/docs/ro.txt", "read only");
  chmod(at("t/docs/ro.txt").c_str(), 0444);
  struct timespec times[2] = {{0, UTIME_OMIT}, {1231062670, 0}};
  utimensat(AT_FDCWD, at("t/text.txt").c_str(), times, 0);
  setenv("TZ", "UTC", 1);
  tzset();
  for (uint32_t method : {kMethodLh5, kMethodLh6, kMethodLh7})
    for (int level : {0, 1, 2})
      for (bool best : {false, true}) {
        ArchiveOptions o;
        o.method = method;
        o.headerLevel = level;
        o.best = best;
        o.progress = false;
        std::string why;
        std::string out = at("out.lzh");
        ASSERT_TRUE(writeArchive({at("t")}, o, out, &why)) << why;
        ReadBack r = readBack(out);
        ASSERT_EQ(r.members.size(), 5u) << method << " " << level;
        struct Expect {
          const char* path;
          const char* method;
          uint8_t attribute;
          const std::string* content;
        };
        const std::string none, ro = "read only";
        char packed[6];
        formatMethodId(*findDecodeMethod(method), packed);
        const Expect expect[] = {{"docs\\", "-lhd-", 0x10, &none},
                                 {"docs\\ro.txt", "-lh0-", 0x21, &ro},  // too short to pack smaller
                                 {"empty.txt", "-lh0-", 0x20, &none},
                                 {"noise.bin", "-lh0-", 0x20, &noise},
                                 {"text.txt", packed, 0x20, &text}};
        for (size_t k = 0; k < 5; ++k) {
          const ReadBack::Member& m = r.members[k];
          EXPECT_STREQ(m.header.path, expect[k].path);
          EXPECT_STREQ(m.header.methodId, expect[k].method) << expect[k].path;
          EXPECT_EQ(m.header.level, level);
          EXPECT_EQ(m.header.attribute, expect[k].attribute) << expect[k].path;
          EXPECT_TRUE(m.crcGood) << expect[k].path;
          EXPECT_EQ(std::string(m.data.begin(), m.data.end()), *expect[k].content) << expect[k].path;
        }
        EXPECT_EQ(r.members[4].header.timeStamp, level == 2 ? 1231062670u : 0x3A244E65u);
      }
}

// Threads pack members side by side, each encoder with its own history: the archive must
// not depend on which thread packed what after which member. One thread's window pauses
// inside d.bin; where it pauses must change nothing: not a skip through noise, nor a
// search or a key near the bytes held (runs of zeros find their matches by the longest key).
TEST_F(Scratch, TheSameArchiveForAnyNumberOfThreads) {
  std::mt19937 random(5);
  std::string mixed;
  for (size_t piece = 1; piece <= 160; ++piece) {
    if (piece % 4 == 0) {
      mixed.append(16384, '\0');
      continue;
    }
    for (int k = 0; k < 8192; ++k) mixed += static_cast<char>(random());
    for (int k = 0; mixed.size() < piece * 16384; ++k) mixed += "a line of text, number " + std::to_string(k) + "\n";
  }
  file("t/a.bin", std::string(4999, 'a'));
  file("t/b.bin", mixed.substr(0, 1 << 20));
  file("t/c/d.bin", mixed.substr(7777));
  file("t/e.bin", mixed.substr(0, 100000));
  struct Row {
    uint32_t method;
    bool best;
  };
  for (Row row : {Row{kMethodLh5, false}, Row{kMethodLh6, false}, Row{kMethodLh7, false}, Row{kMethodLh5, true}}) {
    std::string archives[2];
    for (unsigned threads : {1u, 3u}) {
      ArchiveOptions o;
      o.method = row.method;
      o.best = row.best;
      o.progress = false;
      o.threads = threads;
      std::string why, out = at("out.lzh");
      ASSERT_TRUE(writeArchive({at("t")}, o, out, &why)) << why;
      std::ifstream in(out, std::ios::binary);
      archives[threads > 1] = std::string(std::istreambuf_iterator<char>(in), {});
      ReadBack r = readBack(out);
      ASSERT_EQ(r.members.size(), 5u);
      EXPECT_STRNE(r.members[1].header.methodId, "-lh0-");  // b.bin is packed
      for (const ReadBack::Member& m : r.members) EXPECT_TRUE(m.crcGood) << m.header.path;
    }
    EXPECT_TRUE(archives[0] == archives[1]) << row.method << " best " << row.best;
  }
}

// --- failures leave nothing behind ---

std::vector<std::string> folderListing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(Scratch, FailedWritesLeaveNothingAndKeepTheOldArchive) {
  file("t/a.txt", std::string(100000, 'a'));
  file("out/old.lzh", "the archive of before");
  ArchiveOptions o;
  o.progress = false;
  std::string why;
  // /proc files claim no size and then hold bytes: the file changes while it is read,
  // after the first member went out
  EXPECT_FALSE(writeArchive({at("t"), "/proc/self/status"}, o, at("out/old.lzh"), &why));
  EXPECT_NE(why.find("changed while being read"), std::string::npos) << why;
  EXPECT_EQ(folderListing(root / "out"), std::vector<std::string>{"old.lzh"});
  std::ifstream old(root / "out/old.lzh");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "the archive of before");
  // refused while planning
  EXPECT_FALSE(writeArchive({at("t"), at("missing")}, o, at("out/new.lzh"), &why));
  EXPECT_EQ(folderListing(root / "out"), std::vector<std::string>{"old.lzh"});
  // the output cannot take the place of a folder
  folder("out/taken.lzh");
  EXPECT_FALSE(writeArchive({at("t")}, o, at("out/taken.lzh"), &why));
  EXPECT_EQ(folderListing(root / "out"), (std::vector<std::string>{"old.lzh", "taken.lzh"}));
  EXPECT_FALSE(writeArchive({at("t")}, o, at("no/such/folder/x.lzh"), &why));
  FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  EXPECT_FALSE(writeArchiveTo({at("t")}, o, full, &why));
  EXPECT_NE(why.find("cannot write"), std::string::npos) << why;
  std::fclose(full);
  o.method = kMethodLh4;
  EXPECT_FALSE(writeArchiveTo({at("t")}, o, stdout, &why));
  o.method = kMethodLh5;
  o.headerLevel = 3;
  EXPECT_FALSE(writeArchiveTo({at("t")}, o, stdout, &why));
  setenv("SOURCE_DATE_EPOCH", "yesterday", 1);
  o.headerLevel = 2;
  EXPECT_FALSE(writeArchive({at("t")}, o, at("out/new.lzh"), &why));
  EXPECT_NE(why.find("SOURCE_DATE_EPOCH"), std::string::npos) << why;
  EXPECT_EQ(folderListing(root / "out"), (std::vector<std::string>{"old.lzh", "taken.lzh"}));
}

TEST_F(Scratch, AnArchiveInsideTheFolderIsNotTakenIn) {
  file("t/a.txt", "hello");
  ArchiveOptions o;
  o.progress = false;
  std::string why;
  ASSERT_TRUE(writeArchive({at("t")}, o, at("t/self.lzh"), &why)) << why;
  ASSERT_TRUE(writeArchive({at("t")}, o, at("t/self.lzh"), &why)) << why;
  ReadBack r = readBack(at("t/self.lzh"));
  ASSERT_EQ(r.members.size(), 1u);
  EXPECT_STREQ(r.members[0].header.path, "a.txt");
  // created as any new file is, not owner-only like a temporary one
  mode_t mask = umask(022);
  ASSERT_TRUE(writeArchive({at("t/a.txt")}, o, at("fresh.lzh"), &why)) << why;
  umask(mask);
  EXPECT_EQ(fs::status(root / "fresh.lzh").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

}  // namespace
