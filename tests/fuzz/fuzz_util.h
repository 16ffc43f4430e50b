// Shared set-up of the fuzz targets: input bytes become archiveStream, message boxes go
// nowhere, and every run starts from a clean run state.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "extract/run_state.h"
#include "lha/decode.h"
#include "lha/header.h"
#include "lha/stream.h"
#include "sys/ui.h"

inline int ignoreMessage(sys::WindowHandle, const char*, const char*, unsigned) { return sys::kIdOk; }

// Attaches a copy of the bytes as the archive; false when there is nothing to read.
inline bool attachInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    buildCrc16Table();
    sys::setMessageHook(ignoreMessage);
    ready = true;
  }
  runStatus.store(kRunGoing);
  outputStream = nullptr;
  if (size == 0) return false;
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return false;
  attachArchiveStream(f);
  return true;
}
