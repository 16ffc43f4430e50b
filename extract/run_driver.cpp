#include "extract/run_driver.h"

#include "lha/stream.h"
#include "startup/payload.h"
#include "sys/ui.h"
#include "ui/strings.h"

namespace {

void showError(unsigned id) {
  char text[128];
  sys::loadString(id, text, sizeof text);
  sys::messageBox(nullptr, text, kCaption, sys::kMbOk | sys::kMbIconError);
}

}  // namespace

int runExtraction(char* archivePath) {
  if (archivePath[0] == '\0') {
    switch (openOwnPayload(archivePath)) {
      case OpenOutcome::cannotOpen: showError(kStrCannotOpenArchive); return 0;
      case OpenOutcome::stop: return 0;
      case OpenOutcome::opened: break;
    }
  } else {
    startupState.createdTempFolder = false;
    if (!openArchiveStream(archivePath)) {
      showError(kStrCannotOpenArchive);
      return 0;
    }
    int64_t size = archiveSize();
    startupState.fileSize = size > 0x7FFFFFFF ? 0x7FFFFFFF : int32_t(size);
  }
  // The scan, the dialogs and the worker follow once they exist; the run ends here.
  closeArchiveStream();
  return 0;
}
