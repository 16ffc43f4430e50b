// The extraction worker on real archives: the overwrite decision, failing members over
// existing files, cancels, time stamps, attributes and the list of extracted files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "extract/lha_writer_util.h"
#include "extract/paths.h"
#include "extract/run_state.h"
#include "extract/scratch_util.h"
#include "extract/worker.h"
#include "lha/decode.h"
#include "lha/header.h"
#include "lha/stream.h"
#include "post/cleanup.h"
#include "startup/settings.h"
#include "sys/fs.h"
#include "sys/text.h"
#include "sys/ui.h"

namespace {

constexpr uint32_t kMemberTime = 1231062670;  // 2009-01-04 09:51:10 UTC
constexpr uint64_t kTicks = 10000000;

struct ReplaceScript {
  std::vector<int> answers;
  int calls = 0;
  sys::ReplaceInfo last{};
};
ReplaceScript replaceScript;

int scriptedAnswer(const sys::ReplaceInfo& info) {
  ReplaceScript& s = replaceScript;
  s.last = info;
  int answer = s.calls < static_cast<int>(s.answers.size()) ? s.answers[s.calls] : sys::kReplaceNo;
  ++s.calls;
  if (answer == 112) {  // stands for the Newer button
    sfxSettings.newerOnly = 1;
    return sys::kReplaceYes;
  }
  return answer;
}

LhaMember file(const std::string& name, const std::string& data, uint32_t time = kMemberTime) {
  LhaMember m;
  m.level = 2;
  m.name = name;
  m.data = data;
  m.timeStamp = time;
  return m;
}

// One stored member cut in 32 KiB pieces; the first progress report cancels the run.
void cancelAtFirstProgress(uint32_t) { stopRun(kRunCancelled); }

class Worker : public ::testing::Test {
 protected:
  void SetUp() override {
    sys::setCodePage(1252);
    runStatus = kRunGoing;
    scratch = makeScratchFolder();
    ASSERT_FALSE(scratch.empty());
    destination = scratch + "dest\\";
    ASSERT_TRUE(makeFolder(destination));
    resetSfxSettings();
    std::strcpy(sfxSettings.destinationPath, destination.c_str());
    replaceScript = ReplaceScript{};
    sys::setReplaceHook(scriptedAnswer);
  }
  void TearDown() override {
    sys::setReplaceHook(nullptr);
    sys::setProgressHook(nullptr);
    freeExtractedFileList();
    removeTree(scratch);
    runStatus = kRunGoing;
  }

  // Writes the archive (with `damaged`: one data bit of the member of that name changed;
  // with `badHeader`: that member's header level byte out of range) and runs the worker
  // over it; returns the messages shown.
  std::vector<ShownMessage> extract(const std::vector<LhaMember>& members, const std::string& damaged = "",
                                    const std::string& badHeader = "") {
    std::string bytes = lhaArchiveBytes(members);
    for (const LhaMember& m : members) {
      if (!damaged.empty() && m.name == damaged) bytes[bytes.find(m.data)] ^= 0x01;
      if (!badHeader.empty() && m.name == badHeader) bytes[bytes.find(lhaMemberBytes(m)) + 20] = 7;
    }
    std::string archive = scratch + "a.lzh";
    EXPECT_TRUE(writeFileText(archive, bytes));
    buildCrc16Table();
    EXPECT_TRUE(openArchiveStream(archive.c_str()));
    std::vector<uint8_t> buffer(kHeaderBufferSize);
    extraction = ExtractionState{};
    extraction.headerBuffer = buffer.data();
    startMessageCapture();
    extractionWorker();
    closeArchiveStream();
    return stopMessageCapture();
  }

  // An existing file, read-only, with a last-write time `ageSeconds` away from the member's.
  void existing(const std::string& name, const std::string& content, int64_t ageSeconds) {
    std::string path = destination + name;
    ASSERT_TRUE(writeFileText(path, content));
    uint64_t time = sys::kUnixEpochFileTime + static_cast<uint64_t>(int64_t{kMemberTime} + ageSeconds) * kTicks;
    ASSERT_TRUE(sys::setFileTime(path.c_str(), time, false));
    ASSERT_TRUE(sys::setFileAttributes(path.c_str(), sys::kAttrReadOnly));
  }

  std::string content(const std::string& name) {
    std::string text;
    return readFileText(destination + name, &text) ? text : "<missing>";
  }
  bool readOnly(const std::string& name) {
    return sys::getFileAttributes((destination + name).c_str()) & sys::kAttrReadOnly;
  }
  uint32_t dosStampOf(const std::string& name) {
    uint32_t stamp = 0, size = 0;
    sys::readFileStamp((destination + name).c_str(), &stamp, &size);
    return stamp;
  }

  std::string scratch, destination;
};

struct OverwriteCase {
  const char* what;
  uint32_t noConfirm, newerOnly;
  std::vector<int> answers;   // the dialog's answers, in order
  int64_t existingAge;        // seconds: < 0 older than the member
  bool replaced;
  int dialogs;
  int32_t status;
  uint32_t noConfirmAfter, newerOnlyAfter;
  int level = 2;              // of the member; levels 0 and 1 carry a local MS-DOS stamp
};

TEST_F(Worker, OverwriteDecisions) {
  const OverwriteCase cases[] = {
      {"noConfirm replaces a read-only file", 1, 0, {}, +60, true, 0, kRunGoing, 1, 0},
      {"newerOnly, existing older", 0, 1, {}, -60, true, 0, kRunGoing, 0, 1},
      {"newerOnly, same stamp", 0, 1, {}, 0, false, 0, kRunGoing, 0, 1},
      {"newerOnly, existing newer", 0, 1, {}, +60, false, 0, kRunGoing, 0, 1},
      {"Yes", 0, 0, {sys::kReplaceYes}, +60, true, 1, kRunGoing, 0, 0},
      {"No", 0, 0, {sys::kReplaceNo}, -60, false, 1, kRunGoing, 0, 0},
      {"Yes to All", 0, 0, {sys::kReplaceAll}, +60, true, 1, kRunGoing, 1, 0},
      {"Newer, existing older", 0, 0, {112}, -60, true, 1, kRunGoing, 0, 1},
      {"Newer, existing newer", 0, 0, {112}, +60, false, 1, kRunGoing, 0, 1},
      {"Cancel", 0, 0, {sys::kReplaceCancel}, -60, false, 1, kRunCancelled, 0, 0},
      {"newerOnly, level 0, existing older", 0, 1, {}, -60, true, 0, kRunGoing, 0, 1, 0},
      {"newerOnly, level 0, existing newer", 0, 1, {}, +60, false, 0, kRunGoing, 0, 1, 0},
      {"Newer, level 1, existing older", 0, 0, {112}, -60, true, 1, kRunGoing, 0, 1, 1},
      {"Newer, level 1, existing newer", 0, 0, {112}, +60, false, 1, kRunGoing, 0, 1, 1},
  };
  for (const OverwriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    existing("a.txt", "old", c.existingAge);
    sfxSettings.noConfirm = c.noConfirm;
    sfxSettings.newerOnly = c.newerOnly;
    replaceScript.answers = c.answers;
    LhaMember a = file("a.txt", "new member");
    if (c.level != 2) {
      a.level = c.level;
      ASSERT_TRUE(sys::fileTimeToDos(sys::kUnixEpochFileTime + uint64_t{kMemberTime} * kTicks, &a.timeStamp));
    }
    extract({a, file("b.txt", "second")});
    EXPECT_EQ(content("a.txt"), c.replaced ? "new member" : "old");
    EXPECT_EQ(readOnly("a.txt"), !c.replaced);  // a replaced file takes the member's attribute
    EXPECT_EQ(replaceScript.calls, c.dialogs);
    EXPECT_EQ(readRunStatus(), c.status);
    EXPECT_EQ(sfxSettings.noConfirm, c.noConfirmAfter);
    EXPECT_EQ(sfxSettings.newerOnly, c.newerOnlyAfter);
    EXPECT_EQ(content("b.txt"), c.status == kRunGoing ? "second" : "<missing>");
    EXPECT_EQ(snapshotTree(destination).size(), c.status == kRunGoing ? 2u : 1u) << "no temporary file stays";
  }
}

// The replace path: through a temporary file beside the target, also in a folder too deep
// for GetTempFileName's names; when the move fails, what was there stays as it was and no
// temporary file is left.
TEST_F(Worker, ReplaceGoesThroughATemporaryFile) {
  struct Case {
    const char* what;
    size_t targetBytes;  // length of the target's path (0: the fixture's)
    bool oldIsFolder;    // a folder stands where the member goes: the move fails
    bool replaced;
  };
  // 247 bytes of folder: no room for GetTempFileName's 14, and still one CreateDirectoryA makes
  const Case cases[] = {{"no room for GetTempFileName's name", 247 + 5, false, true},
                        {"the move over the old one fails", 0, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    if (c.targetBytes) {
      destination += std::string(c.targetBytes - destination.size() - 1 - 5, 'd') + "\\";
      ASSERT_TRUE(makeFolder(destination));
      std::strcpy(sfxSettings.destinationPath, destination.c_str());
    }
    if (c.oldIsFolder) {
      ASSERT_TRUE(makeFolder(destination + "a.txt"));
      ASSERT_TRUE(writeFileText(destination + "a.txt\\inner.txt", "inside"));
    } else {
      existing("a.txt", "the user's file", -60);
    }
    sfxSettings.noConfirm = 1;
    auto shown = extract({file("a.txt", "new member"), file("b.txt", "second")});
    EXPECT_EQ(shown.size(), c.replaced ? 0u : 1u);
    if (c.oldIsFolder) {
      EXPECT_EQ(shown[0].text, "Cannot create a file.");
      EXPECT_EQ(content("a.txt\\inner.txt"), "inside");
    } else {
      EXPECT_EQ(content("a.txt"), c.replaced ? "new member" : "the user's file");
    }
    EXPECT_EQ(extraction.failed, c.replaced ? 0u : 1u);
    EXPECT_EQ(content("b.txt"), "second");
    EXPECT_EQ(snapshotTree(destination).size(), c.oldIsFolder ? 3u : 2u) << "no temporary file stays";
  }
}

TEST_F(Worker, DialogSeesBothFilesAndIsNotAskedAgainAfterYesToAll) {
  existing("a.txt", "12345", -3600);
  existing("b.txt", "x", -3600);
  replaceScript.answers = {sys::kReplaceAll};
  extract({file("a.txt", "member a"), file("b.txt", "member b")});
  EXPECT_EQ(replaceScript.calls, 1);
  EXPECT_EQ(replaceScript.last.existingSize, 5u);
  EXPECT_EQ(replaceScript.last.memberSize, 8u);
  EXPECT_NE(replaceScript.last.existingStamp, 0u);
  EXPECT_LT(replaceScript.last.existingStamp, replaceScript.last.memberStamp);
  EXPECT_EQ(content("b.txt"), "member b");
}

TEST_F(Worker, FailingMemberLeavesTheExistingFileAsItWas) {
  existing("a.txt", "the user's file", -60);
  uint32_t stampBefore = dosStampOf("a.txt");
  sfxSettings.noConfirm = 1;
  auto shown = extract({file("a.txt", "damaged member data"), file("b.txt", "next")}, "a.txt");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "CRC Error!");
  EXPECT_EQ(content("a.txt"), "the user's file");
  EXPECT_TRUE(readOnly("a.txt"));
  EXPECT_EQ(dosStampOf("a.txt"), stampBefore);
  EXPECT_EQ(content("b.txt"), "next");
  EXPECT_EQ(snapshotTree(destination).size(), 2u) << "no temporary file stays";
  EXPECT_EQ(extraction.failed, 1u);
  EXPECT_EQ(readRunStatus(), kRunGoing);
}

TEST_F(Worker, DamagedHeaderBehindAMemberStopsTheRun) {
  auto shown = extract({file("a.txt", "first"), file("b.txt", "second"), file("c.txt", "third")}, "", "b.txt");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "invalid header.");
  EXPECT_EQ(content("a.txt"), "first");
  EXPECT_EQ(content("c.txt"), "<missing>");
  EXPECT_EQ(readRunStatus(), kRunFailed);
}

TEST_F(Worker, FailingNewMemberLeavesNoFile) {
  auto shown = extract({file("a.txt", "damaged member data"), file("b.txt", "next")}, "a.txt");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "CRC Error!");
  EXPECT_EQ(content("a.txt"), "<missing>");
  EXPECT_EQ(content("b.txt"), "next");
}

TEST_F(Worker, CancelWhileDecodingLeavesNoPartFileAndTheOldOneUntouched) {
  std::string big(100000, 'z');
  for (bool replacing : {false, true}) {
    SCOPED_TRACE(replacing ? "over an existing file" : "new file");
    TearDown();
    SetUp();
    if (replacing) existing("big.bin", "old", -60);
    sfxSettings.noConfirm = 1;
    sys::setProgressHook(cancelAtFirstProgress);
    extract({file("big.bin", big), file("after.txt", "never")});
    sys::setProgressHook(nullptr);
    EXPECT_EQ(readRunStatus(), kRunCancelled);
    EXPECT_EQ(content("big.bin"), replacing ? "old" : "<missing>");
    EXPECT_EQ(content("after.txt"), "<missing>");
    EXPECT_EQ(snapshotTree(destination).size(), replacing ? 1u : 0u);
  }
}

TEST_F(Worker, TimeStampsAttributesAndTheListOfExtractedFiles) {
  sfxSettings.deleteAfterSetup = 1;
  LhaMember level0 = file("dos.txt", "level 0");
  level0.level = 0;
  level0.timeStamp = 0x3A244E65;  // 2009-01-04 09:51:10, local time
  LhaMember readOnlyFile = file("ro.txt", "read-only");
  readOnlyFile.attribute = 0x21;
  LhaMember folder = file("docs\\", "");
  folder.method = "-lhd-";
  folder.attribute = 0x10;
  LhaMember entryWithoutSlash = file("plain", "");
  entryWithoutSlash.method = "-lhd-";  // no trailing backslash: an empty file
  LhaMember foldersOnly = file("made\\only\\", "");
  extract({file("unix.txt", "level 2"), level0, readOnlyFile, folder, entryWithoutSlash, foldersOnly,
           file("bad.txt", "damaged"), file("last.txt", "last")},
          "bad.txt");

  uint32_t unixStamp = 0;
  ASSERT_TRUE(sys::fileTimeToDos(sys::kUnixEpochFileTime + uint64_t{kMemberTime} * kTicks, &unixStamp));
  EXPECT_EQ(dosStampOf("unix.txt"), unixStamp);
  EXPECT_EQ(dosStampOf("dos.txt"), 0x3A244E65u);
  EXPECT_TRUE(readOnly("ro.txt"));
  EXPECT_FALSE(readOnly("unix.txt"));
  EXPECT_TRUE(sys::getFileAttributes((destination + "docs").c_str()) & sys::kAttrDirectory);
  EXPECT_EQ(content("plain"), "");
  EXPECT_TRUE(sys::getFileAttributes((destination + "made\\only").c_str()) & sys::kAttrDirectory);
  EXPECT_EQ(extraction.folders, 1u);
  EXPECT_EQ(extraction.skipped, 1u);  // the folders of a member that is no directory entry

  // every file that passed its check, in archive order; no folder, no failed member
  std::vector<std::string> listed;
  for (int32_t at = 0; at < extractedFileList.byteSize; at += static_cast<int32_t>(listed.back().size()) + 1)
    listed.emplace_back(extractedFileList.entries + at);
  std::vector<std::string> expected;
  for (const char* name : {"unix.txt", "dos.txt", "ro.txt", "plain", "last.txt"}) expected.push_back(destination + name);
  EXPECT_EQ(listed, expected);
}

}  // namespace
