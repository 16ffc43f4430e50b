// The controls of the planted-file tests: loads a library by its bare name, or starts a
// program by its bare name through the shell, the way a program without a restricted
// search does. Exit code 0 when it loaded (started).
//   load_by_name.exe LIBRARY
//   load_by_name.exe --shell PROGRAM PARAMETERS
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  if (argc == 4 && !std::strcmp(argv[1], "--shell"))
    return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", argv[2], argv[3], nullptr, SW_SHOWDEFAULT)) > 32 ? 0 : 1;
  if (argc < 2) return 2;
  return LoadLibraryA(argv[1]) ? 0 : 1;
}
