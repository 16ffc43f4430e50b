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
  EXPECT_EQ(runPackage(typicalBlock()), 1);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, "Example");
  EXPECT_EQ(boxes.shown[0].text, "Install the example?");
  EXPECT_EQ(boxes.dialogs, 0);
  std::string folder = scratch + "tmp\\~package.exe\\";
  EXPECT_EQ(log().substr(0, log().find('\n')), "shellExecute " + folder + "setup.exe|-s|" + folder);
  EXPECT_FALSE(exists(folder)) << "files, folders and the private folder are gone";
}

TEST_F(RunDriver, EndsBeforeAnythingIsWritten) {
  const struct { const char* what; bool answerNo, crcMatches, withCommand; int result; bool extracted; } cases[] = {
      {"question answered No", true, true, true, 0, false},
      {"CRC-32 mismatch with a setup command", false, false, true, 0, false},
      {"CRC-32 mismatch without one: extraction goes on", false, false, false, 1, true},
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
    EXPECT_EQ(runExtraction(path), answer == sys::kIdOk ? 1 : 0);
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
  EXPECT_EQ(runPackage(block), 1);
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
  EXPECT_EQ(runExtraction(path), 0);
  EXPECT_EQ(boxes.dialogs, 3);
}

TEST_F(RunDriver, SetupRunsButNothingIsDeletedWhenNoFileWasWritten) {
  LhaMember folder = stored("only\\", "");
  folder.method = "-lhd-";
  archive = lhaArchiveBytes({folder});
  SfxConfig block = typicalBlock();
  block.promptText[0] = '\0';
  EXPECT_EQ(runPackage(block), 1);
  EXPECT_NE(log().find("shellExecute"), std::string::npos);
  EXPECT_TRUE(exists(scratch + "tmp\\~package.exe\\only")) << "the private folder stays";
}

}  // namespace
