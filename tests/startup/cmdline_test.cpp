#include "startup/cmdline.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "extract/paths.h"
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
struct ParseCase {
  std::string arguments;
  int result;
  const char* archive;       // expected archive path
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
    int result = parseCommandLine(c.arguments.c_str(), archive);
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(result, c.result);
    if (c.result == 1) {
      EXPECT_STREQ(archive, c.archive);
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
      {"", 1, "", "", "", 0, 0, 1, 0},
      {"/d /h data.lzh", 1, "data.lzh", "", "", 0, 1, 1, 0},
      {"data.lzh /N", 1, "data.lzh", "", "", 0, 0, 0, 0},
      {"/N data.lzh /H", 1, "", "", "", 0, 1, 0, 0},
      {"/E:setup.exe data.lzh", 1, "data.lzh", "", "setup.exe", 0, 0, 1, 0},
      {"/e:setup.exe /D data.lzh", 1, "data.lzh", "", "setup.exe", 1, 0, 1, 0},
      {"/E:\"setup.exe -s\" \"" + myFiles + "\" \"D:\\Out\"", 1, myFiles.c_str(), "D:\\Out", "setup.exe -s", 0, 0, 1, 0},
      // no blank between the closing and the opening quote: no destination
      {"\"data.lzh\"\"D:\\Out\"", 1, "data.lzh", "", "", 0, 0, 1, 0},
      {"\"data.lzh\" /O \"D:\\Out\"", 1, "data.lzh", "D:\\Out", "", 0, 0, 1, 1},
      // a destination naming an existing file is ignored
      {"\"data.lzh\" \"ata.lzh\"", 1, "data.lzh", "", "", 0, 0, 1, 0},
      // forward slashes are switches (both read as /D here), leaving "ata.lzh"
      {"C:/dir/data.lzh", 1, "ata.lzh", "", "", 0, 0, 1, 0},
      {"data.lzh /E:", 1, "data.lzh", "", "", 0, 0, 1, 0},
      // the quoted value's own /D is a switch too, and the rest of the text is empty
      {"/E:\"setup.exe /D\"", 1, "", "", "setup.exe /D", 1, 0, 1, 0},
      {"data.lzh /E", 0, "", "", "", 0, 0, 1, 0},
      {"/x data.lzh", 0, "", "", "", 0, 0, 1, 0},
      {"dir.lzh", 0, "", "", "", 0, 0, 1, 0},
      {"missing.lzh", 0, "", "", "", 0, 0, 1, 0},
      {"data.lzh   ", 1, "data.lzh", "", "", 0, 0, 1, 0},
      // a lone slash at the end is no switch: the whole text is the (missing) archive
      {"data.lzh /", 0, "", "", "", 0, 0, 1, 0},
  };
  for (const ParseCase& c : cases) check(c);
}

TEST_F(ParseCommandLine, RefusesTextsLongerThanTheirBuffers) {
  const std::string longName(300, 'a');
  const std::string cases[] = {
      std::string(600, ' ') + "data.lzh",                      // argument text over 511 bytes
      "/E:" + std::string(200, 'x') + " data.lzh",             // command over 127 bytes
      "\"" + longName + "\"",                                   // archive path over 259 bytes
      "\"data.lzh\" \"D:\\" + longName + "\"",                  // destination over 259 bytes
  };
  for (const std::string& arguments : cases) {
    resetSfxSettings();
    char archive[kPathBytes];
    EXPECT_EQ(parseCommandLine(arguments.c_str(), archive), 0) << arguments.substr(0, 40);
    EXPECT_STREQ(sfxSettings.destinationPath, "");
  }
}

TEST_F(ParseCommandLine, ValueWithoutTerminatorRunsToTheEnd) {
  check({"/E:\"setup.exe -q", 1, "", "", "setup.exe -q", 0, 0, 1, 0});
}

}  // namespace
