// Every message box of the program: one row per message with its text, caption, buttons,
// icon and owner, so callers name the message and nothing else.
#pragma once

enum class Message {
  cannotCreateFile,      // string 1, owner the progress window
  cannotOpenArchive,     // string 2
  notSupportedFormat,    // string 3
  folderQuestion,        // string 4 with the destination; OK/Cancel
  invalidFileName,       // string 6 with the member path
  cannotCreateFolder,    // string 7
  crcCheckError,         // string 8 with the program's path, caption "Warning"
  needs64Bit,            // string 12
  startupQuestion,       // promptText, caption promptTitle; Yes/No
  invalidHeader,         // "invalid header.", owner the progress window when it exists
  crcError,              // "CRC Error!", owner the progress window
  badTableA,             // "Bad table (case a)" ... owner the progress window
  badTableB,
  badTableC,
};

// Shows the message (argument fills the "%s" of rows that have one) and returns the button
// pressed: sys::kIdOk, kIdCancel, kIdYes or kIdNo.
int showMessage(Message message, const char* argument = nullptr);
