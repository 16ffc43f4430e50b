// Writing plain LHA archives of files and folders on the host.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "lha/decode.h"

struct ArchiveOptions {
  uint32_t method = kMethodLh5;   // kMethodLh5, kMethodLh6 or kMethodLh7 (lha/decode.h)
  int headerLevel = 2;            // 0, 1 or 2
  bool best = false;
  bool progress = true;           // a progress bar on stderr when it is a terminal
  unsigned threads = 0;           // files packed side by side; 0: one per processor, up to 8
};
// Sets method, header level and packing threads from the command-line texts ("" keeps
// the defaults: -lh5-, level 2, a thread per processor). False with the usage complaint
// in *why.
bool setArchiveShape(const std::string& method, const std::string& level, const std::string& threads,
                     ArchiveOptions& options, std::string* why);
// Writes an LHA archive of `paths` (files and folders; a folder stands for what it holds:
// its members are stored by their paths relative to it, with -lhd- entries for the
// folders inside it, so `zaroza pack ./dist` puts dist/setup.exe at the top) into `out`.
// False with a one-line reason in *why. A file that is `leaveOut` (the package being
// made, say) is not taken in.
bool writeArchiveTo(const std::vector<std::string>& paths, const ArchiveOptions& options, FILE* out, std::string* why,
                    const std::string& leaveOut = "");
// The same into the file `output`, through a temporary name in its folder that is renamed
// at the end; nothing is left behind on failure.
bool writeArchive(const std::vector<std::string>& paths, const ArchiveOptions& options, const std::string& output, std::string* why);

// What the archive holds, member by member, in the order written: a file argument by its
// own name, a folder's contents by their paths relative to it. Names that are not ASCII
// are stored in code page 932 where it holds them, else in UTF-8, and the code page is
// named in the member's header (levels 1 and 2); stamps and attributes come from the files.
struct PlannedMember {
  std::string source;                 // where the bytes are read from
  std::vector<std::string> folders;   // stored folder names above the member (or of it)
  std::string name;                   // stored file name; empty for a folder entry
  uint32_t codePage = 0;              // of the stored names: 0 (ASCII), 932 or 65001
  std::string shown;                  // the stored path in UTF-8, '/' between names
  bool folder = false;
  uint64_t size = 0;
  int64_t modified = 0;               // seconds since 1970 (UTC)
  bool readOnly = false;
  uint64_t device = 0, inode = 0;
};
// The members of an archive of `paths`, sorted by stored path; false with a reason for
// anything that cannot be stored as it is (unreadable, a name Windows or the header level
// cannot hold, two members with one stored name, a file of 4 GiB or more).
bool planArchive(const std::vector<std::string>& paths, int headerLevel, std::vector<PlannedMember>& members,
                 std::string* why);

// Stamps as stored: level 2 Unix time, levels 0 and 1 local MS-DOS date-time (clamped
// to what each can hold). SOURCE_DATE_EPOCH, when set, caps every stamp.
uint32_t storedStamp(int64_t unixTime, int headerLevel);
