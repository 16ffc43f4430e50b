// The setup launcher against the scripted process calls of the POSIX side: how commands
// split, which program an INF installation starts, and how long the installer wait runs.
#include <gtest/gtest.h>

#include <string>

#include "extract/scratch_util.h"
#include "post/setup.h"
#include "startup/settings.h"
#include "sys/process.h"
#include "sys/shell.h"

namespace {

std::string launch(const char* command, const char* destination, bool wait, sys::ProcessScript script = {}) {
  sys::setProcessScriptForTests(script);
  uint32_t exitCode;
  runSetupCommand(command, destination, wait, &exitCode);
  return sys::processLogForTests();
}

TEST(SetupCommand, ShellCommandsSplitIntoFileParametersAndFolder) {
  const struct { const char* destination; const char* command; const char* started; } cases[] = {
      {"C:\\D\\", "setup.exe -q", "C:\\D\\setup.exe|-q|C:\\D\\"},
      {"C:\\D\\", "Setup.EXE", "C:\\D\\Setup.EXE||C:\\D\\"},  // empty parameters, not none
      {"C:\\D\\", "setup.exe /x", "C:\\D\\setup.exe|/x|C:\\D\\"},
      {"C:\\D\\", "readme.txt", "C:\\D\\readme.txt|(null)|C:\\D\\"},
      {"C:\\D\\", "driver.inf x", "C:\\D\\driver.inf x|(null)|C:\\D\\"},
      // a switch right behind the name stays whole
      {"C:\\D\\", "setup.exe/S", "C:\\D\\setup.exe|/S|C:\\D\\"},
      // dots, backslashes and slashes in the parameters neither end the name nor move the folder
      {"C:\\D\\", "setup.exe -log C:\\tmp\\x.log -v 1.5", "C:\\D\\setup.exe|-log C:\\tmp\\x.log -v 1.5|C:\\D\\"},
      {"C:\\D\\", "bin\\tool.exe --dir=a/b", "C:\\D\\bin\\tool.exe|--dir=a/b|C:\\D\\bin\\"},
      // the destination's own folder names are not searched
      {"C:\\my.exe stuff\\", "setup.exe -q", "C:\\my.exe stuff\\setup.exe|-q|C:\\my.exe stuff\\"},
  };
  for (const auto& c : cases) {
    std::string log = launch(c.command, c.destination, false);
    EXPECT_EQ(log, std::string("shellExecute ") + c.started + "\ninputIdle\nexitCode\nclose\n") << c.command;
    EXPECT_EQ(sys::sleptMsForTests(), 100u) << c.command;
  }
}

TEST(SetupCommand, InstallerWaitFollowsTheProgramAndItsWindow) {
  const struct {
    const char* what;
    sys::ProcessScript script;
    uint64_t sleptMs;
    uint32_t searches;
  } cases[] = {
      // ended before the first look: 1 s, then up to 3000 searches of 10 ms
      {"quick exit, no window", {false, 0}, 100 + 1000 + 3000 * 10, 3000 * 3},
      // still running: polled every 100 ms, then up to 200 searches
      {"still running, no window", {false, sys::kStillActive, 5}, 100 + 5 * 100 + 1000 + 200 * 10, 200 * 3},
      // "Setup" shows at the third search's title look and closes after two more polls
      {"window titled Setup", {false, 0, 0, "", "Setup", 7, 5}, 100 + 1000 + 3 * 10 + 3 * 100, 3 * 3 + 3},
      {"MSI window", {false, 0, 0, "MsiDialogCloseClass", "", 1, 3}, 100 + 1000 + 10 + 3 * 100, 1 + 3},
      {"launch fails", {true}, 0, 0},
  };
  for (const auto& c : cases) {
    launch("setup.exe", "C:\\D\\", true, c.script);
    EXPECT_EQ(sys::sleptMsForTests(), c.sleptMs) << c.what;
    EXPECT_EQ(sys::windowSearchesForTests(), c.searches) << c.what;
  }
}

TEST(SetupCommand, InfInstallsThroughRundllFromTheSystemFolderOnly) {
  std::string system = makeScratchFolder();
  ASSERT_FALSE(system.empty());
  sys::setSystemFoldersForTests("C:\\Program Files", system.c_str(), "C:\\windows");
  const std::string rundll32 = system + "rundll32.exe", rundll = system + "rundll.exe";
  const std::string shortInf = "SHORT~1(C:\\D\\driver.INF)";
  const struct { bool has32, has16, shortFails; std::string log; } cases[] = {
      {true, true, false,
       "createProcess " + rundll32 + "|\"" + rundll32 + "\" setupapi,InstallHinfSection DefaultInstall 132 " +
           shortInf + "|C:\\D\\\nwait forever\nexitCode\nclose\n"},
      {false, true, false,
       "createProcess " + rundll + "|\"" + rundll + "\" setupx.dll,InstallHinfSection DefaultInstall 132 " +
           shortInf + "|C:\\D\\\nwait forever\nexitCode\nclose\n"},
      {false, false, false, ""},  // never a program of that name found elsewhere
      {true, false, true, ""},    // the INF cannot be reached: nothing to install
  };
  for (const auto& c : cases) {
    removeTree(system);
    ASSERT_TRUE(makeFolder(system));
    if (c.has32) {
      ASSERT_TRUE(writeFileText(rundll32, "program"));
    }
    if (c.has16) {
      ASSERT_TRUE(writeFileText(rundll, "program"));
    }
    sys::ProcessScript script;
    script.shortPathFails = c.shortFails;
    // waited for although the package does not delete its files
    EXPECT_EQ(launch("driver.INF", "C:\\D\\", false, script), c.log);
  }
  removeTree(system);
  sys::setSystemFoldersForTests(nullptr, nullptr, nullptr);
}

TEST(SetupCommand, FolderOpensInTheShell) {
  sys::setProcessScriptForTests({});
  openDestinationFolder("C:\\D\\");
  EXPECT_EQ(std::string(sys::processLogForTests()), "openFolder C:\\D\\\n");
}

TEST(SetupCommand, InstallerWindowSearchFillsOneName) {
  char className[128], title[128];
  sys::setProcessScriptForTests({false, 0, 0, "InstallShield_Win", "", 1, 10});
  className[0] = title[0] = '\0';
  EXPECT_TRUE(findInstallerWindow(className, title));
  EXPECT_STREQ(className, "InstallShield_Win");
  EXPECT_STREQ(title, "");
  sys::setProcessScriptForTests({});
  className[0] = title[0] = '\0';
  EXPECT_FALSE(findInstallerWindow(className, title));
  EXPECT_STREQ(className, "");
  EXPECT_STREQ(title, "");
}

}  // namespace
