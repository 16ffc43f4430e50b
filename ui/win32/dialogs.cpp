// The destination dialog (102), the shell folder browser and the replace dialog (119).
#include "ui/win32/dialogs.h"

#include <shlobj.h>
#include <shellapi.h>

#include <cstring>

#include "extract/paths.h"
#include "res/resource.h"
#include "startup/settings.h"
#include "sys/text.h"
#include "sys/ui.h"
#include "sys/win32/wide.h"
#include "ui/format.h"
#include "ui/strings.h"

namespace {

constexpr UINT kStopAnimation = 1026;
constexpr UINT kPlayAnimation = 1025;
constexpr int kQuestionFormatUnits = 64;  // control 117 is read back this far as a format

struct DialogState {
  const char* archiveName;        // for the destination dialog's check box
  sys::ReplaceHook replaceHook;   // test programs only
  sys::DestinationHook destinationHook;
};
DialogState dialogState;

HINSTANCE programInstance() { return GetModuleHandleW(nullptr); }

// The dialogs are windows of UTF-16 texts, so a name the ANSI code page cannot write
// shows and comes back as it is.
void setText(HWND dialog, int control, const char* text) {
  SetDlgItemTextW(dialog, control, sys::Wide(text));
}

void getText(HWND dialog, int control, char* out, int capacity, int units) {
  wchar_t text[520];
  GetDlgItemTextW(dialog, control, text, units < 520 ? units : 520);
  if (!sys::toUtf8(text, out, capacity)) out[0] = '\0';
}

// False for a text longer than a path: it is never cut (that would name a parent folder);
// the destination then holds a text that is not UTF-8, which the destination rules refuse.
bool readDestination(HWND dialog) {
  wchar_t text[kPathUnits + 1];
  UINT n = GetDlgItemTextW(dialog, IDC_DESTINATION_EDIT, text, kPathUnits + 1);
  if (n < kPathUnits && sys::toUtf8(text, sfxSettings.destinationPath, sizeof sfxSettings.destinationPath))
    return true;
  std::strcpy(sfxSettings.destinationPath, "\xFF");
  return false;
}

INT_PTR CALLBACK destinationProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    dialogState.archiveName = reinterpret_cast<const char*>(lParam);
    setText(dialog, IDC_DESTINATION_EDIT, sfxSettings.destinationPath);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      readDestination(dialog);
      EndDialog(dialog, 1);
      return TRUE;
    case IDCANCEL:
      EndDialog(dialog, 2);
      return TRUE;
    case IDC_BROWSE:
      readDestination(dialog);
      if (BrowseForFolder(dialog, sfxSettings.destinationPath))
        setText(dialog, IDC_DESTINATION_EDIT, sfxSettings.destinationPath);
      return TRUE;
    case IDC_CREATE_ARCHIVE_FOLDER:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (!readDestination(dialog)) return TRUE;  // the text stays as typed
      applyArchiveFolderBox(sfxSettings.destinationPath,
                            IsDlgButtonChecked(dialog, IDC_CREATE_ARCHIVE_FOLDER) == BST_CHECKED,
                            dialogState.archiveName);
      setText(dialog, IDC_DESTINATION_EDIT, sfxSettings.destinationPath);
      return TRUE;
  }
  return FALSE;
}

int CALLBACK browseCallback(HWND browser, UINT message, LPARAM, LPARAM initialPath) {
  if (message == BFFM_INITIALIZED) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, initialPath);
  return 0;
}

// Size and date of one side of the replace question; a stamp of 0 leaves the control as
// the template has it.
void showMemberInfo(HWND dialog, int control, uint32_t stamp, uint32_t size) {
  if (stamp == 0) return;
  char info[256];
  if (FormatMemberInfo(stamp, info, sizeof info) == 0) return;
  const char* sizeText = FormatThousands(size);
  char text[320];
  sys::formatText(text, sizeof text, info, sizeText ? sizeText : "");
  setText(dialog, control, text);
}

void initReplaceDialog(HWND dialog, const sys::ReplaceInfo& info) {
  char folder[kPathBytes], name[kPathBytes];
  splitFolderAndName(info.existingPath, folder, name);
  char format[3 * kQuestionFormatUnits];
  getText(dialog, IDC_REPLACE_QUESTION, format, sizeof format, kQuestionFormatUnits);
  char question[3 * kQuestionFormatUnits + kPathBytes];
  sys::formatText(question, sizeof question, format, name);
  setText(dialog, IDC_REPLACE_QUESTION, question);

  SHFILEINFOW file{};
  if (SHGetFileInfoW(sys::Wide(info.existingPath), 0, &file, sizeof file, SHGFI_ICON) && file.hIcon) {
    SendDlgItemMessageW(dialog, IDC_EXISTING_ICON, STM_SETICON, reinterpret_cast<WPARAM>(file.hIcon), 0);
    SendDlgItemMessageW(dialog, IDC_ARCHIVED_ICON, STM_SETICON, reinterpret_cast<WPARAM>(file.hIcon), 0);
  }
  showMemberInfo(dialog, IDC_EXISTING_INFO, info.existingStamp, info.existingSize);
  showMemberInfo(dialog, IDC_ARCHIVED_INFO, info.memberStamp, info.memberSize);
}

void destroyFileIcons(HWND dialog) {
  auto icon = [dialog](int control) {
    return reinterpret_cast<HICON>(SendDlgItemMessageW(dialog, control, STM_GETICON, 0, 0));
  };
  HICON existing = icon(IDC_EXISTING_ICON);
  HICON archived = icon(IDC_ARCHIVED_ICON);
  if (existing) DestroyIcon(existing);
  if (archived && archived != existing) DestroyIcon(archived);
}

INT_PTR CALLBACK replaceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      initReplaceDialog(dialog, *reinterpret_cast<const sys::ReplaceInfo*>(lParam));
      return TRUE;
    case WM_DESTROY:
      destroyFileIcons(dialog);
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDYES: EndDialog(dialog, sys::kReplaceYes); return TRUE;
        case IDNO: EndDialog(dialog, sys::kReplaceNo); return TRUE;
        case IDC_YES_TO_ALL: EndDialog(dialog, sys::kReplaceAll); return TRUE;
        case IDC_NEWER:
          sfxSettings.newerOnly = 1;
          EndDialog(dialog, sys::kReplaceYes);
          return TRUE;
        case IDC_REPLACE_CANCEL:
        case IDCANCEL:
          EndDialog(dialog, sys::kReplaceCancel);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

bool BrowseForFolder(HWND owner, char* path) {
  char title[128 * 3];
  sys::loadString(kStrBrowseTitle, title, sizeof title);
  sys::Wide wideTitle(title), initial(path);
  wchar_t display[MAX_PATH];
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.pszDisplayName = display;
  browse.lpszTitle = wideTitle;
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (path[0]) {
    browse.lpfn = browseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(initial.text);
  }
  // The new dialog style needs COM in a single-threaded apartment on this thread.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool chosen = false;
  if (LPITEMIDLIST list = SHBrowseForFolderW(&browse)) {
    wchar_t folder[MAX_PATH];
    if (SHGetPathFromIDListW(list, folder)) chosen = sys::toUtf8(folder, path, kPathBytes);
    IMalloc* shellAllocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&shellAllocator))) {
      shellAllocator->Free(list);
      shellAllocator->Release();
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return chosen;
}

namespace sys {

int ShowDestinationDialog(const char* archiveName) {
  if (dialogState.destinationHook) return dialogState.destinationHook(archiveName);
  INT_PTR result = DialogBoxParamW(programInstance(), MAKEINTRESOURCEW(IDD_DESTINATION), nullptr,
                                   destinationProc, reinterpret_cast<LPARAM>(archiveName));
  // A dialog that cannot be shown cannot be confirmed either.
  return result == 1 ? 1 : 2;
}

int ShowReplaceDialog(const ReplaceInfo& info) {
  if (dialogState.replaceHook) return dialogState.replaceHook(info);
  HWND progress = static_cast<HWND>(progressWindow());
  if (progress) SendMessageW(progress, kStopAnimation, 0, 0);
  // The shell's file icons need COM on this thread (the worker's).
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INT_PTR result = DialogBoxParamW(programInstance(), MAKEINTRESOURCEW(IDD_REPLACE), progress,
                                   replaceProc, reinterpret_cast<LPARAM>(&info));
  if (SUCCEEDED(com)) CoUninitialize();
  if (progress) SendMessageW(progress, kPlayAnimation, 0, 0);
  // Cancel closes the progress window once the dialog is gone, so the owner never goes
  // before the window it owns; a dialog that cannot be shown stops the run the same way
  // rather than letting files be replaced unasked.
  if (result != kReplaceYes && result != kReplaceNo && result != kReplaceAll) {
    if (progress) SendMessageW(progress, WM_CLOSE, 0, 0);
    return kReplaceCancel;
  }
  return static_cast<int>(result);
}

void setReplaceHook(ReplaceHook hook) { dialogState.replaceHook = hook; }
void setDestinationHook(DestinationHook hook) { dialogState.destinationHook = hook; }

}  // namespace sys
