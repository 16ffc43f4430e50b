// The "%temp%" destination on the native build: the temporary folder comes from TMPDIR,
// and a name whose last character is 0x5C-ended in code page 932 still gets a real
// backslash behind it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "startup/payload.h"
#include "startup/settings.h"
#include "sys/shell.h"
#include "sys/text.h"

namespace {

class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    hadTmpdir = old != nullptr;
    if (old) saved = old;
  }
  void TearDown() override {
    if (hadTmpdir) setenv("TMPDIR", saved.c_str(), 1);
    else unsetenv("TMPDIR");
    sys::setCodePage(1252);
  }
  bool hadTmpdir = false;
  std::string saved;
};

TEST_F(TempFolder, EndsInARealBackslash) {
  struct Case {
    unsigned codePage;
    const char* tmpdir;     // UTF-8
    const char* expected;   // path text
  } cases[] = {
      {1252, "/tmp", "Z:\\tmp\\"},
      {1252, "/var/tmp//", "Z:\\var\\tmp\\"},
      {1252, "/", "Z:\\"},
      // 表, 0x95 0x5C in code page 932, is a plain character in UTF-8
      {932, "/tmp/\xe8\xa1\xa8", "Z:\\tmp\\\xe8\xa1\xa8\\"},
      {932, "/tmp/\xe8\xa1\xa8/", "Z:\\tmp\\\xe8\xa1\xa8\\"},
  };
  for (const Case& c : cases) {
    sys::setCodePage(c.codePage);
    setenv("TMPDIR", c.tmpdir, 1);
    char out[256];
    EXPECT_EQ(sys::tempPath(out, sizeof out), int(std::strlen(c.expected))) << c.tmpdir;
    EXPECT_STREQ(out, c.expected) << c.tmpdir;
  }
}

TEST_F(TempFolder, PrivateFolderLiesInsideADoubleByteTemporaryFolder) {
  sys::setCodePage(932);
  setenv("TMPDIR", "/tmp/\xe8\xa1\xa8", 1);
  resetSfxSettings();
  SfxConfig block;
  std::memset(&block, 0, sizeof block);
  std::memcpy(block.magic, "TORVEX", 6);
  block.variant = '3';
  std::strcpy(block.destinationPath, "%temp%");
  std::strcpy(block.setupCommand, "setup.exe");
  block.deleteAfterSetup = 1;
  ASSERT_TRUE(mergeSfxConfig(block, "Z:\\dl\\pkg.exe"));
  EXPECT_TRUE(startupState.createdTempFolder);
  EXPECT_STREQ(sfxSettings.destinationPath, "Z:\\tmp\\\xe8\xa1\xa8\\~pkg.exe");
}

}  // namespace
