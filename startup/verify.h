// The archive integrity check: the CRC-32 of the payload's archive part behind the
// configuration block, read from the program's own file while a small window shows it.
#pragma once
#include <cstdint>

// The computed CRC-32 when expectedCrc is 0 or equal to it; 0 after a mismatch (the
// "Warning" box has been shown) or when the own file cannot be opened (nothing shown).
uint32_t verifyArchiveCrc32(uint32_t expectedCrc);

// Bytes per step of the check's progress bar.
constexpr uint32_t kCrcProgressUnit = 102400;
