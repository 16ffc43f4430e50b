#include "extract/run_driver.h"

#include "lha/stream.h"
#include "startup/payload.h"
#include "ui/messages.h"

int runExtraction(char* archivePath) {
  if (archivePath[0] == '\0') {
    switch (openOwnPayload(archivePath)) {
      case OpenOutcome::cannotOpen: showMessage(Message::cannotOpenArchive); return 0;
      case OpenOutcome::stop: return 0;
      case OpenOutcome::opened: break;
    }
  } else {
    startupState.createdTempFolder = false;
    if (!openArchiveStream(archivePath)) {
      showMessage(Message::cannotOpenArchive);
      return 0;
    }
    int64_t size = archiveSize();
    startupState.fileSize = size > 0x7FFFFFFF ? 0x7FFFFFFF : int32_t(size);
  }
  // The scan, the dialogs and the worker follow once they exist; the run ends here.
  closeArchiveStream();
  return 0;
}
