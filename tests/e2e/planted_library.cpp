// A library planted beside a package under the name of a system library: when anything
// loads it, it leaves a marker file (ZAROZA_PLANT_MARKER, default C:\planted-marker.txt).
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH] = "C:\\planted-marker.txt";
    GetEnvironmentVariableA("ZAROZA_PLANT_MARKER", path, MAX_PATH);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      char program[MAX_PATH];
      DWORD n = GetModuleFileNameA(nullptr, program, MAX_PATH), written = 0;
      WriteFile(file, program, n, &written, nullptr);
      CloseHandle(file);
    }
  }
  return TRUE;
}
