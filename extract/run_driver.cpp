// One run from start to end: open, scan, question, check, destination, extraction on
// the worker thread while the main thread keeps the progress window alive, final action.
#include "extract/run_driver.h"

#include <cstdlib>
#include <cstring>

#include "extract/destination.h"
#include "extract/paths.h"
#include "extract/run_state.h"
#include "extract/worker.h"
#include "lha/decode.h"
#include "lha/header.h"
#include "lha/stream.h"
#include "post/cleanup.h"
#include "post/setup.h"
#include "startup/payload.h"
#include "startup/settings.h"
#include "startup/verify.h"
#include "sys/fs.h"
#include "sys/process.h"
#include "sys/text.h"
#include "sys/ui.h"
#include "ui/messages.h"

namespace {

struct RunState {
  char archiveFolder[kPathBytes];   // drive and directory of the archive, or empty
  char archiveName[kPathBytes];     // its file name without extension
  char privateFolder[kPathBytes];   // the private temporary folder's name, or empty
  uint32_t firstHeaderOffset;
  int64_t archiveEnd;               // end of the file, or a signed package's certificate table
  uint8_t* headerBuffer;
};
RunState runState;

// False when the run ends here, with *exitCode saying how.
bool openArchive(char* archivePath, uint32_t* exitCode) {
  *exitCode = kExitFailed;
  if (archivePath[0] == '\0') {
    switch (openOwnPayload(archivePath)) {
      case OpenOutcome::cannotOpen: showMessage(Message::cannotOpenArchive); return false;
      case OpenOutcome::noPayload: *exitCode = kExitNotFound; return false;
      case OpenOutcome::stop: return false;
      case OpenOutcome::opened: break;
    }
    // The private folder's name, to know it again once the destination is settled.
    runState.privateFolder[0] = '\0';
    if (startupState.createdTempFolder) std::strcpy(runState.privateFolder, sfxSettings.destinationPath);
    return true;
  }
  startupState.createdTempFolder = false;
  if (!openArchiveStream(archivePath)) {
    showMessage(Message::cannotOpenArchive);
    return false;
  }
  int64_t size = archiveSize();
  startupState.fileSize = size > 0x7FFFFFFF ? 0x7FFFFFFF : int32_t(size);
  return true;
}

// Everything the run opened is released on every way out; returns `exitCode`.
uint32_t endRun(uint32_t exitCode) {
  std::free(runState.headerBuffer);
  runState.headerBuffer = nullptr;
  if (archiveStreamIsOpen()) closeArchiveStream();
  return exitCode;
}

// The archive's folder is the default destination and the base of relative ones; its
// name without extension is what the destination dialog's check box appends.
void takeArchiveNames(const char* archivePath) {
  RunState& r = runState;
  char name[kPathBytes];
  splitFolderAndName(archivePath, r.archiveFolder, name);
  if (!sfxSettings.destinationPath[0]) std::strcpy(sfxSettings.destinationPath, r.archiveFolder);
  if (char* dot = std::strrchr(name, '.')) *dot = '\0';
  trimTrailingSpaces(name);
  std::strcpy(r.archiveName, name);
}

// The destination loop; false when the user cancelled the dialog.
bool settleDestination() {
  bool showDialog = !sfxSettings.skipDestinationDialog;
  int refused = 0;
  for (;;) {
    if (showDialog && sys::ShowDestinationDialog(runState.archiveName) != 1) return false;
    if (normalizeDestination(runState.archiveFolder) == DestinationOutcome::accepted) return true;
    // A refused text is replaced by the archive's folder. Should that be refused as well
    // (its name holds a character such as ';'), a silent run would go round for ever:
    // the user is asked instead.
    if (++refused >= 2) showDialog = true;
  }
}

// Whether anything, file or folder, has this name (a folder path with its closing
// backslash would not find a file).
bool nameTaken(char* folder) {
  size_t n = std::strlen(folder);
  folder[n - 1] = '\0';
  bool taken = sys::getFileAttributes(folder) != sys::kInvalidAttributes;
  folder[n - 1] = '\\';
  return taken;
}

// The first free name for the private folder: its own, then NAME.2, NAME.3, ... (each
// with a closing backslash); false when none fits or all are taken.
bool freePrivateName(const char* base, uint32_t from, char* name, uint32_t* number) {
  for (uint32_t n = from; n < 1000; ++n) {
    if (n == 1) sys::formatText(name, kPathBytes, "%s\\", base);
    else sys::formatText(name, kPathBytes, "%s.%u\\", base, n);
    if (!pathFits(name)) return false;
    if (!nameTaken(name)) {
      *number = n;
      return true;
    }
  }
  return false;
}

// The private temporary folder is made by this run, never taken over: files another
// program left in a folder of that name (a planted setup.exe, a library beside it) would
// run with the package's rights. A folder made meanwhile moves the run on to the next name.
uint32_t makePrivateFolder() {
  char* destination = sfxSettings.destinationPath;
  uint32_t number = 1;
  bool asked = false;
  while (freePrivateName(runState.privateFolder, number, destination, &number)) {
    if (!asked && !sfxSettings.noConfirm && showMessage(Message::folderQuestion, destination) != sys::kIdOk)
      return kExitCancelled;
    asked = true;
    if (sys::createDirectory(destination)) return kExitSuccess;
    if (!nameTaken(destination)) {
      // not a name clash: the temporary folder itself is missing
      if (createFolderTree(destination)) return kExitSuccess;
      break;
    }
    ++number;
  }
  startupState.createdTempFolder = false;
  showMessage(Message::cannotCreateFolder);
  return kExitFailed;
}

// A missing destination is made, after a question unless noConfirm is set.
uint32_t confirmDestinationFolder() {
  const char* destination = sfxSettings.destinationPath;
  if (startupState.createdTempFolder) {
    char privateName[kPathBytes];
    sys::formatText(privateName, sizeof privateName, "%s\\", runState.privateFolder);
    if (sys::compareIgnoreCase(destination, privateName) == 0) return makePrivateFolder();
    // Another folder was chosen in the dialog: not this run's to remove afterwards.
    startupState.createdTempFolder = false;
  }
  if (sys::getFileAttributes(destination) != sys::kInvalidAttributes) return kExitSuccess;
  if (!sfxSettings.noConfirm && showMessage(Message::folderQuestion, destination) != sys::kIdOk)
    return kExitCancelled;
  if (createFolderTree(destination)) return kExitSuccess;
  showMessage(Message::cannotCreateFolder);
  return kExitFailed;
}

void runWorker(uint32_t archiveBytes) {
  totalBytesWritten = 0;
  startProgressReport(runState.firstHeaderOffset, archiveBytes);
  extraction = ExtractionState{};
  extraction.headerBuffer = runState.headerBuffer;
  extraction.archiveEnd = runState.archiveEnd;
  bool window = sys::CreateProgressWindow(archiveBytes);
  sys::ThreadHandle worker = window ? sys::startThread(extractionWorker) : nullptr;
  // Without a second thread, or without a window whose closing ends the loop, the worker
  // runs here; the loop then only takes the quit message the closed window left.
  if (!worker) extractionWorker();
  if (window) sys::runProgressMessageLoop();
  sys::joinThread(worker);
}

// After the worker: the final action, when the run has earned it.
uint32_t finishRun() {
  const SfxSettings& s = sfxSettings;
  switch (readRunStatus()) {
    case kRunGoing: break;
    case kRunCancelled: return kExitCancelled;
    default: return kExitFailed;
  }
  // A member that failed or was refused may have left an older file of its name in place:
  // no setup command is started from such a folder.
  bool complete = extraction.failed == 0 && extraction.rejected == 0;
  if (!s.setupCommand[0]) {
    if (s.openFolderAfter) openDestinationFolder(s.destinationPath);
    return complete ? kExitSuccess : kExitFailed;
  }
  if (!complete) return kExitFailed;
  uint32_t exitCode = 0;
  bool started = runSetupCommand(s.setupCommand, s.destinationPath, s.deleteAfterSetup != 0, &exitCode);
  // No file recorded: nothing is deleted, and a private temporary folder stays.
  if (s.deleteAfterSetup && extractedFileList.byteSize != 0) {
    appendExtractedFile("");
    cleanUpExtractedFiles(s.destinationPath, startupState.createdTempFolder);
  }
  return started ? exitCode : kExitFailed;
}

}  // namespace

uint32_t runExtraction(char* archivePath) {
  RunState& r = runState;
  bool ownPayload = archivePath[0] == '\0';
  uint32_t exitCode;
  if (!openArchive(archivePath, &exitCode)) return exitCode;

  buildCrc16Table();
  r.headerBuffer = static_cast<uint8_t*>(std::calloc(kHeaderBufferSize, 1));
  if (!r.headerBuffer) {
    showMessage(Message::cannotOpenArchive);
    return endRun(kExitFailed);
  }
  // A package's archive lies behind the stub image, also when another package is named:
  // the scan starts there, so no bytes of a stub's code are ever taken for a member or
  // reported as a bad header.
  ArchiveBounds bounds = locateArchive(ownPayload ? startupState.payloadOffset : kNoPayload);
  r.archiveEnd = bounds.end;
  archiveSeek(bounds.scanFrom);
  uint32_t reported = invalidHeaderReports;
  if (!findFirstHeader(r.headerBuffer, &r.firstHeaderOffset)) {
    showMessage(Message::notSupportedFormat);
    return endRun(kExitFailed);
  }
  // A package's archive begins right behind its block: a first header found further on
  // means the one there is damaged, and its member would be lost without a word.
  if (ownPayload && startupState.hasBlock && r.firstHeaderOffset != startupState.payloadOffset + kConfigBytes) {
    if (invalidHeaderReports == reported) showMessage(Message::invalidHeader);
    return endRun(kExitFailed);
  }
  archiveSeek(r.firstHeaderOffset);

  if (sfxSettings.promptText[0] && showMessage(Message::startupQuestion) != sys::kIdYes)
    return endRun(kExitCancelled);
  // A damaged package may still be unpacked by hand, but it installs nothing.
  if (sfxSettings.archiveCrc32 != 0 && verifyArchiveCrc32(sfxSettings.archiveCrc32) == 0 &&
      sfxSettings.setupCommand[0])
    return endRun(kExitFailed);

  takeArchiveNames(archivePath);
  if (!settleDestination()) return endRun(kExitCancelled);
  exitCode = confirmDestinationFolder();
  if (exitCode != kExitSuccess) return endRun(exitCode);

  runWorker(static_cast<uint32_t>(r.archiveEnd - r.firstHeaderOffset));
  endRun(kExitSuccess);
  // Cancelled or failed: nothing is run, opened or deleted; what was written stays.
  exitCode = finishRun();
  freeExtractedFileList();
  return exitCode;
}
