// The scratch helpers of the extraction tests, shared here.
#include "extract/scratch_util.cpp"
