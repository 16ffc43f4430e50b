// POSIX side of the folder seam: fixed texts that tests choose, and the temporary folder
// from TMPDIR in the drive-letter form the rest of the program works with.
#include "sys/shell.h"

#include <string>

#include <cstdlib>
#include <cstring>

#include "sys/text.h"

namespace sys {
namespace {

struct ShellFolders {
  char desktop[260];
  char personal[260];
  char programFiles[260];
  char system[260];
  char windows[260];
};
ShellFolders shellFolders;

void keep(char* field, const char* text) {
  field[0] = '\0';
  if (text && std::strlen(text) < 260) std::strcpy(field, text);
}

int answer(const char* text, char* out, int capacity) {
  if (capacity <= 0) return 0;
  out[0] = '\0';
  int n = static_cast<int>(std::strlen(text));
  if (n == 0 || n >= capacity) return 0;
  std::memcpy(out, text, n + 1);
  return n;
}

}  // namespace

void setShellFolderValueForTests(const char* valueName, const char* text) {
  if (std::strcmp(valueName, "Desktop") == 0) keep(shellFolders.desktop, text);
  if (std::strcmp(valueName, "Personal") == 0) keep(shellFolders.personal, text);
}

void setSystemFoldersForTests(const char* programFiles, const char* system, const char* windows) {
  keep(shellFolders.programFiles, programFiles);
  keep(shellFolders.system, system);
  keep(shellFolders.windows, windows);
}

int readShellFolderValue(const char* valueName, char* out, int capacity) {
  if (std::strcmp(valueName, "Desktop") == 0) return answer(shellFolders.desktop, out, capacity);
  if (std::strcmp(valueName, "Personal") == 0) return answer(shellFolders.personal, out, capacity);
  return answer("", out, capacity);
}

int programFilesFolder(char* out, int capacity) { return answer(shellFolders.programFiles, out, capacity); }
int systemDirectory(char* out, int capacity) { return answer(shellFolders.system, out, capacity); }
int windowsDirectory(char* out, int capacity) { return answer(shellFolders.windows, out, capacity); }

int tempPath(char* out, int capacity) {
  const char* dir = std::getenv("TMPDIR");
  if (!dir || dir[0] != '/') dir = "/tmp";
  // "Z:" + the folder with backslashes, ending in one
  std::string text = std::string("Z:") + dir;
  for (char& c : text)
    if (c == '/') c = '\\';
  while (text.size() > 3 && text.back() == '\\') text.pop_back();
  if (text.back() != '\\') text += '\\';
  return answer(text.c_str(), out, capacity);
}

}  // namespace sys
