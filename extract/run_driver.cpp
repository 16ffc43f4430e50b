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
#include "sys/ui.h"
#include "ui/messages.h"

namespace {

struct RunState {
  char archiveFolder[kPathBytes];   // drive and directory of the archive, or empty
  char archiveName[kPathBytes];     // its file name without extension
  uint32_t firstHeaderOffset;
  int64_t archiveEnd;               // end of the file, or a signed package's certificate table
  uint8_t* headerBuffer;
};
RunState runState;

bool openArchive(char* archivePath) {
  if (archivePath[0] == '\0') {
    switch (openOwnPayload(archivePath)) {
      case OpenOutcome::cannotOpen: showMessage(Message::cannotOpenArchive); return false;
      case OpenOutcome::stop: return false;
      case OpenOutcome::opened: return true;
    }
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

// Everything the run opened is released on every way out; returns `result`.
int endRun(int result) {
  std::free(runState.headerBuffer);
  runState.headerBuffer = nullptr;
  if (archiveStreamIsOpen()) closeArchiveStream();
  return result;
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

// A missing destination is made, after a question unless noConfirm is set.
bool confirmDestinationFolder() {
  const char* destination = sfxSettings.destinationPath;
  if (sys::getFileAttributes(destination) != sys::kInvalidAttributes) return true;
  if (!sfxSettings.noConfirm && showMessage(Message::folderQuestion, destination) != sys::kIdOk)
    return false;
  if (createFolderTree(destination)) return true;
  showMessage(Message::cannotCreateFolder);
  return false;
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

void finalAction() {
  const SfxSettings& s = sfxSettings;
  if (!s.setupCommand[0]) {
    if (s.openFolderAfter) openDestinationFolder(s.destinationPath);
    return;
  }
  runSetupCommand(s.setupCommand, s.destinationPath, s.deleteAfterSetup != 0);
  // No file recorded: nothing is deleted, and a private temporary folder stays.
  if (!s.deleteAfterSetup || extractedFileList.byteSize == 0) return;
  appendExtractedFile("");
  cleanUpExtractedFiles(s.destinationPath, startupState.createdTempFolder);
}

}  // namespace

int runExtraction(char* archivePath) {
  RunState& r = runState;
  bool ownPayload = archivePath[0] == '\0';
  if (!openArchive(archivePath)) return 0;

  buildCrc16Table();
  r.headerBuffer = static_cast<uint8_t*>(std::calloc(kHeaderBufferSize, 1));
  if (!r.headerBuffer) {
    showMessage(Message::cannotOpenArchive);
    return endRun(0);
  }
  // A package's archive lies behind the stub image, also when another package is named:
  // the scan starts there, so no bytes of a stub's code are ever taken for a member or
  // reported as a bad header.
  ArchiveBounds bounds = locateArchive(ownPayload ? startupState.payloadOffset : kNoPayload);
  r.archiveEnd = bounds.end;
  archiveSeek(bounds.scanFrom);
  if (!findFirstHeader(r.headerBuffer, &r.firstHeaderOffset)) {
    showMessage(Message::notSupportedFormat);
    return endRun(0);
  }
  archiveSeek(r.firstHeaderOffset);

  if (sfxSettings.promptText[0] && showMessage(Message::startupQuestion) != sys::kIdYes) return endRun(0);
  // A damaged package may still be unpacked by hand, but it installs nothing.
  if (sfxSettings.archiveCrc32 != 0 && verifyArchiveCrc32(sfxSettings.archiveCrc32) == 0 &&
      sfxSettings.setupCommand[0])
    return endRun(0);

  takeArchiveNames(archivePath);
  if (!settleDestination() || !confirmDestinationFolder()) return endRun(0);

  runWorker(static_cast<uint32_t>(r.archiveEnd - r.firstHeaderOffset));
  endRun(0);
  // Cancelled or failed: nothing is run, opened or deleted; what was written stays.
  int result = 0;
  if (readRunStatus() == kRunGoing) {
    finalAction();
    result = 1;
  }
  freeExtractedFileList();
  return result;
}
