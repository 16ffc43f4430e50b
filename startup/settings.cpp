#include "startup/settings.h"

#include <cstring>

SfxSettings sfxSettings;

void resetSfxSettings() {
  std::memset(&sfxSettings, 0, sizeof sfxSettings);
  sfxSettings.openFolderAfter = 1;
}
