// The Win32 side's bridge: the program's UTF-8 texts become UTF-16 for the system's calls,
// and what the system answers becomes UTF-8 again.
#pragma once
#include <windows.h>

namespace sys {

// A text for one call. A text that is not valid UTF-8 or longer than a path becomes an
// empty one: the call then fails as for a name that does not exist.
struct Wide {
  explicit Wide(const char* text);
  wchar_t text[520];
  operator const wchar_t*() const { return text; }
};

// The system's UTF-16 as UTF-8; false (out empty) when it does not fit.
bool toUtf8(const wchar_t* text, char* out, int capacity);

}  // namespace sys
