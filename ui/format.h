// Size and date texts of the replace dialog, and the rule of the destination dialog's
// "folder as the archive name" check box. Portable: the native tests run them.
#pragma once
#include <cstdint>

// Decimal text with "," every three digits from the right, in a 32-byte buffer that every
// call reuses; null when the text would not fit it.
const char* FormatThousands(uint32_t value);

// String 9 filled with the date and time of a DOS stamp (date in the high 16 bits). The
// "%s" left at its start takes the formatted size. Returns the bytes written, 0 when
// there is nothing to show.
int FormatMemberInfo(uint32_t dosDateTime, char* out, int capacity);
// The same with the format given: English layout when it holds "Byte", else Japanese
// (year first, weekday character put in at the first '?').
int formatMemberInfoWith(const char* format, uint32_t dosDateTime, char* out, int capacity);

// 0 is Sunday; Zeller's congruence on the Gregorian calendar.
int weekdayOf(int year, int month, int day);

// One click on the check box: `text` (kPathBytes) is the edit text. Checked: the archive
// name is appended as a folder. Cleared: a final folder equal to the archive name is taken
// off again. Either way the text ends in a backslash.
void applyArchiveFolderBox(char* text, bool checked, const char* archiveName);
