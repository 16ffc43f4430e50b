// Where the payload begins behind the stub image, the configuration block that opens it,
// and the opening sequence that merges the block into sfxSettings.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

// The 512-byte configuration block at payloadOffset, byte for byte (little-endian).
struct SfxConfig {
  char magic[6];               // "TORVEX", case-sensitive
  char variant;                // '6': needs a 64-bit system; anything else: ordinary
  char terminator;
  char destinationPath[260];
  char setupCommand[128];
  uint32_t noConfirm;
  uint32_t openFolderAfter;
  uint32_t deleteAfterSetup;
  uint32_t skipDestinationDialog;
  uint32_t archiveCrc32;
  char promptTitle[32];
  char promptText[64];
};
static_assert(sizeof(SfxConfig) == 512);
static_assert(offsetof(SfxConfig, destinationPath) == 8);
static_assert(offsetof(SfxConfig, setupCommand) == 268);
static_assert(offsetof(SfxConfig, noConfirm) == 396);
static_assert(offsetof(SfxConfig, archiveCrc32) == 412);
static_assert(offsetof(SfxConfig, promptTitle) == 416);
static_assert(offsetof(SfxConfig, promptText) == 448);

constexpr uint32_t kConfigBytes = 512;
constexpr char kConfigMagic[6] = {'T', 'O', 'R', 'V', 'E', 'X'};
// findPayloadOffset's answer for headers that do not describe a usable section table;
// no file is that large, so the caller sees "no payload".
constexpr uint32_t kNoPayload = 0xFFFFFFFF;
// The stub's headers always lie in the first page of the image.
constexpr size_t kHeaderBytes = 4096;

// End of the raw data of the image's last section, read from the image's headers.
// Never reads outside `image`, whatever the headers hold.
uint32_t findPayloadOffset(std::span<const uint8_t> image);
// The running program's own image (its module handle points at the DOS header).
uint32_t findPayloadOffset(const void* imageBase);

// The range the archive CRC-32 covers: from behind the block to the end of the file, or,
// in a signed package, to where its certificate table begins. A signing tool appends the
// table and names it in the security directory; it counts only when it lies behind the
// block and reaches the end of the file, so an unsigned package is checked as ever.
struct CheckedRange {
  uint32_t begin;
  uint32_t end;
  bool signedPackage;
};
CheckedRange archiveCheckRange(std::span<const uint8_t> headers, uint32_t payloadOffset, uint64_t fileLength);

// Where the archive lies in the open archiveStream. A package (a Windows image with bytes
// behind it) holds it behind its image, up to its certificate table when signed; any
// other file is an archive from its first byte to its end. payloadOffset: the stub's own,
// or kNoPayload to take it from the file's headers when the file is a package.
struct ArchiveBounds {
  uint32_t scanFrom;
  int64_t end;
};
ArchiveBounds locateArchive(uint32_t payloadOffset);

// True when all 512 bytes are present and the magic matches.
bool isValidConfig(std::span<const uint8_t> block);

// A fixed-width text field of the block as UTF-8 in `out` (3 × width bytes). A field that
// begins with the UTF-8 mark EF BB BF is UTF-8 (zaroza pack writes a text that is not
// ASCII so); any other is in the system's ANSI code page. A field without terminator
// keeps width - 1 bytes, as it always did, less a character that would be cut in two. A
// text not valid in its code page comes out empty: a setup command, for one, is never run
// in a form it was not written in.
void copyConfigText(char* out, const char* field, size_t width);
// The UTF-8 mark that opens a field written in UTF-8.
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

// What the run driver keeps from the opening sequence.
struct StartupState {
  const void* instance;       // the program's own image
  int32_t fileSize;
  uint32_t payloadOffset;
  bool hasBlock;              // a valid configuration block: the archive begins behind it
  bool createdTempFolder;
};
extern StartupState startupState;

// noPayload: a bare stub, which ends silently; stop: the block ended the run (its message
// has been shown).
enum class OpenOutcome { opened, cannotOpen, noPayload, stop };

// Merges a valid block into sfxSettings (the block replaces every switch value).
// Returns false when the run must stop: a 64-bit package on a system without WOW64
// (string 12 has then been shown).
bool mergeSfxConfig(const SfxConfig& block, const char* programPath);

// Opens the program's own file as archiveStream, locates the payload and merges a valid
// block. archivePath (260 bytes) receives the program's full path.
OpenOutcome openOwnPayload(char* archivePath);
