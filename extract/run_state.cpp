#include "extract/run_state.h"

std::atomic<int32_t> runStatus{kRunGoing};
