#include "startup/cmdline.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "extract/paths.h"
#include "extract/run_driver.h"
#include "image_util.h"
#include "startup/settings.h"

namespace {

TEST(SkipProgramName, SeparatesTheArgumentText) {
  struct Case {
    const char* commandLine;
    const char* arguments;
  } cases[] = {
      {"\"C:\\Program Files\\pkg.exe\" /D data.lzh", "/D data.lzh"},
      {"pkg.exe   \t data.lzh", "data.lzh"},
      {"pkg.exe", ""},
      {"\"C:\\no closing quote", ""},
      {"\"pkg.exe\"x y", "x y"},  // the name ends at the closing quote
      {"pkg.exe\x01\x02/N", "/N"},  // control bytes count as blanks
  };
  for (const Case& c : cases) EXPECT_STREQ(skipProgramName(c.commandLine), c.arguments) << c.commandLine;
}

// Each case runs in a scratch folder holding data.lzh, ata.lzh and a folder dir.lzh.
// result: kGo to go on, else the exit code the refusal ends with.
constexpr int kGo = -1;
struct ParseCase {
  std::string arguments;
  int result;
  std::string archive;       // expected archive path; relative ones are taken in the scratch folder
  const char* destination;   // expected destinationPath
  const char* command;
  uint32_t deleteAfterSetup, skipDestinationDialog, openFolderAfter, noConfirm;
};

class ParseCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch.file("data.lzh", {1});
    scratch.file("ata.lzh", {1});
    scratch.file("My Files/data.lzh", {1});
    std::filesystem::create_directories(scratch.native + "/dir.lzh");
    previous = std::filesystem::current_path();
    std::filesystem::current_path(scratch.native);
    resetSfxSettings();
  }
  void TearDown() override { std::filesystem::current_path(previous); }
  void check(const ParseCase& c) {
    resetSfxSettings();
    char archive[kPathBytes] = "x";
    uint32_t exitCode = 0;
    bool go = parseCommandLine(c.arguments.c_str(), archive, &exitCode);
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(go ? kGo : static_cast<int>(exitCode), c.result);
    if (go) {
      bool relative = !c.archive.empty() && c.archive[1] != ':';
      EXPECT_EQ(archive, relative ? scratch.windowsForm + "\\" + c.archive : c.archive);
    }
    EXPECT_STREQ(sfxSettings.destinationPath, c.destination);
    EXPECT_STREQ(sfxSettings.setupCommand, c.command);
    EXPECT_EQ(sfxSettings.deleteAfterSetup, c.deleteAfterSetup);
    EXPECT_EQ(sfxSettings.skipDestinationDialog, c.skipDestinationDialog);
    EXPECT_EQ(sfxSettings.openFolderAfter, c.openFolderAfter);
    EXPECT_EQ(sfxSettings.noConfirm, c.noConfirm);
  }
  ScratchFolder scratch;
  std::filesystem::path previous;
};

TEST_F(ParseCommandLine, SwitchesArchivePathAndDestination) {
  const std::string myFiles = scratch.windowsForm + "\\My Files\\data.lzh";
  const ParseCase cases[] = {
      {"", kGo, "", "", "", 0, 0, 1, 0},
      {"/d /h data.lzh", kGo, "data.lzh", "", "", 0, 1, 1, 0},
      {"data.lzh /N", kGo, "data.lzh", "", "", 0, 0, 0, 0},
      {"/N data.lzh /H", kGo, "", "", "", 0, 1, 0, 0},
      {"/E:setup.exe data.lzh", kGo, "data.lzh", "", "setup.exe", 0, 0, 1, 0},
      {"/e:setup.exe /D data.lzh", kGo, "data.lzh", "", "setup.exe", 1, 0, 1, 0},
      {"/E:\"setup.exe -s\" \"" + myFiles + "\" \"D:\\Out\"", kGo, myFiles, "D:\\Out", "setup.exe -s", 0, 0, 1, 0},
      // no blank between the closing and the opening quote: no destination
      {"\"data.lzh\"\"D:\\Out\"", kGo, "data.lzh", "", "", 0, 0, 1, 0},
      {"\"data.lzh\" /O \"D:\\Out\"", kGo, "data.lzh", "D:\\Out", "", 0, 0, 1, 1},
      // a destination naming an existing file is ignored
      {"\"data.lzh\" \"ata.lzh\"", kGo, "data.lzh", "", "", 0, 0, 1, 0},
      // forward slashes are switches (both read as /D here), leaving "ata.lzh"
      {"C:/dir/data.lzh", kGo, "ata.lzh", "", "", 0, 0, 1, 0},
      {"data.lzh /E:", kGo, "data.lzh", "", "", 0, 0, 1, 0},
      // the quoted value's own /D is a switch too, and the rest of the text is empty
      {"/E:\"setup.exe /D\"", kGo, "", "", "setup.exe /D", 1, 0, 1, 0},
      {"data.lzh /E", kExitNotFound, "", "", "", 0, 0, 1, 0},
      {"/x data.lzh", kExitNotFound, "", "", "", 0, 0, 1, 0},
      {"dir.lzh", kExitNotFound, "", "", "", 0, 0, 1, 0},
      {"missing.lzh", kExitNotFound, "", "", "", 0, 0, 1, 0},
      {"data.lzh   ", kGo, "data.lzh", "", "", 0, 0, 1, 0},
      // a lone slash at the end is no switch: the whole text is the (missing) archive
      {"data.lzh /", kExitNotFound, "", "", "", 0, 0, 1, 0},
      // relative forms are made full before anything else sees them
      {"\"My Files\\..\\.\\data.lzh\"", kGo, "data.lzh", "", "", 0, 0, 1, 0},
  };
  for (const ParseCase& c : cases) check(c);
}

TEST_F(ParseCommandLine, RefusesTextsLongerThanTheirBuffers) {
  const std::string longName(300, 'a');
  const std::string cases[] = {
      std::string(kArgumentBytes, ' ') + "data.lzh",           // argument text over its buffer
      "/E:" + std::string(400, 'x') + " data.lzh",             // command over its buffer
      "\"" + longName + "\"",                                   // archive path over 259 characters
      "\"data.lzh\" \"D:\\" + longName + "\"",                  // destination over 259 characters
  };
  for (const std::string& arguments : cases) {
    resetSfxSettings();
    char archive[kPathBytes];
    uint32_t exitCode = 0;
    EXPECT_FALSE(parseCommandLine(arguments.c_str(), archive, &exitCode)) << arguments.substr(0, 40);
    EXPECT_EQ(exitCode, kExitBadCommandLine) << arguments.substr(0, 40);
    EXPECT_STREQ(sfxSettings.destinationPath, "");
  }
}

TEST_F(ParseCommandLine, ValueWithoutTerminatorRunsToTheEnd) {
  check({"/E:\"setup.exe -q", kGo, "", "", "setup.exe -q", 0, 0, 1, 0});
}

}  // namespace
