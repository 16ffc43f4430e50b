#include "extract/win32/scratch_win32.cpp"
