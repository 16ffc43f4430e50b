// Scratch folders below GetTempPath; messages read from the real message boxes, which a
// watcher thread closes with OK.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "extract/scratch_util.h"
#include "sys/ui.h"

std::string makeScratchFolder() {
  char temp[MAX_PATH];
  if (!GetTempPathA(MAX_PATH, temp)) return "";
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    char name[MAX_PATH + 32];
    wsprintfA(name, "%szaroza%lu_%u\\", temp, GetCurrentProcessId(), GetTickCount() + attempt);
    if (CreateDirectoryA(name, nullptr)) return name;
  }
  return "";
}

std::string networkFormOf(const std::string&) { return ""; }

namespace {

struct Watcher {
  std::thread thread;
  std::atomic<bool> running{false};
  std::mutex lock;
  std::vector<ShownMessage> messages;
};
Watcher watcher;

BOOL CALLBACK closeOwnBox(HWND window, LPARAM) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[64];
  if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
      !GetClassNameA(window, className, sizeof className) || lstrcmpA(className, "#32770") != 0)
    return TRUE;
  char caption[256] = "", text[2048] = "";
  GetWindowTextA(window, caption, sizeof caption);
  GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
  {
    std::lock_guard<std::mutex> hold(watcher.lock);
    watcher.messages.push_back({text, caption});
  }
  SendMessageTimeoutA(window, WM_COMMAND, IDOK, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
  for (int i = 0; i < 400 && IsWindow(window); ++i) Sleep(5);
  return TRUE;
}

}  // namespace

namespace {

int recordThroughHook(sys::WindowHandle, const char* text, const char* caption, unsigned) {
  std::lock_guard<std::mutex> hold(watcher.lock);
  watcher.messages.push_back({text, caption});
  return IDOK;
}

// Wine run through qemu's i386 emulation (the harness then stretches time limits) loses
// its X connection when boxes come and go this fast; there the boxes are only recorded.
// The end-to-end tests still show real ones.
bool underEmulation() {
  const char* factor = std::getenv("ZAROZA_TIME_FACTOR");
  return factor && std::atoi(factor) > 1;
}

}  // namespace

void startMessageCapture() {
  watcher.messages.clear();
  if (underEmulation()) {
    sys::setMessageHook(recordThroughHook);
    return;
  }
  watcher.running = true;
  watcher.thread = std::thread([] {
    while (watcher.running) {
      EnumWindows(closeOwnBox, 0);
      Sleep(5);
    }
  });
}

std::vector<ShownMessage> stopMessageCapture() {
  sys::setMessageHook(nullptr);
  watcher.running = false;
  if (watcher.thread.joinable()) watcher.thread.join();
  std::lock_guard<std::mutex> hold(watcher.lock);
  return watcher.messages;
}
