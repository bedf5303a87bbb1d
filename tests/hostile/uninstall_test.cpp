// Uninstall logs whose shortcut lines lead out of their keyword folder: a
// name or subfolder with "..", an absolute path or a drive. The replay
// passes over them; nothing outside the keyword folders is touched.
#include <gtest/gtest.h>

#include "hostile/hostile_support.h"
#include "system/files.h"
#include "system/sandbox_folders.h"
#include "system/shortcuts.h"
#include "system/uninstall_log.h"

namespace hostile {
namespace {

using testsupport::SandboxFolders;

TEST(HostileUninstall, ShortcutLinesLeadingOutOfTheirFolderAreSkipped) {
  SandboxFolders sandbox;
  if (!SandboxFolders::kRedirected) GTEST_SKIP() << "the keyword folders are the real ones here";
  const std::string desktop = sys::SpecialFolderPath("user_desktop");
  ASSERT_FALSE(desktop.empty());
  // A folder beside the desktop holding a link file and hidden settings: it
  // would go as a "left empty" shortcut folder.
  const std::string victim = sandbox.Scratch("victim");
  sandbox.temp().Write("scratch/victim/App" + std::string(sys::platform::kShortcutExtension), "someone else's link");
  sandbox.temp().Write("scratch/victim/.settings", "hidden but precious");
  const TreeSnapshot before = Snapshot(sandbox.temp().path() / "scratch");
  const std::string up = sys::ToBackslashes(fs::relative(victim, desktop).string());
  ASSERT_TRUE(up.starts_with("..")) << up;

  const std::string log = sandbox.temp().dir() + "logs/App.inst";
  ASSERT_TRUE(sys::SaveUninstallLog(
      log, {sys::ShortcutLogLine("App", "user_desktop", up), sys::ShortcutLogLine(up + "\\App", "user_desktop", ""),
            sys::ShortcutLogLine("App", "user_desktop", victim), sys::ShortcutLogLine("App", "user_desktop", "C:\\x"),
            sys::ShortcutLogLine("..", "user_desktop", ""), sys::ShortcutLogLine("App", "user_desktop", "sub\\..\\..")}));
  EXPECT_TRUE(sys::ReplayUninstallLog(log).logFound);
  EXPECT_EQ(Snapshot(sandbox.temp().path() / "scratch"), before);
  EXPECT_FALSE(sys::FileExists(log));

  // A shortcut in a real subfolder still goes, with its emptied folder.
  ASSERT_TRUE(sys::CreateShortcut("/bin/true", "", "App", "user_desktop", "", "Tools"));
  EXPECT_TRUE(sys::DeleteShortcut("App", "user_desktop", "Tools"));
  EXPECT_FALSE(sys::FolderExists(desktop + "Tools"));
}

}  // namespace
}  // namespace hostile
