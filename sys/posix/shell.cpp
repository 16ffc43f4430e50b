// POSIX side of the folder seam: fixed texts that tests choose, and the temporary folder
// from TMPDIR in the drive-letter form the rest of the program works with.
#include "sys/shell.h"

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
  // "Z:" + the UTF-8 folder turned into ANSI text with backslashes, ending in one. The
  // separators are set on the UTF-16 form: in code page 932 a trail byte can be 0x5C.
  char16_t wide[1024];
  int n = utf8ToWide(dir, wide, 1024);
  if (n < 0) return answer("", out, capacity);
  for (int i = 0; i < n; ++i)
    if (wide[i] == u'/') wide[i] = u'\\';
  while (n > 1 && wide[n - 1] == u'\\') wide[--n] = 0;
  if (wide[n - 1] != u'\\') {
    if (n + 1 >= 1024) return answer("", out, capacity);
    wide[n++] = u'\\';
    wide[n] = 0;
  }
  char text[1024] = "Z:";
  if (wideToAnsi(wide, text + 2, sizeof text - 2) < 0) return answer("", out, capacity);
  return answer(text, out, capacity);
}

}  // namespace sys
