// Builds small PE images (headers and section table only, plus raw section bytes) and
// scratch folders for the start-up tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct TestSection {
  std::string name;        // up to 8 bytes
  uint32_t rawPointer;
  uint32_t rawSize;
};

// DOS header with e_lfanew = ntOffset, "PE\0\0", a file header announcing `announced`
// sections (the count stored, which may differ from sections.size()), and the table.
// The result is padded with zeros to `fileSize` when that is larger.
std::vector<uint8_t> buildImage(const std::vector<TestSection>& sections, uint16_t announced,
                                uint32_t ntOffset = 0x80, size_t fileSize = 0);

// A folder of its own below the system's temporary folder, removed at destruction.
struct ScratchFolder {
  ScratchFolder();
  ~ScratchFolder();
  std::string native;      // for the test's own file operations
  std::string windowsForm; // the same folder as a path text for the code under test
  std::string file(const std::string& relative, const std::vector<uint8_t>& bytes = {}) const;
};

// Path text of a native path: itself on Windows, "Z:" + backslashes on POSIX.
std::string toPathText(const std::string& native);
