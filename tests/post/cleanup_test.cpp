// The extracted-file list and the clean-up, on real folders below a scratch folder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "extract/scratch_util.h"
#include "post/cleanup.h"
#include "sys/fs.h"
#include "sys/text.h"

namespace {

class CleanUp : public ::testing::Test {
 protected:
  void SetUp() override {
    sys::setCodePage(1252);
    freeExtractedFileList();
    scratch = makeScratchFolder();
    ASSERT_FALSE(scratch.empty());
    destination = scratch + "dest\\";
    ASSERT_TRUE(makeFolder(destination));
  }
  void TearDown() override {
    freeExtractedFileList();
    removeTree(scratch);
  }

  // Writes each file below the destination (making its folders) and records it.
  void extract(const std::vector<std::string>& files) {
    for (const std::string& f : files) {
      std::string path = destination + f;
      for (size_t cut = path.find('\\', destination.size()); cut != std::string::npos;
           cut = path.find('\\', cut + 1))
        makeFolder(path.substr(0, cut));
      ASSERT_TRUE(writeFileText(path, f)) << path;
      appendExtractedFile(path.c_str());
    }
  }

  void cleanUp(bool createdTempFolder) {
    appendExtractedFile("");
    cleanUpExtractedFiles(destination.c_str(), createdTempFolder);
  }

  bool inDest(const std::string& relative) { return exists(destination + relative); }

  bool caseInsensitiveFileSystem() {
    makeFolder(scratch + "Probe");
    bool same = exists(scratch + "PROBE");
    removeTree(scratch + "Probe");
    return same;
  }

  std::string scratch, destination;
};

TEST_F(CleanUp, ListLayoutGrowsByOneEntryPerAppend) {
  EXPECT_EQ(extractedFileList.entries, nullptr);
  EXPECT_EQ(extractedFileList.byteSize, 0);
  appendExtractedFile("C:\\d\\a");
  EXPECT_EQ(extractedFileList.byteSize, 7);
  appendExtractedFile("C:\\d\\bc");
  appendExtractedFile("");
  ASSERT_EQ(extractedFileList.byteSize, 7 + 8 + 1);
  EXPECT_EQ(std::memcmp(extractedFileList.entries, "C:\\d\\a\0C:\\d\\bc\0\0", 16), 0);
  freeExtractedFileList();
  EXPECT_EQ(extractedFileList.entries, nullptr);
  EXPECT_EQ(extractedFileList.blockHandle, nullptr);
  EXPECT_EQ(extractedFileList.byteSize, 0);
  freeExtractedFileList();  // a second release is harmless
}

TEST_F(CleanUp, FilesOnlyAtTheTopRemoveThePrivateFolder) {
  extract({"one.txt", "two.txt"});
  cleanUp(true);
  EXPECT_FALSE(inDest("one.txt"));
  EXPECT_FALSE(inDest("two.txt"));
  EXPECT_FALSE(exists(destination));
}

TEST_F(CleanUp, ADestinationThatIsNotPrivateStays) {
  extract({"one.txt", "a\\x.txt"});
  cleanUp(false);
  EXPECT_FALSE(inDest("one.txt"));
  EXPECT_FALSE(inDest("a"));
  EXPECT_TRUE(exists(destination));
}

TEST_F(CleanUp, NestedFoldersGoInListOrder) {
  extract({"a\\x.txt", "a\\b\\y.txt"});
  cleanUp(true);
  EXPECT_FALSE(inDest("a\\b"));
  EXPECT_FALSE(inDest("a"));
  EXPECT_FALSE(exists(destination));
}

TEST_F(CleanUp, FilesOnlyBelowABLeaveA) {
  extract({"a\\b\\y.txt", "a\\b\\z.txt"});
  cleanUp(true);
  EXPECT_FALSE(inDest("a\\b\\y.txt"));
  EXPECT_FALSE(inDest("a\\b"));
  EXPECT_TRUE(inDest("a"));         // never listed, so never visited
  EXPECT_TRUE(exists(destination));  // not empty, so the private folder stays
}

TEST_F(CleanUp, FolderNamesCompareWithoutCase) {
  if (caseInsensitiveFileSystem()) {
    extract({"Sub\\x.txt", "SUB\\y.txt"});
    cleanUp(false);
    EXPECT_FALSE(inDest("Sub\\x.txt"));
    EXPECT_FALSE(inDest("SUB\\y.txt"));
    EXPECT_FALSE(inDest("Sub"));
  } else {
    // Two real folders here: SUB counts as the entry just taken (Sub), so it is never
    // visited and stays, empty, while both files are gone.
    extract({"Sub\\x.txt", "SUB\\y.txt"});
    cleanUp(false);
    EXPECT_FALSE(inDest("SUB\\y.txt"));
    EXPECT_FALSE(inDest("Sub"));
    EXPECT_TRUE(inDest("SUB"));
  }
}

TEST_F(CleanUp, OnlyThePreviousFolderIsCompared) {
  if (caseInsensitiveFileSystem()) {
    extract({"a\\1.txt", "b\\2.txt", "a\\3.txt"});
    cleanUp(false);
    EXPECT_FALSE(inDest("a"));
    EXPECT_FALSE(inDest("b"));
  } else {
    // a, b, A: A differs from the folder taken last (b), so it is taken again and removed,
    // although it equals the first entry without case.
    extract({"a\\1.txt", "b\\2.txt", "A\\3.txt"});
    cleanUp(false);
    EXPECT_FALSE(inDest("a"));
    EXPECT_FALSE(inDest("b"));
    EXPECT_FALSE(inDest("A"));
  }
}

TEST_F(CleanUp, AForeignFileKeepsItsFolders) {
  extract({"a\\x.txt", "a\\sub\\y.txt"});
  ASSERT_TRUE(writeFileText(destination + "a\\sub\\installer.log", "foreign"));
  ASSERT_TRUE(makeFolder(destination + "a\\empty"));
  ASSERT_TRUE(makeFolder(destination + "a\\sub\\deeper"));
  cleanUp(true);
  EXPECT_FALSE(inDest("a\\x.txt"));
  EXPECT_FALSE(inDest("a\\sub\\y.txt"));
  EXPECT_TRUE(inDest("a\\sub\\installer.log"));
  EXPECT_TRUE(inDest("a\\sub"));
  EXPECT_TRUE(inDest("a"));
  EXPECT_FALSE(inDest("a\\empty"));
  EXPECT_FALSE(inDest("a\\sub\\deeper"));
  EXPECT_TRUE(exists(destination));
}

TEST_F(CleanUp, ReadOnlyFilesAndFoldersAreRemoved) {
  extract({"a\\ro.txt", "top.txt"});
  ASSERT_TRUE(makeFolder(destination + "a\\rofolder"));
  ASSERT_TRUE(sys::setFileAttributes((destination + "a\\ro.txt").c_str(), sys::kAttrReadOnly));
  ASSERT_TRUE(sys::setFileAttributes((destination + "top.txt").c_str(), sys::kAttrReadOnly));
  ASSERT_TRUE(sys::setFileAttributes((destination + "a\\rofolder").c_str(), sys::kAttrReadOnly));
  ASSERT_TRUE(sys::getFileAttributes((destination + "a\\ro.txt").c_str()) & sys::kAttrReadOnly);
  // Read-only really protects here, as on Windows.
  EXPECT_FALSE(sys::deleteFile((destination + "top.txt").c_str()));
  cleanUp(true);
  EXPECT_FALSE(inDest("a\\ro.txt"));
  EXPECT_FALSE(inDest("top.txt"));
  EXPECT_FALSE(inDest("a\\rofolder"));
  EXPECT_FALSE(inDest("a"));
  EXPECT_FALSE(exists(destination));
}

TEST_F(CleanUp, AnEmptyFolderOutsideTheListedOnesStays) {
  extract({"a\\x.txt"});
  ASSERT_TRUE(makeFolder(destination + "lonely"));  // a folder member that held no file
  cleanUp(true);
  EXPECT_FALSE(inDest("a"));
  EXPECT_TRUE(inDest("lonely"));
  EXPECT_TRUE(exists(destination));
}

TEST_F(CleanUp, NoFileWrittenRemovesNothing) {
  ASSERT_TRUE(makeFolder(destination + "folderOnly"));  // a folder member, no file
  cleanUp(true);
  EXPECT_EQ(extractedFileList.byteSize, 1);  // the end mark alone
  EXPECT_TRUE(inDest("folderOnly"));
  EXPECT_TRUE(exists(destination));
}

TEST_F(CleanUp, EntriesOutsideTheDestinationAreLeftAlone) {
  ASSERT_TRUE(writeFileText(scratch + "outside.txt", "x"));
  appendExtractedFile((scratch + "outside.txt").c_str());
  extract({"in.txt"});
  cleanUp(false);
  EXPECT_TRUE(exists(scratch + "outside.txt"));
  EXPECT_FALSE(inDest("in.txt"));
}

TEST_F(CleanUp, AMissingEndMarkStopsAtTheBlockEnd) {
  extract({"a\\x.txt", "b\\y.txt"});
  cleanUpExtractedFiles(destination.c_str(), false);  // no end mark appended
  EXPECT_FALSE(inDest("a"));
  EXPECT_FALSE(inDest("b"));
}

TEST_F(CleanUp, MoreFoldersThanAFixedListWouldHold) {
  // 70,000 folder entries (a, then p and q alternating, which never exist), then z: a
  // fixed list of 65,536 would never reach z.
  extract({"a\\first.txt"});
  for (int i = 0; i < 70000; ++i)
    appendExtractedFile((destination + (i % 2 ? "p\\f" : "q\\f")).c_str());
  extract({"z\\last.txt"});
  ASSERT_TRUE(makeFolder(destination + "z\\inner"));
  cleanUp(false);
  EXPECT_FALSE(inDest("a"));
  EXPECT_FALSE(inDest("z\\last.txt"));
  EXPECT_FALSE(inDest("z"));
}

class RemoveEmptyFolders : public CleanUp {};

TEST_F(RemoveEmptyFolders, KeepFolderIsNeverRemovedWhateverItsCase) {
  ASSERT_TRUE(makeFolder(destination + "e1"));
  ASSERT_TRUE(makeFolder(destination + "e1\\e2"));
  ASSERT_TRUE(makeFolder(destination + "full"));
  ASSERT_TRUE(writeFileText(destination + "full\\f", "x"));
  std::string upper = destination;
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  ASSERT_NE(upper, destination);
  EXPECT_EQ(removeEmptyFolders(destination.c_str(), upper.c_str()), 1);
  EXPECT_TRUE(exists(destination));
  EXPECT_FALSE(inDest("e1"));
  EXPECT_TRUE(inDest("full\\f"));
  EXPECT_EQ(removeEmptyFolders(destination.c_str(), destination.c_str()), 1);
  EXPECT_TRUE(exists(destination));
}

TEST_F(RemoveEmptyFolders, SkipsDotEndingAndMissingFolders) {
  ASSERT_TRUE(makeFolder(destination + "e"));
  EXPECT_EQ(removeEmptyFolders((destination + "e\\.").c_str(), scratch.c_str()), 0);
  EXPECT_TRUE(inDest("e"));
  EXPECT_EQ(removeEmptyFolders((destination + "gone").c_str(), scratch.c_str()), 0);
  EXPECT_EQ(removeEmptyFolders((destination + "e").c_str(), scratch.c_str()), 1);
  EXPECT_FALSE(inDest("e"));
}

}  // namespace
