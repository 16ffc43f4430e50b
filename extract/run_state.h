// RunStatus: the one word the worker and the main thread share during extraction.
// 0 while the run goes on, 100 after the user cancelled, -1 after a failure that stops
// the run. It only ever moves away from 0.
#pragma once
#include <atomic>
#include <cstdint>

enum : int32_t { kRunGoing = 0, kRunCancelled = 100, kRunFailed = -1 };

extern std::atomic<int32_t> runStatus;

inline int32_t readRunStatus() { return runStatus.load(std::memory_order_relaxed); }
// Sets a stop value; a run that has already stopped keeps its first reason.
inline void stopRun(int32_t value) {
  int32_t expected = kRunGoing;
  runStatus.compare_exchange_strong(expected, value, std::memory_order_relaxed);
}
