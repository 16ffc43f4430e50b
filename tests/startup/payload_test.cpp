#include "startup/payload.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image_util.h"
#include "lha/stream.h"
#include "startup/crc32.h"
#include "startup/settings.h"
#include "sys/process.h"
#include "sys/text.h"
#include "sys/ui.h"

namespace {

TEST(FindPayloadOffset, WalksToTheLastDotNamedSection) {
  struct Case {
    const char* what;
    std::vector<TestSection> sections;
    uint16_t announced;
    uint32_t expected;
    size_t fileSize = 0;
  } cases[] = {
      {"three sections", {{".text", 0x400, 0x1000}, {".data", 0x1400, 0x200}, {".rsrc", 0x1600, 0x800}}, 3, 0x1E00},
      {"bss with no raw data in the middle",
       {{".text", 0x400, 0x200}, {".bss", 0, 0}, {".rsrc", 0x600, 0x400}}, 3, 0xA00},
      // one section: the walk may not step past the only header
      {"single section", {{".text", 0x400, 0x200}}, 1, 0x600},
      // names without a dot never count; the walk ends at the last header
      {"names without a dot", {{".text", 0x400, 0x200}, {"CODE", 0x600, 0x200}, {"DATA", 0x800, 0x100}}, 3, 0x900},
      // more sections announced than the table holds: the bytes at hand bound the walk
      {"count larger than the table", {{".text", 0x400, 0x200}, {".rsrc", 0x600, 0x200}}, 60000, 0x800},
      // ... and with zero bytes behind it: the walk ends at the last header that fits
      {"count larger, zero padding", {{".text", 0x400, 0x200}, {".rsrc", 0x600, 0x200}}, 60000, 0, 4096},
      {"no sections", {}, 0, kNoPayload},
      {"raw data beyond 4 GiB", {{".text", 0x400, 0x200}, {".rsrc", 0xFFFFFF00, 0x200}}, 2, kNoPayload},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> image = buildImage(c.sections, c.announced, 0x80, c.fileSize);
    EXPECT_EQ(findPayloadOffset(std::span<const uint8_t>(image)), c.expected) << c.what;
  }
}

TEST(FindPayloadOffset, DamagedHeadersStayInBounds) {
  std::vector<uint8_t> image = buildImage({{".text", 0x400, 0x200}}, 1);
  // e_lfanew pointing behind the bytes at hand, and truncated images of every length
  std::vector<uint8_t> farAway = image;
  farAway[0x3C] = 0xF0;
  farAway[0x3D] = 0xFF;
  EXPECT_EQ(findPayloadOffset(std::span<const uint8_t>(farAway)), kNoPayload);
  ASSERT_EQ(findPayloadOffset(std::span<const uint8_t>(image)), 0x600u);
  for (size_t n = 0; n < image.size(); n++) {
    std::vector<uint8_t> cut(image.begin(), image.begin() + n);
    uint32_t offset = findPayloadOffset(std::span<const uint8_t>(cut));
    // once the section header is whole, the cut no longer matters
    EXPECT_EQ(offset, n < 0x80 + 248 + 40 ? kNoPayload : 0x600u) << n;
  }
}

TEST(FindPayloadOffset, BuiltStubEndsWithItsLastSection) {
  std::ifstream in(ZAROZA_SOURCE_DIR "/build/win32/zaroza-sfx.exe", std::ios::binary);
  if (!in) GTEST_SKIP() << "the stub is built by the cross tree";
  std::vector<uint8_t> stub((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(findPayloadOffset(std::span<const uint8_t>(stub).first(std::min(stub.size(), kHeaderBytes))), stub.size());
}

// Where the archive CRC-32 stops: at a certificate table behind the block that reaches
// the end of the file, else at the end of the file.
TEST(ArchiveCheckRange, SignedPackagesStopAtTheirCertificateTable) {
  const struct { const char* what; uint32_t table, size; uint64_t length; uint32_t end; bool isSigned; } cases[] = {
      {"unsigned", 0, 0, 10000, 10000, false},
      {"signed", 9000, 1000, 10000, 9000, true},
      {"table short of the end", 8000, 1000, 10000, 10000, false},
      {"table in front of the archive", 0x900, 10000 - 0x900, 10000, 10000, false},
      {"table right behind the block", 0xA00, 10000 - 0xA00, 10000, 0xA00, true},
      {"size wraps past the end", 9000, 0xFFFFFFFF, 10000, 10000, false},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> headers = buildImage({{".text", 0x400, 0x200}, {".rsrc", 0x600, 0x200}}, 2, 0x80, 0x800);
    size_t directory = 0x80 + 24 + 96 + 32;
    for (int k = 0; k < 4; ++k) {
      headers[directory + k] = static_cast<uint8_t>(c.table >> (8 * k));
      headers[directory + 4 + k] = static_cast<uint8_t>(c.size >> (8 * k));
    }
    CheckedRange r = archiveCheckRange(headers, 0x800, c.length);
    EXPECT_EQ(r.begin, 0x800u + 512) << c.what;
    EXPECT_EQ(r.end, c.end) << c.what;
    EXPECT_EQ(r.signedPackage, c.isSigned) << c.what;
  }
}

TEST(Crc32, PublishedCheckValue) {
  buildCrc32Table();
  crc32Update(reinterpret_cast<const uint8_t*>("123456789"), 9);
  EXPECT_EQ(crc32Value(), 0xCBF43926u);
  buildCrc32Table();
  crc32Update(nullptr, 0);
  EXPECT_EQ(crc32Value(), 0u);
  // every length and alignment around the eight-byte steps agrees with one byte at a time
  uint8_t bytes[64];
  for (int i = 0; i < 64; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
  for (uint32_t start = 0; start < 8; ++start)
    for (uint32_t n = 0; start + n <= 64; ++n) {
      buildCrc32Table();
      uint32_t r = 0xFFFFFFFFu;
      for (uint32_t k = 0; k < n; ++k) r = crc32State.table[(r ^ bytes[start + k]) & 0xFF] ^ (r >> 8);
      crc32Update(bytes + start, n);
      ASSERT_EQ(crc32Value(), r ^ 0xFFFFFFFFu) << start << "+" << n;
    }
}

// A package signed after it was assembled by hand: the CRC-32 taken before the signing
// tool padded it matches at the place where only zero bytes are left before the table.
TEST(Crc32, MatchesUpToTheZerosBeforeTheCertificateTable) {
  const std::vector<uint8_t> front = {'-', 'l', 'h', '5', '-', 1, 2, 3};
  // the archive's last bytes when the CRC was taken, and the last bytes before the table
  const struct { const char* what; std::vector<uint8_t> archiveEnd, fileEnd; uint32_t leftOut; bool match; } cases[] = {
      {"padded by zaroza pack: ends at the table", {7, 8}, {7, 8}, 0, true},
      {"five zero bytes of padding", {7, 8}, {7, 8, 0, 0, 0, 0, 0}, 5, true},
      {"an archive that ends in a zero byte itself", {7, 0}, {7, 0, 0, 0, 0, 0, 0}, 5, true},
      {"a non-zero byte behind the archive", {7, 8}, {7, 8, 0, 9, 0, 0, 0}, 0, false},
      {"damaged, then padded", {7, 8}, {7, 9, 0, 0, 0, 0, 0}, 0, false},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> original = front;
    original.insert(original.end(), c.archiveEnd.begin(), c.archiveEnd.end());
    buildCrc32Table();
    crc32Update(original.data(), static_cast<uint32_t>(original.size()));
    uint32_t expected = crc32Value();
    buildCrc32Table();
    crc32Update(front.data(), static_cast<uint32_t>(front.size()));
    uint32_t leftOut = 99;
    uint32_t crc = finishCrcBeforeTable(expected, c.fileEnd.data(), static_cast<uint32_t>(c.fileEnd.size()), &leftOut);
    EXPECT_EQ(crc == expected, c.match) << c.what;
    EXPECT_EQ(leftOut, c.leftOut) << c.what;
  }
}

struct Shown {
  std::string text, caption;
  unsigned flags;
};
std::vector<Shown> shown;
int recordMessage(sys::WindowHandle, const char* text, const char* caption, unsigned flags) {
  shown.push_back({text, caption, flags});
  return sys::kIdOk;
}

SfxConfig blankConfig() {
  SfxConfig c;
  std::memset(&c, 0, sizeof c);
  std::memcpy(c.magic, "TORVEX", 6);
  c.variant = '3';
  return c;
}

class Merge : public ::testing::Test {
 protected:
  void SetUp() override {
    shown.clear();
    sys::setMessageHook(recordMessage);
    sys::setWow64ForTests(0);
    resetSfxSettings();
  }
  void TearDown() override {
    sys::setMessageHook(nullptr);
    sys::setWow64ForTests(0);
    sys::setCodePage(1252);
  }
};

TEST_F(Merge, SixtyFourBitVariant) {
  struct Case {
    const char* what;
    char variant;
    const char* command;
    int wow64;
    bool goesOn;
    char wow64Mode;
    size_t messages;
  } cases[] = {
      {"no command: ordinary, no test", '6', "", 0, true, 0, 0},
      {"command on a 32-bit system", '6', "setup.exe", 0, false, 0, 1},
      {"command under WOW64", '6', "setup.exe", 1, true, '6', 0},
      {"other variant bytes are ordinary", '5', "setup.exe", 0, true, 0, 0},
  };
  for (const Case& c : cases) {
#ifdef _WIN32
    // the real WOW64 query answers here (0 in a 32-bit prefix)
    if (c.wow64 != 0) continue;
#endif
    SetUp();
    sys::setWow64ForTests(c.wow64);
    SfxConfig block = blankConfig();
    block.variant = c.variant;
    std::strcpy(block.setupCommand, c.command);
    block.deleteAfterSetup = 1;
    EXPECT_EQ(mergeSfxConfig(block, "Z:\\dl\\pkg.exe"), c.goesOn) << c.what;
    EXPECT_EQ(sfxSettings.wow64Mode, c.wow64Mode) << c.what;
    ASSERT_EQ(shown.size(), c.messages) << c.what;
    if (c.messages) {
      EXPECT_EQ(shown[0].text, "This auto-sfx-module cannot be run in Win32.");
      EXPECT_EQ(shown[0].caption, "ZAR-OZA");
      EXPECT_EQ(shown[0].flags, sys::kMbOk | sys::kMbIconError);
    } else {
      // without a command nothing is ever deleted
      EXPECT_EQ(sfxSettings.deleteAfterSetup, c.command[0] ? 1u : 0u) << c.what;
    }
  }
}

TEST_F(Merge, BlockReplacesEveryCommandLineValue) {
  sfxSettings.openFolderAfter = 0;  // /N
  sfxSettings.noConfirm = 1;        // /O
  sfxSettings.skipDestinationDialog = 1;
  std::strcpy(sfxSettings.setupCommand, "from-command-line.exe");
  SfxConfig block = blankConfig();
  block.openFolderAfter = 1;
  block.archiveCrc32 = 0x12345678;
  std::strcpy(block.promptTitle, "Title");
  std::strcpy(block.promptText, "Install?");
  ASSERT_TRUE(mergeSfxConfig(block, "Z:\\dl\\pkg.exe"));
  EXPECT_EQ(sfxSettings.openFolderAfter, 1u);
  EXPECT_EQ(sfxSettings.noConfirm, 0u);
  EXPECT_EQ(sfxSettings.skipDestinationDialog, 0u);
  EXPECT_STREQ(sfxSettings.setupCommand, "");
  EXPECT_EQ(sfxSettings.archiveCrc32, 0x12345678u);
  EXPECT_STREQ(sfxSettings.promptTitle, "Title");
  EXPECT_STREQ(sfxSettings.promptText, "Install?");
  EXPECT_STREQ(sfxSettings.destinationPath, "");  // empty block destination leaves it alone
}

TEST_F(Merge, UnterminatedTextsAreCutInsideTheirFields) {
  SfxConfig block = blankConfig();
  std::memset(block.destinationPath, 'd', sizeof block.destinationPath);
  std::memset(block.setupCommand, 'c', sizeof block.setupCommand);
  std::memset(block.promptTitle, 't', sizeof block.promptTitle);
  std::memset(block.promptText, 'p', sizeof block.promptText);
  ASSERT_TRUE(mergeSfxConfig(block, "Z:\\dl\\pkg.exe"));
  EXPECT_EQ(std::strlen(sfxSettings.setupCommand), sizeof block.setupCommand - 1);
  EXPECT_EQ(std::strlen(sfxSettings.promptTitle), sizeof block.promptTitle - 1);
  EXPECT_EQ(std::strlen(sfxSettings.promptText), sizeof block.promptText - 1);
  EXPECT_EQ(std::strlen(sfxSettings.destinationPath), sizeof block.destinationPath - 1);
}

// A field comes in as UTF-8: behind the UTF-8 mark as it is, else from the system's code
// page; a field's end never cuts a character in two, and a text not valid comes out empty.
TEST_F(Merge, FieldsComeInAsUtf8) {
  // system: the code page the row needs (0: any, the UTF-8 rows)
  const struct { unsigned system; std::string field; const char* text; } cases[] = {
      {932, std::string("a\x83\x5C" "b", 4), "a\u30BD"},  // "a", so (0x83 0x5C), "b"; no NUL
      {932, std::string("ab\x83\x5C", 4), "ab"},         // so would need the NUL's byte
      {932, std::string("ab\x83\0", 4), ""},             // a stray lead byte: not valid
      {1252, std::string("caf\xE9\0", 5), "caf\u00E9"},
      {0, std::string("\xEF\xBB\xBF" "caf\xC3\xA9x", 9), "caf\u00E9"},   // marked, filled: the last byte cut
      {0, std::string("\xEF\xBB\xBF" "\xED\x95\x9C\xED\x95", 8), "\uD55C"},  // 한 and half of 한
      {0, std::string("\xEF\xBB\xBF" "a\xFF\0", 6), ""},              // not UTF-8
  };
  for (const auto& c : cases) {
    if (c.system) sys::setCodePage(c.system);
    if (c.system && sys::activeCodePage() != c.system) continue;  // Windows keeps its own
    char out[3 * 16];
    copyConfigText(out, c.field.data(), c.field.size());
    EXPECT_STREQ(out, c.text) << c.system << " " << c.field;
  }
  sys::setCodePage(1252);
}

TEST_F(Merge, TempDestinationGetsAPrivateFolderOnlyWithDeletion) {
  SfxConfig block = blankConfig();
  std::strcpy(block.destinationPath, "%temp%");
  std::strcpy(block.setupCommand, "setup.exe");
  block.deleteAfterSetup = 1;
  ASSERT_TRUE(mergeSfxConfig(block, "Z:\\dl\\pkg.exe"));
  EXPECT_TRUE(startupState.createdTempFolder);
  std::string destination = sfxSettings.destinationPath;
  ASSERT_GE(destination.size(), 9u);
  EXPECT_EQ(destination.substr(destination.size() - 9), "\\~pkg.exe");

  // without a command the delete flag is cleared first, so no private folder
  SetUp();
  std::strcpy(block.setupCommand, "");
  ASSERT_TRUE(mergeSfxConfig(block, "Z:\\dl\\pkg.exe"));
  EXPECT_FALSE(startupState.createdTempFolder);
  EXPECT_EQ(std::string(sfxSettings.destinationPath).find('~'), std::string::npos);
}

// Packages on disk, opened the way the stub opens itself. The native build can point
// the "own file" anywhere; under Windows the end-to-end tests run the real stub instead.
class OpenOwnPayload : public Merge {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the program's own file is the test program here";
#endif
    Merge::SetUp();
  }
  std::string package(const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> bytes = buildImage({{".text", 0x400, 0x200}, {".rsrc", 0x600, 0x200}}, 2, 0x80, 0x800);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    std::string native = scratch.file("pkg.exe", bytes);
    sys::setModuleFileName(toPathText(native).c_str());
    return native;
  }
  static std::vector<uint8_t> blockBytes(const SfxConfig& c) {
    const auto* p = reinterpret_cast<const uint8_t*>(&c);
    return std::vector<uint8_t>(p, p + sizeof c);
  }
  void TearDown() override {
    closeArchiveStream();
    Merge::TearDown();
  }
  ScratchFolder scratch;
};

TEST_F(OpenOwnPayload, Outcomes) {
  char path[260];
  sys::setModuleFileName((scratch.windowsForm + "\\missing.exe").c_str());
  EXPECT_EQ(openOwnPayload(path), OpenOutcome::cannotOpen);

  package({});
  EXPECT_EQ(openOwnPayload(path), OpenOutcome::noPayload);
  EXPECT_FALSE(archiveStreamIsOpen());
  EXPECT_TRUE(shown.empty());

  SfxConfig block = blankConfig();
  std::strcpy(block.setupCommand, "setup.exe");
  block.openFolderAfter = 0;
  std::vector<uint8_t> payload = blockBytes(block);
  payload.push_back(0);
  package(payload);
  sfxSettings.openFolderAfter = 1;
  EXPECT_EQ(openOwnPayload(path), OpenOutcome::opened);
  EXPECT_EQ(sfxSettings.openFolderAfter, 0u);
  EXPECT_STREQ(sfxSettings.setupCommand, "setup.exe");
  EXPECT_EQ(archiveTell(), 0);
  EXPECT_EQ(startupState.payloadOffset, 0x800u);
  EXPECT_EQ(startupState.fileSize, 0x800 + 513);
  EXPECT_STREQ(path, toPathText(scratch.native + "/pkg.exe").c_str());
}

TEST_F(OpenOwnPayload, InvalidBlocksKeepTheCommandLine) {
  char path[260];
  SfxConfig lower = blankConfig();
  std::memcpy(lower.magic, "torvex", 6);
  lower.variant = '6';
  std::strcpy(lower.setupCommand, "setup.exe");
  std::vector<uint8_t> shortBlock = blockBytes(blankConfig());
  shortBlock.resize(300);
  for (const std::vector<uint8_t>& payload : {blockBytes(lower), shortBlock}) {
    resetSfxSettings();
    sfxSettings.openFolderAfter = 0;
    package(payload);
    EXPECT_EQ(openOwnPayload(path), OpenOutcome::opened);
    EXPECT_EQ(sfxSettings.openFolderAfter, 0u);
    EXPECT_STREQ(sfxSettings.setupCommand, "");
    EXPECT_TRUE(shown.empty());
    closeArchiveStream();
  }
}

TEST_F(OpenOwnPayload, SixtyFourBitPackageOnA32BitSystemStops) {
  char path[260];
  SfxConfig block = blankConfig();
  block.variant = '6';
  std::strcpy(block.setupCommand, "setup.exe");
  package(blockBytes(block));
  EXPECT_EQ(openOwnPayload(path), OpenOutcome::stop);
  EXPECT_FALSE(archiveStreamIsOpen());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "This auto-sfx-module cannot be run in Win32.");
}

}  // namespace
