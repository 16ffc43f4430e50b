// A symbolic link inside a listed folder leads outside the destination: the clean-up
// must not walk through it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "extract/scratch_util.h"
#include "post/cleanup.h"

namespace {

std::string nativeOf(std::string text) {
  text = text.substr(2);
  for (char& c : text)
    if (c == '\\') c = '/';
  return text;
}

TEST(CleanUpLinks, LinksToOutsideFoldersAreNotFollowed) {
  std::string scratch = makeScratchFolder();
  ASSERT_FALSE(scratch.empty());
  std::string destination = scratch + "dest\\";
  ASSERT_TRUE(makeFolder(destination));
  ASSERT_TRUE(makeFolder(destination + "a"));
  ASSERT_TRUE(makeFolder(scratch + "outside"));
  ASSERT_TRUE(makeFolder(scratch + "outside\\empty"));
  ASSERT_EQ(symlink(nativeOf(scratch + "outside").c_str(), nativeOf(destination + "a\\link").c_str()), 0);
  ASSERT_TRUE(writeFileText(destination + "a\\x.txt", "x"));
  freeExtractedFileList();
  appendExtractedFile((destination + "a\\x.txt").c_str());
  appendExtractedFile("");
  cleanUpExtractedFiles(destination.c_str(), false);
  freeExtractedFileList();
  EXPECT_FALSE(exists(destination + "a\\x.txt"));
  EXPECT_TRUE(exists(scratch + "outside\\empty"));
  unlink(nativeOf(destination + "a\\link").c_str());
  removeTree(scratch);
}

}  // namespace
