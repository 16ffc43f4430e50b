#include "extract/posix/scratch_posix.cpp"
