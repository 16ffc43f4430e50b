#include "tools/package.h"

#include <gtest/gtest.h>

#include <cstring>

#include "startup/image_util.h"
#include "tools/tool_util.h"

namespace {

std::vector<uint8_t> stubImage() {
  return buildImage({{".text", 0x400, 0x200}, {".rsrc", 0x600, 0x200}}, 2, 0x80, 0x800);
}

std::vector<uint8_t> someArchive() {
  auto bytes = readWholeFile(ZAROZA_CORPUS_DIR "/lha_unix114i/h2_lh5.lzh");
  return bytes ? *bytes : std::vector<uint8_t>{};
}

TEST(Package, AssembledPackageReadsBack) {
  std::vector<uint8_t> archive = someArchive();
  ASSERT_FALSE(archive.empty());
  PackageSettings s;
  s.destinationPath = "%temp%";
  s.setupCommand = "setup.exe";
  s.noConfirm = 1;
  s.openFolderAfter = 0;
  s.deleteAfterSetup = 1;
  s.skipDestinationDialog = 1;
  s.promptTitle = "Title";
  s.promptText = "Install now?";
  std::string why;
  auto block = buildConfig(s, crc32Of(archive.data(), archive.size()), &why);
  ASSERT_TRUE(block) << why;
  auto package = assemblePackage(stubImage(), *block, archive, &why);
  ASSERT_TRUE(package) << why;

  PackageInfo info = inspectPackage(*package);
  EXPECT_TRUE(info.isExecutable);
  EXPECT_EQ(info.payloadOffset, 0x800u);
  EXPECT_TRUE(info.blockValid);
  EXPECT_EQ(info.archiveOffset, 0x800u + 512);
  EXPECT_EQ(info.archiveBytes, archive.size());
  EXPECT_EQ(info.archiveCrc32, info.config.archiveCrc32);
  EXPECT_STREQ(info.config.destinationPath, "%temp%");
  EXPECT_STREQ(info.config.setupCommand, "setup.exe");
  EXPECT_EQ(std::string(info.config.magic, 6), "TORVEX");
  EXPECT_EQ(info.config.variant, '3');
  EXPECT_EQ(info.config.deleteAfterSetup, 1u);
  EXPECT_EQ(info.config.openFolderAfter, 0u);

  // one changed archive byte: the stored CRC-32 no longer matches
  (*package)[package->size() - 10] ^= 0x01;
  EXPECT_NE(inspectPackage(*package).archiveCrc32, info.config.archiveCrc32);
}

TEST(Package, RefusesWhatTheStubCouldNotRead) {
  std::string why;
  PackageSettings s;
  s.setupCommand = std::string(128, 'x');  // no room for the terminator
  EXPECT_FALSE(buildConfig(s, 0, &why));
  EXPECT_NE(why.find("setup command"), std::string::npos);

  SfxConfig block{};
  std::vector<uint8_t> packedStub = stubImage();
  packedStub.push_back(0);  // something behind the last section: the payload would not be found
  EXPECT_FALSE(assemblePackage(packedStub, block, {}, &why));
  EXPECT_FALSE(assemblePackage(std::vector<uint8_t>(100, 0), block, {}, &why));
}

TEST(Package, FilesWithoutPayloadOrBlock) {
  EXPECT_FALSE(inspectPackage(std::vector<uint8_t>(3000, 0)).isExecutable);
  PackageInfo bare = inspectPackage(stubImage());
  EXPECT_TRUE(bare.isExecutable);
  EXPECT_FALSE(bare.hasPayload);
  std::vector<uint8_t> shortBlock = stubImage();
  shortBlock.resize(shortBlock.size() + 100, 'T');
  PackageInfo cut = inspectPackage(shortBlock);
  EXPECT_TRUE(cut.hasPayload);
  EXPECT_FALSE(cut.hasFullBlock);
  EXPECT_FALSE(cut.blockValid);
}

TEST(ToolText, CodePagesRoundTripAndGuess) {
  const std::string japanese = "\xe5\xb1\x95\xe9\x96\x8b";  // 展開 in UTF-8
  auto sjis = utf8ToCodePage(japanese, 932);
  ASSERT_TRUE(sjis);
  EXPECT_EQ(*sjis, "\x93\x57\x8a\x4a");
  EXPECT_EQ(codePageToUtf8(*sjis, 932), japanese);
  EXPECT_EQ(guessCodePage({*sjis, "setup.exe"}), 932u);
  EXPECT_EQ(guessCodePage({"plain"}), 1252u);
  EXPECT_EQ(guessCodePage({"caf\xe9"}), 1252u);  // a lone 0xE9 is no Shift-JIS
  EXPECT_FALSE(utf8ToCodePage(japanese, 1252));
}

}  // namespace
