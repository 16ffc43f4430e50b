// Win32 dialogs of the user interface that other Win32 code reaches directly.
#pragma once
#include <windows.h>

// The shell's folder browser, starting at `path` when it is not empty. True when a
// folder was chosen; its path is then in `path` (kPathBytes).
bool BrowseForFolder(HWND owner, char* path);
