// A member whose last buffered bytes fail to reach the disk at close (a full disk, here a
// file size limit) is short: it must never replace the user's file, nor stay as new.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <vector>

#include "extract/lha_writer_util.h"
#include "extract/run_state.h"
#include "extract/scratch_util.h"
#include "extract/worker.h"
#include "lha/header.h"
#include "lha/stream.h"
#include "startup/settings.h"
#include "sys/fs.h"

namespace {

TEST(ShortClose, LeavesTheExistingFileOrNoFile) {
  // smaller than any stdio buffer: nothing is written before the close
  const std::string data(3000, 'q');
  for (bool replacing : {false, true}) {
    SCOPED_TRACE(replacing ? "over an existing file" : "new file");
    std::string scratch = makeScratchFolder();
    ASSERT_FALSE(scratch.empty());
    std::string dest = scratch + "dest\\";
    ASSERT_TRUE(makeFolder(dest));
    LhaMember m;
    m.level = 2;
    m.name = "big.bin";
    m.data = data;
    ASSERT_TRUE(writeFileText(scratch + "a.lzh", lhaArchiveBytes({m})));
    if (replacing) {
      ASSERT_TRUE(writeFileText(dest + "big.bin", "the user's file"));
    }
    resetSfxSettings();
    sfxSettings.noConfirm = 1;
    std::strcpy(sfxSettings.destinationPath, dest.c_str());
    runStatus = kRunGoing;
    buildCrc16Table();
    ASSERT_TRUE(openArchiveStream((scratch + "a.lzh").c_str()));
    std::vector<uint8_t> buffer(kHeaderBufferSize);
    extraction = ExtractionState{};
    extraction.headerBuffer = buffer.data();

    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1000;
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    extractionWorker();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);
    closeArchiveStream();

    EXPECT_EQ(readRunStatus(), kRunFailed);
    std::string text;
    if (replacing) {
      ASSERT_TRUE(readFileText(dest + "big.bin", &text));
      EXPECT_EQ(text, "the user's file");
    } else {
      EXPECT_FALSE(exists(dest + "big.bin"));
    }
    EXPECT_EQ(snapshotTree(dest).size(), replacing ? 1u : 0u) << "no temporary file stays";
    removeTree(scratch);
    runStatus = kRunGoing;
  }
}

}  // namespace
