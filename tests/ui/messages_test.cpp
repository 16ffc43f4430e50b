// The message table as the core hands it to the platform: text, caption, flags, owner.
#include <gtest/gtest.h>

#include <string>

#include "startup/settings.h"
#include "sys/ui.h"
#include "ui/messages.h"

namespace {

struct Shown {
  std::string text, caption;
  unsigned flags;
  sys::WindowHandle owner;
};
Shown shown;

int record(sys::WindowHandle owner, const char* text, const char* caption, unsigned flags) {
  shown = {text, caption, flags, owner};
  return sys::kIdOk;
}

struct HookGuard {
  HookGuard() { sys::setMessageHook(record); }
  ~HookGuard() {
    sys::setMessageHook(nullptr);
    sys::setProgressWindow(nullptr);
  }
};

TEST(ShowMessage, RowsGiveTextCaptionFlagsAndOwner) {
  HookGuard guard;
  int window = 0;
  sys::setProgressWindow(&window);
  const struct { Message message; const char* argument; const char* text; const char* caption; unsigned flags; bool owned; } rows[] = {
      {Message::cannotCreateFile, nullptr, "Cannot create a file.", "ZAR-OZA", 0x10, true},
      {Message::notSupportedFormat, nullptr, "not supported archive format.", "ZAR-OZA", 0x10, false},
      {Message::folderQuestion, "C:\\x\\", "The Folder 'C:\\x\\' does not exist.\nDo you want to create it?", "ZAR-OZA", 0x21, false},
      {Message::invalidFileName, "a:b", "a:b\n\ninvalid filename.(skipped)", "ZAR-OZA", 0x30, false},
      {Message::crcCheckError, "C:\\p.exe", "CRC check error!", "Warning", 0x10, false},
      {Message::invalidHeader, nullptr, "invalid header.", "ZAR-OZA", 0x10, true},
      {Message::badTableC, nullptr, "Bad table (case c)", "ZAR-OZA", 0x10, true},
  };
  for (const auto& r : rows) {
    showMessage(r.message, r.argument);
    EXPECT_EQ(shown.text, r.text);
    EXPECT_EQ(shown.caption, r.caption) << r.text;
    EXPECT_EQ(shown.flags, r.flags) << r.text;
    EXPECT_EQ(shown.owner, r.owned ? static_cast<sys::WindowHandle>(&window) : nullptr) << r.text;
  }
}

TEST(ShowMessage, StartupQuestionUsesThePromptAndAnswersWithTheButton) {
  HookGuard guard;
  std::snprintf(sfxSettings.promptTitle, sizeof sfxSettings.promptTitle, "Setup");
  std::snprintf(sfxSettings.promptText, sizeof sfxSettings.promptText, "Install?");
  EXPECT_EQ(showMessage(Message::startupQuestion), sys::kIdOk);
  EXPECT_EQ(shown.text, "Install?");
  EXPECT_EQ(shown.caption, "Setup");
  EXPECT_EQ(shown.flags, 0x24u);
}

TEST(ShowMessage, LongestDestinationIsShownWhole) {
  HookGuard guard;
  std::string path = "C:\\" + std::string(255, 'd') + "\\";  // 259 bytes
  showMessage(Message::folderQuestion, path.c_str());
  EXPECT_NE(shown.text.find(path + "' does not exist."), std::string::npos);
  EXPECT_EQ(shown.text.substr(shown.text.size() - 25), "Do you want to create it?");
}

}  // namespace
