// Resource ids shared by the resource script and the window procedures. Plain #defines,
// so the resource compiler can read the file too.
#pragma once

// Dialog templates
#define IDD_DESTINATION 102
#define IDD_CRC_CHECK 103
#define IDD_REPLACE 119
#define IDD_PROGRESS 120

// Icon groups: the executable's own icon and the one the replace dialog shows
#define IDI_PROGRAM 103
#define IDI_REPLACE 104

// Destination dialog
#define IDC_DESTINATION_EDIT 109
#define IDC_BROWSE 108
#define IDC_CREATE_ARCHIVE_FOLDER 118

// Replace dialog
#define IDC_REPLACE_ICON 121
#define IDC_REPLACE_QUESTION 117
#define IDC_EXISTING_ICON 105
#define IDC_EXISTING_INFO 113
#define IDC_ARCHIVED_ICON 107
#define IDC_ARCHIVED_INFO 116
#define IDC_YES_TO_ALL 110
#define IDC_NEWER 112
#define IDC_REPLACE_CANCEL 115

// CRC-check and progress windows
#define IDC_PROGRESS_BAR 111
#define IDC_MEMBER_PATH 114

// Application manifest
#define IDR_MANIFEST 1
