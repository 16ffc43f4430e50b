// Whole runs natively: a package (image, block, archive) or a named archive, the scripted
// answers of the boxes and the destination dialog, and the setup command's process log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "extract/lha_writer_util.h"
#include "extract/run_driver.h"
#include "extract/run_state.h"
#include "extract/scratch_util.h"
#include "startup/crc32.h"
#include "startup/image_util.h"
#include "startup/payload.h"
#include "startup/cmdline.h"
#include "startup/settings.h"
#include "sys/process.h"
#include "sys/ui.h"

namespace {

struct Boxes {
  std::vector<ShownMessage> shown;
  int questionAnswer = sys::kIdYes;   // start-up question
  int folderAnswer = sys::kIdOk;      // "does not exist" question
  int dialogs = 0;
  int dialogCancelsAt = 0;            // the destination dialog answers Cancel at this call
};
Boxes boxes;

int answerBox(sys::WindowHandle, const char* text, const char* caption, unsigned flags) {
  boxes.shown.push_back({text, caption});
  if ((flags & 0xF) == sys::kMbYesNo) return boxes.questionAnswer;
  if ((flags & 0xF) == sys::kMbOkCancel) return boxes.folderAnswer;
  return sys::kIdOk;
}

int answerDialog(const char*) { return ++boxes.dialogs == boxes.dialogCancelsAt ? sys::kIdCancel : sys::kIdOk; }

LhaMember stored(const std::string& name, const std::string& data) {
  LhaMember m;
  m.level = 2;
  m.name = name;
  m.data = data;
  return m;
}

class RunDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch = makeScratchFolder();
    ASSERT_FALSE(scratch.empty());
    native = scratch.substr(2);
    for (char& c : native)
      if (c == '\\') c = '/';
    ASSERT_TRUE(makeFolder(scratch + "tmp"));
    ASSERT_TRUE(makeFolder(scratch + "pkg"));
    setenv("TMPDIR", (native + "tmp").c_str(), 1);
    boxes = Boxes{};
    sys::setMessageHook(answerBox);
    sys::setDestinationHook(answerDialog);
    sys::setProcessScriptForTests({});
    runStatus = kRunGoing;
    resetSfxSettings();
    archive = lhaArchiveBytes({stored("setup.exe", "program"), stored("docs\\readme.txt", "text")});
  }
  void TearDown() override {
    sys::setMessageHook(nullptr);
    sys::setDestinationHook(nullptr);
    unsetenv("TMPDIR");
    removeTree(scratch);
  }

  // stub image + block + archive in pkg\package.exe, started as the running program.
  int runPackage(SfxConfig block, bool crcMatches = true) {
    std::vector<uint8_t> image = buildImage({{".text", 0x200, 0x200}}, 1, 0x80, 0x400);
    std::memcpy(block.magic, "TORVEX", 6);
    block.variant = '3';
    buildCrc32Table();
    crc32Update(reinterpret_cast<const uint8_t*>(archive.data()), static_cast<uint32_t>(archive.size()));
    if (block.archiveCrc32 == 1) block.archiveCrc32 = crc32Value() ^ (crcMatches ? 0 : 1);
    std::string bytes(image.begin(), image.end());
    bytes.append(reinterpret_cast<const char*>(&block), sizeof block);
    bytes += archive;
    std::string package = scratch + "pkg\\package.exe";
    EXPECT_TRUE(writeFileText(package, bytes));
    sys::setModuleFileName(package.c_str());
    char path[260] = "";
    return runExtraction(path);
  }

  std::string log() { return sys::processLogForTests(); }

  std::string scratch, native, archive;
};

SfxConfig typicalBlock() {
  SfxConfig b{};
  std::strcpy(b.destinationPath, "%temp%");
  std::strcpy(b.setupCommand, "setup.exe -s");
  std::strcpy(b.promptTitle, "Example");
  std::strcpy(b.promptText, "Install the example?");
  b.noConfirm = 1;
  b.deleteAfterSetup = 1;
  b.skipDestinationDialog = 1;
  b.openFolderAfter = 1;
  b.archiveCrc32 = 1;  // filled with the archive's CRC-32
  return b;
}

TEST_F(RunDriver, TypicalRunInstallsFromAPrivateTemporaryFolderAndCleansUp) {
  EXPECT_EQ(runPackage(typicalBlock()), kExitSuccess);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, "Example");
  EXPECT_EQ(boxes.shown[0].text, "Install the example?");
  EXPECT_EQ(boxes.dialogs, 0);
  std::string folder = scratch + "tmp\\~package.exe\\";
  EXPECT_EQ(log().substr(0, log().find('\n')), "shellExecute " + folder + "setup.exe|-s|" + folder);
  EXPECT_FALSE(exists(folder)) << "files, folders and the private folder are gone";
}

TEST_F(RunDriver, APrivateFolderThatExistsIsNeverTakenOver) {
  // left by another program (or an earlier run): its setup.exe must never be started
  ASSERT_TRUE(makeFolder(scratch + "tmp\\~package.exe"));
  ASSERT_TRUE(writeFileText(scratch + "tmp\\~package.exe\\setup.exe", "planted"));
  ASSERT_TRUE(writeFileText(scratch + "tmp\\~package.exe.2", "a file of that name"));
  SfxConfig block = typicalBlock();
  block.promptText[0] = '\0';
  EXPECT_EQ(runPackage(block), kExitSuccess);
  std::string folder = scratch + "tmp\\~package.exe.3\\";
  EXPECT_EQ(log().substr(0, log().find('\n')), "shellExecute " + folder + "setup.exe|-s|" + folder);
  EXPECT_FALSE(exists(folder)) << "the folder this run made is removed";
  EXPECT_TRUE(exists(scratch + "tmp\\~package.exe\\setup.exe"));
  EXPECT_TRUE(exists(scratch + "tmp\\~package.exe.2"));
}

TEST_F(RunDriver, EndsBeforeAnythingIsWritten) {
  const struct { const char* what; bool answerNo, crcMatches, withCommand; uint32_t result; bool extracted; } cases[] = {
      {"question answered No", true, true, true, kExitCancelled, false},
      {"CRC-32 mismatch with a setup command", false, false, true, kExitFailed, false},
      {"CRC-32 mismatch without one: extraction goes on", false, false, false, kExitSuccess, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    SfxConfig block = typicalBlock();
    block.deleteAfterSetup = 0;
    if (!c.withCommand) block.setupCommand[0] = '\0';
    boxes.questionAnswer = c.answerNo ? sys::kIdNo : sys::kIdYes;
    EXPECT_EQ(runPackage(block, c.crcMatches), c.result);
    bool warned = boxes.shown.size() > 1 && boxes.shown[1].caption == "Warning";
    EXPECT_EQ(warned, !c.crcMatches);
    EXPECT_EQ(exists(scratch + "tmp\\setup.exe"), c.extracted);
    EXPECT_EQ(log().empty(), !c.extracted) << log();  // the folder opens when there is no command
  }
}

TEST_F(RunDriver, NamedArchiveGoesBesideItAfterTheFolderQuestion) {
  std::string archivePath = scratch + "pkg\\data.lzh";
  ASSERT_TRUE(writeFileText(archivePath, "junk in front " + archive));
  for (int answer : {sys::kIdCancel, sys::kIdOk}) {
    boxes = Boxes{};
    boxes.folderAnswer = answer;
    std::strcpy(sfxSettings.destinationPath, (scratch + "new\\place").c_str());
    char path[260];
    std::strcpy(path, archivePath.c_str());
    EXPECT_EQ(runExtraction(path), answer == sys::kIdOk ? kExitSuccess : kExitCancelled);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "The Folder '" + scratch + "new\\place\\' does not exist.\nDo you want to create it?");
    EXPECT_EQ(exists(scratch + "new\\place\\docs\\readme.txt"), answer == sys::kIdOk);
  }
  EXPECT_EQ(log(), "openFolder " + scratch + "new\\place\\\n");
}

TEST_F(RunDriver, RefusedDestinationsFallBackToTheArchiveFolderThenAsk) {
  SfxConfig block{};
  std::strcpy(block.destinationPath, "bad*name");
  block.skipDestinationDialog = 1;
  block.noConfirm = 1;
  EXPECT_EQ(runPackage(block), kExitSuccess);
  EXPECT_EQ(boxes.dialogs, 0);
  EXPECT_TRUE(exists(scratch + "pkg\\setup.exe"));

  // a package in a folder that is itself refused asks rather than going round for ever
  TearDown();
  SetUp();
  ASSERT_TRUE(makeFolder(scratch + "pkg\\a;b"));
  std::vector<uint8_t> image = buildImage({{".text", 0x200, 0x200}}, 1, 0x80, 0x400);
  block.archiveCrc32 = 0;
  std::memcpy(block.magic, "TORVEX", 6);
  std::string bytes(image.begin(), image.end());
  bytes.append(reinterpret_cast<const char*>(&block), sizeof block);
  ASSERT_TRUE(writeFileText(scratch + "pkg\\a;b\\package.exe", bytes + archive));
  sys::setModuleFileName((scratch + "pkg\\a;b\\package.exe").c_str());
  boxes.dialogCancelsAt = 3;
  char path[260] = "";
  EXPECT_EQ(runExtraction(path), kExitCancelled);
  EXPECT_EQ(boxes.dialogs, 3);
}

TEST_F(RunDriver, SetupRunsButNothingIsDeletedWhenNoFileWasWritten) {
  LhaMember folder = stored("only\\", "");
  folder.method = "-lhd-";
  archive = lhaArchiveBytes({folder});
  SfxConfig block = typicalBlock();
  block.promptText[0] = '\0';
  EXPECT_EQ(runPackage(block), kExitSuccess);
  EXPECT_NE(log().find("shellExecute"), std::string::npos);
  EXPECT_TRUE(exists(scratch + "tmp\\~package.exe\\only")) << "the private folder stays";
}

// How a run ends, as its exit code: every way of the table in one place. The package
// installs into a folder of the scratch tree with setup.exe, without questions, unless the
// row says otherwise.
enum class Way {
  done, waited3010, launchFails, noCommand, questionNo, dialogCancel, folderCancel, replaceCancel,
  progressCancel, crc32Mismatch, memberCrc, memberCrcNoCommand, refusedPath, damagedHeader, damagedFirstHeader,
  folderNotMade,
  missingArchive, noPayload,
};

void cancelAtProgress(uint32_t) { stopRun(kRunCancelled); }
int cancelReplace(const sys::ReplaceInfo&) { return sys::kReplaceCancel; }

TEST_F(RunDriver, ExitCodeSaysHowTheRunEnded) {
  const struct { const char* what; Way way; uint32_t exitCode; bool setupStarted; } cases[] = {
      {"every member extracted, setup started", Way::done, kExitSuccess, true},
      {"the setup program waited for ends with 3010", Way::waited3010, 3010, true},
      {"the setup program cannot be started", Way::launchFails, kExitFailed, true},
      {"no setup command: the folder opens", Way::noCommand, kExitSuccess, false},
      {"No to the start-up question", Way::questionNo, kExitCancelled, false},
      {"Cancel in the destination dialog", Way::dialogCancel, kExitCancelled, false},
      {"Cancel to the folder question", Way::folderCancel, kExitCancelled, false},
      {"Cancel in the replace dialog", Way::replaceCancel, kExitCancelled, false},
      {"Cancel in the progress window", Way::progressCancel, kExitCancelled, false},
      {"CRC-32 mismatch with a setup command", Way::crc32Mismatch, kExitFailed, false},
      {"a member fails its CRC-16: no setup", Way::memberCrc, kExitFailed, false},
      {"a member fails its CRC-16, no command: the folder still opens", Way::memberCrcNoCommand, kExitFailed,
       false},
      {"a member path refused", Way::refusedPath, kExitFailed, false},
      {"a damaged header behind a member", Way::damagedHeader, kExitFailed, false},
      {"the first header damaged: the scan finds the second", Way::damagedFirstHeader, kExitFailed, false},
      {"the destination cannot be made", Way::folderNotMade, kExitFailed, false},
      {"a named archive that does not exist", Way::missingArchive, kExitNotFound, false},
      {"a stub without payload", Way::noPayload, kExitNotFound, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    SfxConfig block{};
    std::strcpy(block.destinationPath, (scratch + "dest").c_str());
    std::strcpy(block.setupCommand, "setup.exe");
    block.noConfirm = block.skipDestinationDialog = block.openFolderAfter = 1;
    LhaMember damaged = stored("damaged.txt", "damaged data");
    std::string damagedBytes = lhaMemberBytes(damaged);
    damagedBytes[damagedBytes.size() - 1] ^= 1;
    sys::ProcessScript script;
    bool crcMatches = true;
    switch (c.way) {
      case Way::done: break;
      case Way::waited3010:
        block.deleteAfterSetup = 1;
        script.exitCode = sys::kStillActive;
        script.finalExitCode = 3010;
        break;
      case Way::launchFails: script.launchFails = true; break;
      case Way::noCommand: block.setupCommand[0] = '\0'; break;
      case Way::questionNo:
        std::strcpy(block.promptText, "Install?");
        boxes.questionAnswer = sys::kIdNo;
        break;
      case Way::dialogCancel:
        block.skipDestinationDialog = 0;
        boxes.dialogCancelsAt = 1;
        break;
      case Way::folderCancel:
        block.noConfirm = 0;
        boxes.folderAnswer = sys::kIdCancel;
        break;
      case Way::replaceCancel:
        block.noConfirm = 0;
        ASSERT_TRUE(makeFolder(scratch + "dest"));
        ASSERT_TRUE(writeFileText(scratch + "dest\\setup.exe", "older"));
        sys::setReplaceHook(cancelReplace);
        break;
      case Way::progressCancel: sys::setProgressHook(cancelAtProgress); break;
      case Way::crc32Mismatch:
        block.archiveCrc32 = 1;
        crcMatches = false;
        break;
      case Way::memberCrc: archive.insert(archive.size() - 1, damagedBytes); break;
      case Way::memberCrcNoCommand:
        block.setupCommand[0] = '\0';
        archive.insert(archive.size() - 1, damagedBytes);
        break;
      case Way::refusedPath: archive.insert(archive.size() - 1, lhaMemberBytes(stored("a:b.txt", "x"))); break;
      case Way::damagedHeader: archive.back() = 'X', archive += std::string(30, 'X'); break;
      case Way::damagedFirstHeader: archive[3] = 'X'; break;
      case Way::folderNotMade:
        ASSERT_TRUE(writeFileText(scratch + "blocker", "a file where a folder must go"));
        std::strcpy(block.destinationPath, (scratch + "blocker\\dest").c_str());
        break;
      case Way::missingArchive: break;
      case Way::noPayload: archive.clear(); break;
    }
    sys::setProcessScriptForTests(script);
    uint32_t exitCode;
    if (c.way == Way::missingArchive) {
      exitCode = sfxMain(nullptr, (scratch + "missing.lzh").c_str());
    } else if (c.way == Way::noPayload) {
      std::vector<uint8_t> image = buildImage({{".text", 0x200, 0x200}}, 1, 0x80, 0x400);
      ASSERT_TRUE(writeFileText(scratch + "pkg\\bare.exe", std::string(image.begin(), image.end())));
      sys::setModuleFileName((scratch + "pkg\\bare.exe").c_str());
      exitCode = sfxMain(nullptr, "");
    } else {
      exitCode = runPackage(block, crcMatches);
    }
    sys::setReplaceHook(nullptr);
    sys::setProgressHook(nullptr);
    EXPECT_EQ(exitCode, c.exitCode);
    EXPECT_EQ(log().find("shellExecute") != std::string::npos, c.setupStarted) << log();
    if (c.way == Way::memberCrcNoCommand) {
      EXPECT_NE(log().find("openFolder"), std::string::npos);
    }
  }
}

}  // namespace
