// A folder's entry comes before its contents; its stamp must survive the files made in it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "extract/lha_writer_util.h"
#include "extract/scratch_util.h"
#include "extract/worker.h"
#include "lha/header.h"
#include "lha/stream.h"
#include "startup/settings.h"

namespace {

TEST(FolderStamps, SetAfterTheFilesInsideThem) {
  std::string scratch = makeScratchFolder();
  ASSERT_FALSE(scratch.empty());
  LhaMember folder, inner;
  folder.level = inner.level = 2;
  folder.name = "docs\\";
  folder.method = "-lhd-";
  folder.timeStamp = 1231062670;
  inner.name = "docs\\guide.txt";
  inner.data = "guide";
  inner.timeStamp = 1300000000;
  ASSERT_TRUE(writeFileText(scratch + "a.lzh", lhaArchiveBytes({folder, inner})));
  resetSfxSettings();
  std::strcpy(sfxSettings.destinationPath, scratch.c_str());
  buildCrc16Table();
  ASSERT_TRUE(openArchiveStream((scratch + "a.lzh").c_str()));
  std::vector<uint8_t> buffer(kHeaderBufferSize);
  extraction = ExtractionState{};
  extraction.headerBuffer = buffer.data();
  extractionWorker();
  closeArchiveStream();
  std::string native = scratch.substr(2);
  for (char& c : native)
    if (c == '\\') c = '/';
  struct stat st;
  ASSERT_EQ(stat((native + "docs").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1231062670);
  ASSERT_EQ(stat((native + "docs/guide.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1300000000);
  removeTree(scratch);
}

}  // namespace
