// The control of the planted-library test: loads a library by its bare name, the way a
// program without a restricted search does. Exit code 0 when it loaded.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  return LoadLibraryA(argv[1]) ? 0 : 1;
}
