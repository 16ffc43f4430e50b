// The member loop: target path, overwrite decision, decoding, CRC-16 check, time stamp,
// attributes and the list of extracted files.
#include "extract/worker.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "extract/destination.h"
#include "extract/paths.h"
#include "extract/run_state.h"
#include "lha/decode.h"
#include "lha/header.h"
#include "lha/stream.h"
#include "post/cleanup.h"
#include "startup/settings.h"
#include "sys/fs.h"
#include "sys/text.h"
#include "sys/ui.h"
#include "ui/messages.h"

ExtractionState extraction;

namespace {

enum class Step { next, stop };
enum class Decision { write, skip, cancel };

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr size_t kOutputBufferBytes = 256 * 1024;

// Level-2 stamps are Unix time; every 32-bit value is a valid calendar time.
uint64_t unixToFileTime(uint32_t seconds) {
  return sys::kUnixEpochFileTime + uint64_t{seconds} * kTicksPerSecond;
}

void restoreTimeStamp(const char* target) {
  const MemberHeader& h = memberHeader;
  if (h.level == 2) {
    setFileTimes(target, unixToFileTime(h.timeStamp), false);
  } else {
    setFileTimesFromDos(target, static_cast<uint16_t>(h.timeStamp >> 16),
                        static_cast<uint16_t>(h.timeStamp & 0xFFFF), false);
  }
}

// Archivers store a folder's entry before its contents, and every file made in it would
// move the folder's time again: folder stamps are set once the last member is out.
struct FolderStamp {
  char path[kPathBytes];
  uint64_t fileTime;
};
struct FolderStamps {
  FolderStamp* entries;
  uint32_t count;
  uint32_t capacity;
};
FolderStamps folderStamps;

void rememberFolderStamp(const char* target) {
  const MemberHeader& h = memberHeader;
  uint64_t fileTime = unixToFileTime(h.timeStamp);
  if (h.level != 2 && !sys::dosToFileTime(static_cast<uint16_t>(h.timeStamp >> 16),
                                          static_cast<uint16_t>(h.timeStamp & 0xFFFF), &fileTime))
    return;
  FolderStamps& f = folderStamps;
  if (f.count == f.capacity) {
    uint32_t capacity = f.capacity ? 2 * f.capacity : 16;
    auto* grown = static_cast<FolderStamp*>(std::realloc(f.entries, capacity * sizeof(FolderStamp)));
    if (!grown) {  // no room to wait: stamp it now
      setFileTimes(target, fileTime, true);
      return;
    }
    f.entries = grown;
    f.capacity = capacity;
  }
  std::strcpy(f.entries[f.count].path, target);
  f.entries[f.count++].fileTime = fileTime;
}

void applyFolderStamps() {
  FolderStamps& f = folderStamps;
  for (uint32_t i = 0; i < f.count; ++i) setFileTimes(f.entries[i].path, f.entries[i].fileTime, true);
  std::free(f.entries);
  f = FolderStamps{};
}

// The member's stamp as a local DOS stamp, comparable with an existing file's.
uint32_t memberDosStamp() {
  const MemberHeader& h = memberHeader;
  uint32_t stamp = h.timeStamp;
  if (h.level == 2 && !sys::fileTimeToDos(unixToFileTime(h.timeStamp), &stamp)) stamp = h.timeStamp;
  return stamp;
}

// What to do with a file that is already at target. noConfirm and newerOnly are read
// anew for every member: the replace dialog changes them.
Decision decideOverwrite(const char* target) {
  if (sfxSettings.noConfirm) return Decision::write;
  sys::ReplaceInfo info{target, 0, memberDosStamp(), 0, memberHeader.originalSize};
  sys::readFileStamp(target, &info.existingStamp, &info.existingSize);
  if (!sfxSettings.newerOnly) {
    switch (sys::ShowReplaceDialog(info)) {
      case sys::kReplaceYes:
        if (!sfxSettings.newerOnly) return Decision::write;
        break;  // Newer: from now on the stamps decide, this member included
      case sys::kReplaceNo:
        return Decision::skip;
      case sys::kReplaceAll:
        sfxSettings.noConfirm = 1;
        return Decision::write;
      default:
        return Decision::cancel;
    }
  }
  return info.existingStamp < info.memberStamp ? Decision::write : Decision::skip;
}

// A member that replaces a file is decoded beside it and moved over it only once it is
// complete and correct, so a failing member never costs the user the file it had.
struct MemberOutput {
  char path[kPathBytes];
  bool temporary;
};

// A folder too deep for GetTempFileNameA's 14-character names still gets a temporary file
// beside the target, never the old file written over: the first free one of the shortest
// names that fit, "~0" to "~zz" (one character when only one fits).
bool createShortTempFile(const char* folder, char* path) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  size_t length = std::strlen(folder);
  int units = pathUnits(folder);
  size_t room = units >= 0 && units < kPathUnits ? static_cast<size_t>(kPathUnits - 1 - units) : 0;
  std::strcpy(path, folder);
  for (uint32_t n = 0; room > 0 && n < 36 * 37; ++n) {
    char* p = path + length;
    if (room >= 2) *p++ = '~';
    if (n >= 36) {
      if (room < 3) break;
      *p++ = kDigits[n / 36 - 1];
    }
    *p++ = kDigits[n % 36];
    *p = '\0';
    if (sys::createNewFile(path)) return true;
  }
  return false;
}

bool openOutput(const char* target, bool replacing, MemberOutput& out) {
  out.temporary = replacing;
  if (replacing) {
    char folder[kPathBytes], name[kPathBytes];
    splitFolderAndName(target, folder, name);
    if (!folder[0] || !(sys::createTempFileIn(folder, out.path) || createShortTempFile(folder, out.path)))
      return false;
  } else {
    std::strcpy(out.path, target);
  }
  outputStream = sys::openFile(out.path, "wb");
  if (!outputStream) {
    if (replacing) sys::deleteFile(out.path);
    return false;
  }
  // Dictionaries leave the decoder 2 to 64 KiB at a time; collected, they reach the
  // system in far fewer writes.
  std::setvbuf(outputStream, nullptr, _IOFBF, kOutputBufferBytes);
  return true;
}

// The existing file keeps its attributes when the move fails.
bool replaceExisting(const char* from, const char* target) {
  uint32_t attributes = sys::getFileAttributes(target);
  sys::setFileAttributes(target, sys::kAttrNormal);
  if (sys::moveFileReplacing(from, target)) return true;
  if (attributes != sys::kInvalidAttributes) sys::setFileAttributes(target, attributes);
  return false;
}

void recordFailure(Message message) {
  showMessage(message);
  ++extraction.failed;
}

Step writeMember(const char* target, bool replacing) {
  const MemberHeader& h = memberHeader;
  sys::setProgressMemberText(h.path);
  MemberOutput out;
  if (!openOutput(target, replacing, out)) {
    recordFailure(Message::cannotCreateFile);
    return Step::next;
  }
  runningCrc16 = 0;
  uint32_t before = totalBytesWritten;
  decodeMember(selectDecodeMethod(h.methodId), h.packedSize, h.originalSize);
  uint32_t written = totalBytesWritten - before;
  // What the runtime still buffered reaches the disk only here: a full disk may show now.
  bool closed = std::fclose(outputStream) == 0;
  if (!closed) stopRun(kRunFailed);
  outputStream = nullptr;
  // A member of the wrong length is damaged even when the CRC of what it gave matches;
  // one whose last bytes did not reach the disk is short, whatever was decoded.
  bool complete = closed && written == h.originalSize && runningCrc16 == h.storedCrc16;

  if (readRunStatus() != kRunGoing) {
    // A member finished just as the run stopped stays, without stamp and attributes.
    if (!complete || (out.temporary && !replaceExisting(out.path, target))) sys::deleteFile(out.path);
    return Step::stop;
  }
  if (!complete) {
    sys::deleteFile(out.path);
    recordFailure(Message::crcError);
    return Step::next;
  }
  if (out.temporary && !replaceExisting(out.path, target)) {
    sys::deleteFile(out.path);
    recordFailure(Message::cannotCreateFile);
    return Step::next;
  }
  restoreTimeStamp(target);
  sys::setFileAttributes(target, h.attribute);
  if (sfxSettings.deleteAfterSetup) appendExtractedFile(target);
  ++extraction.extracted;
  return Step::next;
}

// A path that names a folder only: a directory entry gets its stamp and attributes; the
// folders of any other method's member were made and nothing is written.
Step finishFolderEntry(const char* target) {
  // "-lhd-" in two pieces: the stub holds no whole method id (see DecodeMethodRecord)
  const char* id = memberHeader.methodId;
  if (id[0] != '-' || sys::compareIgnoreCase(id + 1, "lhd-") != 0) {
    ++extraction.skipped;
    return Step::next;
  }
  sys::setFileAttributes(target, sys::kAttrNormal);
  rememberFolderStamp(target);
  sys::setFileAttributes(target, memberHeader.attribute);
  ++extraction.folders;
  return Step::next;
}

Step extractMember() {
  // A name its code page cannot read is refused as a path the rules refuse.
  if (!memberHeader.nameValid) {
    showMessage(Message::invalidFileName, memberHeader.path);
    ++extraction.rejected;
    return Step::next;
  }
  char* relative = cleanMemberPath(memberHeader.path);
  char target[kPathBytes];
  switch (buildMemberTarget(sfxSettings.destinationPath, relative, target)) {
    case TargetOutcome::failed: return Step::stop;
    case TargetOutcome::skipped: ++extraction.rejected; return Step::next;
    case TargetOutcome::folderOnly: return finishFolderEntry(target);
    case TargetOutcome::file: break;
  }
  bool exists = sys::searchPath(target);
  if (exists) {
    switch (decideOverwrite(target)) {
      case Decision::write: break;
      case Decision::skip: ++extraction.kept; return Step::next;
      case Decision::cancel: stopRun(kRunCancelled); return Step::stop;
    }
  }
  return writeMember(target, exists);
}

}  // namespace

void setFileTimes(const char* path, uint64_t fileTime, bool isFolderEntry) {
  sys::setFileTime(path, fileTime, isFolderEntry);
}

void setFileTimesFromDos(const char* path, uint16_t dosDate, uint16_t dosTime, bool isFolderEntry) {
  uint64_t fileTime;
  if (sys::dosToFileTime(dosDate, dosTime, &fileTime)) setFileTimes(path, fileTime, isFolderEntry);
}

void extractionWorker() {
  int64_t archiveEnd = extraction.archiveEnd > 0 ? extraction.archiveEnd : archiveSize();
  NextHeader next = readNextHeader(extraction.headerBuffer, archiveEnd);
  while (next == NextHeader::member && readRunStatus() == kRunGoing) {
    int64_t dataOffset = archiveTell();
    if (extractMember() == Step::stop || readRunStatus() != kRunGoing) break;
    if (!archiveSeek(dataOffset + memberHeader.packedSize)) break;
    next = readNextHeader(extraction.headerBuffer, archiveEnd);
  }
  // Members behind a damaged header are lost: the run must not go on as if complete.
  if (next == NextHeader::damaged) stopRun(kRunFailed);
  applyFolderStamps();
  if (readRunStatus() == kRunGoing) reportProgressNow();  // the bar ends where the archive did
  sys::closeProgressWindow();
}
