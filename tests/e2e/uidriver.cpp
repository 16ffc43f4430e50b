// UI driver for the end-to-end tests: a Win32 console program run in the same Wine prefix
// as the stub. It finds a visible top-level window by its caption, prints its controls,
// presses buttons, and tells when a window stays away or goes.
//
//   uidriver [-p IMAGE] COMMAND ...         only windows of processes whose program file
//                                           is named IMAGE (e.g. package.exe) count
//   uidriver wait CAPTION TIMEOUT_MS        wait for the window, print its controls
//   uidriver click CAPTION ID [TIMEOUT_MS]  press button ID (BM_CLICK) of the window
//   uidriver absent CAPTION MS              succeed when no such window shows for MS
//   uidriver gone CAPTION TIMEOUT_MS        wait until the window no longer exists
//   uidriver send CAPTION ID MSG WPARAM LPARAM
//                                           send MSG to control ID (0: the window itself)
//                                           and print the result
//   uidriver settext CAPTION ID TEXT        set the text of control ID
//   uidriver rect CAPTION                   print the window's "x y width height" on screen
//   uidriver run COMMANDLINE                start a program with exactly this command line
//                                           (quotes and all), wait for it, pass on its
//                                           exit code
//
// An empty CAPTION names a dialog without caption. Controls print as
// "id<TAB>class<TAB>text" lines in UTF-8, after a first line
// "window<TAB>class<TAB>caption<TAB>owner's caption"; line breaks inside a text print as "\n". Ids are the
// 16-bit control ids (a message box's text is 65535, its icon 1088, OK 1, Cancel 2,
// Yes 6, No 7). Exit codes: 0 done, 1 not found / still there / appeared, 2 usage,
// 3 the window did not answer (hung).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

// A window that takes longer than this to answer counts as hung; stretched, as every time
// limit of the harness, by ZAROZA_TIME_FACTOR (10 under qemu's emulation).
UINT answerMs() {
  char factor[16] = "";
  GetEnvironmentVariableA("ZAROZA_TIME_FACTOR", factor, sizeof factor);
  UINT n = static_cast<UINT>(std::atoi(factor));
  return 5000 * (n >= 1 && n <= 100 ? n : 1);
}
const UINT kAnswerMs = answerMs();
constexpr DWORD kPollMs = 50;

struct Search {
  const wchar_t* caption;
  HWND found;
};

// Program file name (without folder) that a window's process must have; empty = any.
const wchar_t* imageFilter = L"";

bool ownedByImage(HWND window) {
  if (imageFilter[0] == L'\0') return true;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return false;
  wchar_t path[MAX_PATH];
  DWORD size = MAX_PATH;
  bool named = QueryFullProcessImageNameW(process, 0, path, &size) != 0;
  CloseHandle(process);
  if (!named) return false;
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p; ++p)
    if (*p == L'\\' || *p == L'/') name = p + 1;
  return lstrcmpiW(name, imageFilter) == 0;
}

BOOL CALLBACK matchCaption(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  // Only a visible window has run its initialisation (dialog texts are set by then).
  if (!IsWindowVisible(window)) return TRUE;
  wchar_t text[512];
  // Reads the caption from the window structure itself: no message, cannot hang.
  if (InternalGetWindowText(window, text, 512) <= 0) {
    if (search->caption[0] != L'\0') return TRUE;
    wchar_t name[16] = L"";
    GetClassNameW(window, name, 16);
    if (std::wcscmp(name, L"#32770") != 0) return TRUE;  // only dialogs count as captionless
  } else if (std::wcscmp(text, search->caption) != 0) {
    return TRUE;
  }
  // Other programs (another test, a left-over) may show a window with the same caption.
  if (!ownedByImage(window)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND findWindow(const wchar_t* caption) {
  Search search{caption, nullptr};
  EnumWindows(matchCaption, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND waitForWindow(const wchar_t* caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND window = findWindow(caption)) return window;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

void writeUtf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
            nullptr);
}

std::wstring escapeLineBreaks(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r') continue;
    if (c == L'\n') out += L"\\n";
    else if (c == L'\t') out += L"\\t";
    else out += c;
  }
  return out;
}

// WM_GETTEXT through the other process, giving up on a window that does not answer.
bool windowText(HWND window, std::wstring& out) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &length))
    return false;
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kAnswerMs, &copied))
    return false;
  text.resize(copied);
  out = text;
  return true;
}

std::wstring className(HWND window) {
  wchar_t name[256] = L"";
  GetClassNameW(window, name, 256);
  return name;
}

struct Listing {
  HWND parent;
  std::wstring lines;
  bool hung;
};

BOOL CALLBACK listControl(HWND control, LPARAM param) {
  auto* listing = reinterpret_cast<Listing*>(param);
  if (GetParent(control) != listing->parent) return TRUE;  // direct children only
  std::wstring text;
  if (!windowText(control, text)) {
    listing->hung = true;
    return FALSE;
  }
  wchar_t id[16];
  std::swprintf(id, 16, L"%u", static_cast<unsigned>(GetDlgCtrlID(control)) & 0xFFFFu);
  listing->lines += std::wstring(id) + L"\t" + className(control) + L"\t" + escapeLineBreaks(text) + L"\n";
  return TRUE;
}

// Prints the window and its controls; false when the window did not answer.
bool printWindow(HWND window) {
  std::wstring caption;
  if (!windowText(window, caption)) return false;
  wchar_t owner[512] = L"";
  if (HWND ownerWindow = GetWindow(window, GW_OWNER)) InternalGetWindowText(ownerWindow, owner, 512);
  Listing listing{window,
                  L"window\t" + className(window) + L"\t" + escapeLineBreaks(caption) + L"\t" +
                      escapeLineBreaks(owner) + L"\n",
                  false};
  EnumChildWindows(window, listControl, reinterpret_cast<LPARAM>(&listing));
  if (listing.hung) return false;
  writeUtf8(listing.lines);
  return true;
}

int usage() {
  std::fputs("usage: uidriver wait|click|absent|gone|send|settext|rect CAPTION ...\n", stderr);
  return 2;
}

DWORD number(const wchar_t* text) { return static_cast<DWORD>(std::wcstoul(text, nullptr, 0)); }

int commandWait(const wchar_t* caption, DWORD timeoutMs) {
  HWND window = waitForWindow(caption, timeoutMs);
  if (!window) {
    std::fputs("uidriver: window not found\n", stderr);
    return 1;
  }
  if (!printWindow(window)) {
    std::fputs("uidriver: the window does not answer\n", stderr);
    return 3;
  }
  return 0;
}

int commandClick(const wchar_t* caption, DWORD id, DWORD timeoutMs) {
  HWND window = waitForWindow(caption, timeoutMs);
  if (!window) {
    std::fputs("uidriver: window not found\n", stderr);
    return 1;
  }
  HWND button = GetDlgItem(window, static_cast<int>(id));
  if (!button) {
    std::fputs("uidriver: no control with that id\n", stderr);
    return 1;
  }
  // Sent with a time-out: pressing returns at once even for a button that ends a modal
  // loop, and a window that does not take the message counts as hung.
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &ignored)) {
    std::fputs("uidriver: the window does not answer\n", stderr);
    return 3;
  }
  return 0;
}

int commandSend(const wchar_t* caption, DWORD id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = waitForWindow(caption, 5000);
  if (!window) {
    std::fputs("uidriver: window not found\n", stderr);
    return 1;
  }
  HWND target = id == 0 ? window : GetDlgItem(window, static_cast<int>(id));
  if (!target) {
    std::fputs("uidriver: no control with that id\n", stderr);
    return 1;
  }
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(target, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs, &result)) {
    std::fputs("uidriver: the window does not answer\n", stderr);
    return 3;
  }
  std::printf("%ld\n", static_cast<long>(result));
  return 0;
}

int commandSetText(const wchar_t* caption, DWORD id, const wchar_t* text) {
  HWND window = waitForWindow(caption, 5000);
  HWND control = window ? GetDlgItem(window, static_cast<int>(id)) : nullptr;
  if (!control) {
    std::fputs("uidriver: window or control not found\n", stderr);
    return 1;
  }
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                           kAnswerMs, &ignored)) {
    std::fputs("uidriver: the window does not answer\n", stderr);
    return 3;
  }
  return 0;
}

int commandRect(const wchar_t* caption) {
  HWND window = waitForWindow(caption, 5000);
  RECT r;
  if (!window || !GetWindowRect(window, &r)) {
    std::fputs("uidriver: window not found\n", stderr);
    return 1;
  }
  std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  return 0;
}

int commandRun(const wchar_t* commandLine) {
  std::wstring line = commandLine;  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fputs("uidriver: cannot start the program\n", stderr);
    return 125;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 125;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

int commandAbsent(const wchar_t* caption, DWORD ms) {
  if (HWND window = waitForWindow(caption, ms)) {
    std::fputs("uidriver: the window appeared\n", stderr);
    printWindow(window);
    return 1;
  }
  return 0;
}

int commandGone(const wchar_t* caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (findWindow(caption)) {
    if (GetTickCount() - start >= timeoutMs) {
      std::fputs("uidriver: the window is still there\n", stderr);
      return 1;
    }
    Sleep(kPollMs);
  }
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return usage();
  if (argc >= 3 && std::wcscmp(argv[1], L"-p") == 0) {
    imageFilter = argv[2];
    argv += 2;
    argc -= 2;
  }
  if (argc < 3) return usage();
  const wchar_t* command = argv[1];
  const wchar_t* caption = argv[2];
  if (std::wcscmp(command, L"rect") == 0) return commandRect(caption);
  if (std::wcscmp(command, L"run") == 0) return commandRun(caption);
  if (argc < 4) return usage();
  if (std::wcscmp(command, L"wait") == 0) return commandWait(caption, number(argv[3]));
  if (std::wcscmp(command, L"click") == 0)
    return commandClick(caption, number(argv[3]), argc > 4 ? number(argv[4]) : 5000);
  if (std::wcscmp(command, L"absent") == 0) return commandAbsent(caption, number(argv[3]));
  if (std::wcscmp(command, L"gone") == 0) return commandGone(caption, number(argv[3]));
  if (std::wcscmp(command, L"settext") == 0 && argc >= 5) return commandSetText(caption, number(argv[3]), argv[4]);
  if (std::wcscmp(command, L"send") == 0 && argc >= 7)
    return commandSend(caption, number(argv[3]), number(argv[4]), static_cast<WPARAM>(std::wcstol(argv[5], nullptr, 0)),
                       static_cast<LPARAM>(std::wcstol(argv[6], nullptr, 0)));
  return usage();
}
