// Archives whose members try to leave the destination, extracted by the real worker:
// nothing outside the destination may change.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "extract/destination.h"
#include "extract/lha_writer_util.h"
#include "extract/paths.h"
#include "extract/run_state.h"
#include "extract/scratch_util.h"
#include "extract/worker.h"
#include "lha/header.h"
#include "lha/stream.h"
#include "startup/settings.h"
#include "sys/fs.h"
#include "sys/text.h"

namespace {

struct HostileCase {
  LhaMember member;
  const char* expected;  // file written below the destination, or null: nothing written
};

LhaMember member(int level, std::string directory, std::string name, std::string method = "-lh0-",
                 uint32_t codePage = 0) {
  LhaMember m;
  m.level = level;
  m.codePage = codePage;
  m.directory = std::move(directory);
  m.name = std::move(name);
  m.data = "payload of " + m.directory + m.name;
  m.method = std::move(method);
  return m;
}

struct ExtractResult {
  int skippedWithString6 = 0;
  int otherMessages = 0;
  int membersRead = 0;
};

// The real worker over the archive, nothing there yet to replace.
ExtractResult extractStored(const std::string& archive, const std::string& destination) {
  ExtractResult result;
  buildCrc16Table();
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kHeaderBufferSize]);
  if (!openArchiveStream(archive.c_str())) return result;
  resetSfxSettings();
  std::strcpy(sfxSettings.destinationPath, destination.c_str());
  extraction = ExtractionState{};
  extraction.headerBuffer = buffer.get();
  startMessageCapture();
  extractionWorker();
  closeArchiveStream();
  const ExtractionState& x = extraction;
  result.membersRead = static_cast<int>(x.extracted + x.folders + x.kept + x.skipped + x.rejected + x.failed);
  for (const ShownMessage& m : stopMessageCapture()) {
    if (m.text.find("invalid filename.(skipped)") != std::string::npos) ++result.skippedWithString6;
    else ++result.otherMessages;
  }
  return result;
}

class HostileArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    sys::setCodePage(1252);
    runStatus = kRunGoing;
    scratch = makeScratchFolder();
    ASSERT_FALSE(scratch.empty());
    // Things an escaping member would hit: files beside and above the destination.
    // Three levels between the scratch root and the destination, so a climb of up to
    // three folders still lands where the snapshot sees it.
    ASSERT_TRUE(createFolderTree((scratch + "top\\mid\\dest\\").c_str()));
    destination = scratch + "top\\mid\\dest\\";
    ASSERT_TRUE(writeFileText(scratch + "top\\mid\\h02.txt", "decoy"));
    ASSERT_TRUE(makeFolder(scratch + "sibling"));
    ASSERT_TRUE(writeFileText(scratch + "outside.txt", "outside"));
    ASSERT_TRUE(writeFileText(scratch + "sibling\\keep.txt", "keep"));
    ASSERT_TRUE(writeFileText(scratch + "h01.txt", "decoy"));
  }
  void TearDown() override {
    removeTree(scratch);
    sys::setCodePage(1252);
    runStatus = kRunGoing;
  }

  // Builds the archive, extracts it, and checks: outside the destination nothing changed;
  // inside exactly the expected files hold their member's data.
  void run(const std::vector<HostileCase>& cases) {
    std::vector<LhaMember> members;
    for (const HostileCase& c : cases) members.push_back(c.member);
    std::string archive = scratch + "hostile.lzh";
    ASSERT_TRUE(writeFileText(archive, lhaArchiveBytes(members)));

    auto outsideOf = [&](std::map<std::string, TreeEntry> tree) {
      for (auto it = tree.begin(); it != tree.end();)
        it = it->first.rfind("top\\mid\\dest\\", 0) == 0 ? tree.erase(it) : std::next(it);
      return tree;
    };
    auto before = outsideOf(snapshotTree(scratch));
    ExtractResult result = extractStored(archive, destination);
    auto after = outsideOf(snapshotTree(scratch));

    EXPECT_EQ(result.membersRead, static_cast<int>(cases.size()));
    EXPECT_EQ(result.otherMessages, 0);
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [path, entry] : before) {
      auto found = after.find(path);
      ASSERT_NE(found, after.end()) << path;
      EXPECT_EQ(found->second.isFolder, entry.isFolder) << path;
      EXPECT_EQ(found->second.content, entry.content) << path;
    }

    int skipped = 0;
    std::map<std::string, std::string> expectedFiles;
    for (const HostileCase& c : cases) {
      if (c.expected) expectedFiles[c.expected] = c.member.data;
    }
    auto inside = snapshotTree(destination);
    for (const auto& [path, data] : expectedFiles) {
      auto found = inside.find(path);
      ASSERT_NE(found, inside.end()) << path;
      EXPECT_EQ(found->second.content, data) << path;
    }
    for (const auto& [path, entry] : inside) {
      if (!entry.isFolder) {
        EXPECT_TRUE(expectedFiles.count(path)) << "unexpected file " << path;
      }
    }
    for (const HostileCase& c : cases) skipped += c.expected ? 0 : 1;
    EXPECT_LE(result.skippedWithString6, skipped);
    skippedMessages = result.skippedWithString6;
  }

  std::string scratch, destination;
  int skippedMessages = 0;
};

TEST_F(HostileArchive, ParentReferencesInEverySpelling) {
  run({
      {member(0, "", "..\\..\\h01.txt"), "h01.txt"},
      {member(0, "", "\\../../h02.txt"), "h02.txt"},
      {member(0, "", "\\..\\/..\\/h03.txt"), "h03.txt"},
      {member(0, "", "../../h04.txt"), "h04.txt"},
      {member(1, "..\xFF..\xFF", "h05.txt"), "h05.txt"},
      {member(1, ".. \xFF", "h06.txt"), "h06.txt"},
      {member(2, "...\xFF", "h07.txt"), ".h07.txt"},
      {member(2, "sub\xFF..\xFF..\xFF..\xFF", "h08.txt"), "sub\\h08.txt"},
      {member(1, "sub\xFF", ".."), nullptr},             // names the folder sub: nothing written
      {member(2, ". .\xFF....\xFF", "h09.txt"), "..h09.txt"},  // "....\\" loses its "..\\" first
      {member(0, "", "\xFF..\xFF..\xFFh10.txt"), "h10.txt"},
      {member(2, "", ".."), nullptr},
  });
  EXPECT_EQ(skippedMessages, 1);  // ".." alone; "sub\.." is a folder, skipped quietly
}

TEST_F(HostileArchive, AbsoluteDriveAndNetworkForms) {
  run({
      {member(0, "", "C:\\h20.txt"), nullptr},
      {member(0, "", "C:h21.txt"), nullptr},
      {member(2, "C:\xFF", "h22.txt"), nullptr},
      {member(0, "", "\\\\server\\share\\h23.txt"), "server\\share\\h23.txt"},
      {member(2, "\xFF\xFFserver\xFFshare\xFF", "h24.txt"), "server\\share\\h24.txt"},
      {member(0, "", "//server/share/h25.txt"), "server\\share\\h25.txt"},
      {member(0, "", "/tmp/h26.txt"), "tmp\\h26.txt"},
      {member(0, "", "\\\\?\\C:\\h27.txt"), nullptr},
      {member(0, "", "\\\\.\\pipe\\h28"), "pipe\\h28"},
      {member(1, "", "h29.txt:stream"), nullptr},
  });
  EXPECT_EQ(skippedMessages, 5);
}

TEST_F(HostileArchive, DeviceNames) {
  run({
      {member(0, "", "CON"), nullptr},
      {member(0, "", "nul.txt"), nullptr},
      {member(1, "sub\xFF" "COM1\xFF", "x.txt"), nullptr},
      {member(2, "", "lpt9.log"), nullptr},
      {member(2, "", "Aux .txt"), nullptr},
      {member(2, "", "console.txt"), "console.txt"},
  });
  EXPECT_EQ(skippedMessages, 5);
}

TEST_F(HostileArchive, PathsAtAndOverTheLimit) {
  // destination + relative path = 259 units is written; 260 and more are skipped, never cut.
  size_t room = kPathUnits - 1 - destination.size();
  std::string folder = "long\xFF";
  std::string fits(room - 5, 'n');
  std::string over(room - 4, 'o');
  std::string huge(255, 'h');
  std::string expected = "long\\" + fits;
  // Both parts stay below the header reader's own limit, so it keeps them whole.
  run({
      {member(2, folder, fits), expected.c_str()},
      {member(2, folder, over), nullptr},
      {member(2, huge + "\xFF", huge), nullptr},
  });
  EXPECT_EQ(skippedMessages, 2);
}

// Names in the code page their header names (any system), or in the system's own (932
// here): a trail byte 0x5C never a separator, a climb spelt in UTF-8 kept inside.
TEST_F(HostileArchive, NamesInTheirCodePages) {
  run({
      {member(2, "\x83\x5C\xFF", "h40.txt", "-lh0-", 932), "\u30BD\\h40.txt"},   // ソ\h40.txt
      {member(1, "", "\x95\x5C..\\h41", "-lh0-", 932), "\u8868h41"},             // 表..\h41
      {member(2, "..\xFF\xE3\x81\x82\xFF", "h42", "-lh0-", 65001), "\u3042\\h42"},  // ..\あ\h42
      {member(2, "\xC0\xAE\xC0\xAE\xFF", "h43", "-lh0-", 65001), nullptr},     // overlong dots: refused
      {member(2, "", "h44", "-lh0-", 9999), nullptr},                            // a code page none has
      {member(2, "", "h47", "-lh0-", 1), nullptr},  // Windows' stand-in for "the OEM code page"
  });
  EXPECT_EQ(skippedMessages, 3);
}

TEST_F(HostileArchive, NamesInTheSystemsCodePage932) {
  sys::setCodePage(932);
  if (sys::activeCodePage() != 932) GTEST_SKIP() << "system code page is not 932";
  run({
      {member(0, "", "\x95\x5C..\\h45"), "\u8868h45"},
      {member(0, "", "..\\\x83\x5C..\\..\\h46"), "\u30BDh46"},
      {member(2, "", "\x95\x5C"), "\u8868"},
  });
}

}  // namespace
