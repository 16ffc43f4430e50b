#include "ui/messages.h"

#include <cstddef>

#include "startup/settings.h"
#include "sys/text.h"
#include "sys/ui.h"
#include "ui/strings.h"

namespace {

enum class Owner { none, progressWindow };

struct MessageRow {
  unsigned stringId;     // 0: the text is `literal`
  const char* literal;
  bool takesArgument;    // the text is a format with one %s
  const char* caption;   // null: the start-up question's own title
  unsigned flags;
  Owner owner;
};

using namespace sys;
// In the order of enum Message.
const MessageRow kMessageRows[] = {
    {kStrCannotCreateFile, nullptr, false, kCaption, kMbOk | kMbIconError, Owner::progressWindow},
    {kStrCannotOpenArchive, nullptr, false, kCaption, kMbOk | kMbIconError, Owner::none},
    {kStrNotSupportedFormat, nullptr, false, kCaption, kMbOk | kMbIconError, Owner::none},
    {kStrFolderMissingQuestion, nullptr, true, kCaption, kMbOkCancel | kMbIconQuestion, Owner::none},
    {kStrInvalidFileName, nullptr, true, kCaption, kMbOk | kMbIconWarning, Owner::none},
    {kStrCannotCreateFolder, nullptr, false, kCaption, kMbOk | kMbIconError, Owner::none},
    {kStrCrcCheckError, nullptr, true, "Warning", kMbOk | kMbIconError, Owner::none},
    {kStrNeeds64Bit, nullptr, false, kCaption, kMbOk | kMbIconError, Owner::none},
    {0, nullptr, false, nullptr, kMbYesNo | kMbIconQuestion, Owner::none},
    {0, "invalid header.", false, kCaption, kMbOk | kMbIconError, Owner::progressWindow},
    {0, "CRC Error!", false, kCaption, kMbOk | kMbIconError, Owner::progressWindow},
    {0, "Bad table (case a)", false, kCaption, kMbOk | kMbIconError, Owner::progressWindow},
    {0, "Bad table (case b)", false, kCaption, kMbOk | kMbIconError, Owner::progressWindow},
    {0, "Bad table (case c)", false, kCaption, kMbOk | kMbIconError, Owner::progressWindow},
};
static_assert(sizeof kMessageRows / sizeof kMessageRows[0] == static_cast<size_t>(Message::badTableC) + 1);

}  // namespace

int showMessage(Message message, const char* argument) {
  const MessageRow& row = kMessageRows[static_cast<size_t>(message)];
  // Room for the longest format (string 8, 256 UTF-8 bytes) with the longest path.
  char format[256];
  char text[256 + 3 * 260];
  const char* shown = row.literal;
  const char* caption = row.caption;
  if (message == Message::startupQuestion) {
    shown = sfxSettings.promptText;
    caption = sfxSettings.promptTitle;
  } else if (row.stringId != 0) {
    sys::loadString(row.stringId, format, sizeof format);
    if (row.takesArgument) {
      sys::formatText(text, sizeof text, format, argument ? argument : "");
      shown = text;
    } else {
      shown = format;
    }
  }
  WindowHandle owner = row.owner == Owner::progressWindow ? sys::progressWindow() : nullptr;
  return sys::messageBox(owner, shown, caption, row.flags);
}
