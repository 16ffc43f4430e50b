// The destination rules, folder trees and member paths below a real scratch destination.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "extract/destination.h"
#include "extract/paths.h"
#include "extract/run_state.h"
#include "extract/scratch_util.h"
#include "startup/settings.h"
#include "sys/text.h"
#include "ui/strings.h"

namespace {

struct DestinationCase {
  const char* archiveFolder;
  const char* text;
  DestinationOutcome outcome;
  const char* expected;
};

template <size_t N>
void checkDestinations(const DestinationCase (&cases)[N]) {
  for (const DestinationCase& c : cases) {
    resetSfxSettings();
    std::strcpy(sfxSettings.destinationPath, c.text);
    EXPECT_EQ(normalizeDestination(c.archiveFolder), c.outcome) << c.text;
    EXPECT_STREQ(sfxSettings.destinationPath, c.expected) << c.text;
  }
}

TEST(NormalizeDestination, Examples) {
  const DestinationCase cases[] = {
      {"C:\\dl\\", "Data", DestinationOutcome::accepted, "C:\\dl\\Data\\"},
      {"C:\\dl\\", "\\Data", DestinationOutcome::accepted, "C:\\dl\\Data\\"},
      {"C:\\dl\\", ".\\Data", DestinationOutcome::accepted, "C:\\dl\\Data\\"},
      {"C:\\dl\\", "./Data/", DestinationOutcome::accepted, "C:\\dl\\Data\\"},
      {"C:\\a\\b\\c\\", "..\\..\\app", DestinationOutcome::accepted, "C:\\a\\app\\"},
      {"C:\\a\\b\\c\\", "..\\x\\..\\y", DestinationOutcome::accepted, "C:\\a\\y\\"},
      // ".." alone has no backslash once the trailing one is gone: a name beside the archive
      {"C:\\a\\b\\c\\", "..\\", DestinationOutcome::accepted, "C:\\a\\b\\c\\..\\"},
      {"C:\\a\\", "..\\..\\..\\..\\z", DestinationOutcome::retry, "C:\\a"},
      {"C:\\a\\", "..\\z", DestinationOutcome::accepted, "C:\\z\\"},
      {"C:\\a\\", "..\\..\\z", DestinationOutcome::retry, "C:\\a"},
      {"C:\\dl\\", "C:", DestinationOutcome::accepted, "C:\\"},
      {"C:\\dl\\", "C:\\x\\  ", DestinationOutcome::accepted, "C:\\x\\"},
      {"C:\\dl\\", "a?b", DestinationOutcome::retry, "C:\\dl\\"},
      {"C:\\dl\\", "C:\\a|b", DestinationOutcome::retry, "C:\\dl\\"},
      {"C:\\dl\\", "D:\\Setup", DestinationOutcome::accepted, "D:\\Setup\\"},
      {"C:\\dl\\", "\\\\server\\share\\dir", DestinationOutcome::accepted, "\\\\server\\share\\dir\\"},
      {"C:\\dl\\", "a\\b", DestinationOutcome::accepted, "a\\b\\"},
      {"C:\\dl\\", "", DestinationOutcome::accepted, "C:\\dl\\"},
      {"C:\\dl\\", "Data  ", DestinationOutcome::accepted, "C:\\dl\\Data\\"},
  };
  checkDestinations(cases);
}

TEST(NormalizeDestination, NeverCutsATextThatDoesNotFit) {
  // 259 UTF-16 units are the limit, whatever the bytes: 表 is one unit and three bytes
  std::string folder = "C:\\" + std::string(200, 'f') + "\\";
  std::string name;
  for (size_t k = folder.size(); k < static_cast<size_t>(kPathUnits); ++k) name += "\u8868";  // + '\' = 261 units
  resetSfxSettings();
  std::strcpy(sfxSettings.destinationPath, name.c_str());
  EXPECT_EQ(normalizeDestination(folder.c_str()), DestinationOutcome::retry);
  EXPECT_EQ(std::string(sfxSettings.destinationPath), folder);
  // Two characters shorter: 259 units with the backslash, accepted.
  name.resize(name.size() - 6);
  std::strcpy(sfxSettings.destinationPath, name.c_str());
  EXPECT_EQ(normalizeDestination(folder.c_str()), DestinationOutcome::accepted);
  EXPECT_EQ(std::string(sfxSettings.destinationPath), folder + name + "\\");
  EXPECT_EQ(pathUnits(sfxSettings.destinationPath), kPathUnits - 1);
}

TEST(NormalizeDestination, JapaneseNamesAreNoSeparators) {
  resetSfxSettings();
  // 表 alone has no backslash: a bare name beside the archive.
  std::strcpy(sfxSettings.destinationPath, "\u8868");
  EXPECT_EQ(normalizeDestination("C:\\dl\\"), DestinationOutcome::accepted);
  EXPECT_STREQ(sfxSettings.destinationPath, "C:\\dl\\\u8868\\");
  std::strcpy(sfxSettings.destinationPath, "C:\\\u30BD");
  EXPECT_EQ(normalizeDestination("C:\\dl\\"), DestinationOutcome::accepted);
  EXPECT_STREQ(sfxSettings.destinationPath, "C:\\\u30BD\\");
  // a text that is not UTF-8 (it never comes so from the system) is refused
  std::strcpy(sfxSettings.destinationPath, "C:\\x\\\x83");
  EXPECT_EQ(normalizeDestination("C:\\dl\\"), DestinationOutcome::retry);
}

class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys::setCodePage(1252);
    scratch = makeScratchFolder();
    ASSERT_FALSE(scratch.empty());
    runStatus = kRunGoing;
  }
  void TearDown() override {
    removeTree(scratch);
    sys::setCodePage(1252);
    runStatus = kRunGoing;
  }
  std::string scratch;
};

using CreateFolderTree = ScratchTest;

TEST_F(CreateFolderTree, DrivePathCreatesEveryMissingFolder) {
  EXPECT_TRUE(createFolderTree((scratch + "new\\deeper\\deepest").c_str()));
  EXPECT_TRUE(exists(scratch + "new\\deeper\\deepest"));
  EXPECT_TRUE(createFolderTree((scratch + "new\\deeper\\").c_str()));  // all there already
  // A file in the way: the folder below it cannot be made.
  ASSERT_TRUE(writeFileText(scratch + "file", "x"));
  EXPECT_FALSE(createFolderTree((scratch + "file\\below\\").c_str()));
}

TEST_F(CreateFolderTree, RejectsPathsWithoutARoot) {
  const char* cases[] = {"\\\\srv\\", "rel\\dir\\", "C:", "C:rel\\", "\\\\srv\\share", "\\\\server", ""};
  for (const char* c : cases) EXPECT_FALSE(createFolderTree(c)) << c;
}

TEST_F(CreateFolderTree, NetworkRoot) {
  std::string share = networkFormOf(scratch);
  if (share.empty()) GTEST_SKIP() << "no network form of the scratch folder here";
  EXPECT_TRUE(createFolderTree((share + "new\\deeper\\").c_str()));
  EXPECT_TRUE(exists(scratch + "new\\deeper"));
}

// ---- member paths ----

struct MemberCase {
  const char* stored;       // MemberHeader.path as the header reader leaves it
  TargetOutcome outcome;
  const char* relative;     // target below the destination (file / folderOnly)
};

class MemberTarget : public ScratchTest {
 protected:
  TargetOutcome build(const char* stored, std::string* relative, std::vector<ShownMessage>* shown) {
    char path[2 * kPathBytes + 1];
    std::strcpy(path, stored);
    char target[kPathBytes] = "";
    startMessageCapture();
    char* rel = cleanMemberPath(path);
    TargetOutcome outcome = buildMemberTarget(scratch.c_str(), rel, target);
    *shown = stopMessageCapture();
    std::string t = target;
    if (outcome == TargetOutcome::file || outcome == TargetOutcome::folderOnly) {
      EXPECT_EQ(t.compare(0, scratch.size(), scratch), 0) << stored;
      *relative = t.substr(scratch.size());
    }
    return outcome;
  }

  void check(const MemberCase* cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      const MemberCase& c = cases[i];
      std::string relative;
      std::vector<ShownMessage> shown;
      TargetOutcome outcome = build(c.stored, &relative, &shown);
      EXPECT_EQ(outcome, c.outcome) << c.stored;
      if (c.outcome == TargetOutcome::skipped) {
        ASSERT_EQ(shown.size(), 1u) << c.stored;
        EXPECT_EQ(shown[0].caption, kCaption);
        EXPECT_NE(shown[0].text.find("invalid filename.(skipped)"), std::string::npos) << shown[0].text;
      } else {
        EXPECT_TRUE(shown.empty()) << c.stored;
        EXPECT_EQ(relative, c.relative) << c.stored;
      }
      EXPECT_EQ(readRunStatus(), kRunGoing) << c.stored;
    }
  }
};

TEST_F(MemberTarget, Examples) {
  const MemberCase cases[] = {
      {"\\abs\\f.txt", TargetOutcome::file, "abs\\f.txt"},
      {"a/b/c.txt", TargetOutcome::file, "a\\b\\c.txt"},
      {"..\\..\\evil.txt", TargetOutcome::file, "evil.txt"},
      {"sub\\name  ", TargetOutcome::file, "sub\\name"},
      {"plain.txt", TargetOutcome::file, "plain.txt"},
      {"docs\\", TargetOutcome::folderOnly, "docs\\"},
      {"x:y", TargetOutcome::skipped, ""},
      {"what?.txt", TargetOutcome::skipped, ""},
      {"", TargetOutcome::skipped, ""},
      {"   ", TargetOutcome::skipped, ""},
      {"a;b", TargetOutcome::skipped, ""},
      {"a*b", TargetOutcome::skipped, ""},
      {"a\"b", TargetOutcome::skipped, ""},
      {"a<b", TargetOutcome::skipped, ""},
      {"a>b", TargetOutcome::skipped, ""},
      {"a|b", TargetOutcome::skipped, ""},
  };
  check(cases, sizeof cases / sizeof cases[0]);
  EXPECT_TRUE(exists(scratch + "a\\b"));
  EXPECT_TRUE(exists(scratch + "docs"));
  EXPECT_TRUE(exists(scratch + "sub"));
}

TEST_F(MemberTarget, NoPathLeavesTheDestination) {
  const MemberCase cases[] = {
      // one leading backslash used to skip the slash conversion
      {"\\../../x1", TargetOutcome::file, "x1"},
      {"\\..\\/..\\/x2", TargetOutcome::file, "x2"},
      {"\\..//..//x3", TargetOutcome::file, "x3"},
      // components Windows resolves to the parent or the folder itself
      {".. \\x4", TargetOutcome::file, "x4"},
      {"...\\x5", TargetOutcome::file, ".x5"},  // "..\\" goes first, leaving a plain name
      {".... \\x5b", TargetOutcome::file, "x5b"},
      {"a\\. .\\..  \\x6", TargetOutcome::file, "a\\x6"},
      {"a\\..", TargetOutcome::folderOnly, "a\\"},
      {"..", TargetOutcome::skipped, ""},
      {".", TargetOutcome::skipped, ""},
      {"./x7", TargetOutcome::file, "x7"},
      // absolute and network forms
      {"\\\\server\\share\\x8", TargetOutcome::file, "server\\share\\x8"},
      {"//server/share/x9", TargetOutcome::file, "server\\share\\x9"},
      {"\\\\\\x10", TargetOutcome::file, "x10"},
      {"a\\\\\\b\\x11", TargetOutcome::file, "a\\b\\x11"},
      {"C:x", TargetOutcome::skipped, ""},
      {"C:\\x", TargetOutcome::skipped, ""},
      {"\\\\?\\C:\\x", TargetOutcome::skipped, ""},
      {"\\\\.\\C:", TargetOutcome::skipped, ""},
      {"a.txt:stream", TargetOutcome::skipped, ""},
  };
  check(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(MemberTarget, DeviceNamesAreRejected) {
  const MemberCase cases[] = {
      {"CON", TargetOutcome::skipped, ""},        {"con.txt", TargetOutcome::skipped, ""},
      {"PRN", TargetOutcome::skipped, ""},        {"aux.tar.gz", TargetOutcome::skipped, ""},
      {"Nul", TargetOutcome::skipped, ""},        {"sub\\NUL\\x.txt", TargetOutcome::skipped, ""},
      {"COM1", TargetOutcome::skipped, ""},       {"com9.log", TargetOutcome::skipped, ""},
      {"LPT1", TargetOutcome::skipped, ""},       {"lpt9.", TargetOutcome::skipped, ""},
      {"nul .txt", TargetOutcome::skipped, ""},   {"a/CON/b", TargetOutcome::skipped, ""},
      {"CONOUT$", TargetOutcome::skipped, ""},    {"con\\", TargetOutcome::skipped, ""},
      // near misses are ordinary names
      {"CONSOLE.txt", TargetOutcome::file, "CONSOLE.txt"},
      {"COM10", TargetOutcome::file, "COM10"},
      {"xnul", TargetOutcome::file, "xnul"},
      {"LPT", TargetOutcome::file, "LPT"},
      {"a.con", TargetOutcome::file, "a.con"},
  };
  check(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(MemberTarget, TargetsAtAndOverTheLimit) {
  // destination + relative path: 259 units fit, 260 are skipped, never cut; 表 counts one
  size_t room = kPathUnits - 1 - scratch.size();
  std::string fits = "d\\";
  for (size_t k = 2; k < room; ++k) fits += "\u8868";
  std::string over = fits + "m";
  std::string long300 = std::string(300, 'a') + "\\x";
  const MemberCase cases[] = {
      {fits.c_str(), TargetOutcome::file, fits.c_str()},
      {over.c_str(), TargetOutcome::skipped, ""},
      {long300.c_str(), TargetOutcome::skipped, ""},
  };
  check(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(MemberTarget, JapaneseNamesArePartOfTheirComponents) {
  const MemberCase cases[] = {
      {"\u30BD\\f.txt", TargetOutcome::file, "\u30BD\\f.txt"},          // ソ\f.txt
      {"dir\\\u8868", TargetOutcome::file, "dir\\\u8868"},               // dir\表
      {"\u8868..\\x", TargetOutcome::file, "\u8868x"},                   // 表..\x
      {"\\\u30BD", TargetOutcome::file, "\u30BD"},
      {"..\\\u30BD\\", TargetOutcome::folderOnly, "\u30BD\\"},
      {"\u30BD:", TargetOutcome::skipped, ""},
  };
  check(cases, sizeof cases / sizeof cases[0]);
  EXPECT_TRUE(exists(scratch + "\u30BD"));
  // A text that is not UTF-8 is rejected, not guessed.
  const MemberCase broken[] = {{"a\x83", TargetOutcome::skipped, ""}};
  check(broken, 1);
}

TEST_F(MemberTarget, FolderThatCannotBeCreatedStopsTheRun) {
  ASSERT_TRUE(writeFileText(scratch + "blocker", "x"));
  char path[2 * kPathBytes + 1] = "blocker\\inner\\f.txt";
  char target[kPathBytes];
  startMessageCapture();
  TargetOutcome outcome = buildMemberTarget(scratch.c_str(), cleanMemberPath(path), target);
  std::vector<ShownMessage> shown = stopMessageCapture();
  EXPECT_EQ(outcome, TargetOutcome::failed);
  EXPECT_EQ(readRunStatus(), kRunFailed);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, kCaption);
  EXPECT_EQ(shown[0].text, englishString(kStrCannotCreateFolder));
}

}  // namespace
