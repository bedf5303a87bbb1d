// What the desktop integration writes, checked by the freedesktop tools
// themselves (desktop-file-utils, xdg-utils, shared-mime-info), with every
// XDG folder inside the test's sandbox.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "sandbox_folders.h"
#include "system/associations.h"
#include "system/posix/desktop_entry_posix.h"
#include "system/shortcuts.h"

namespace {

namespace fs = std::filesystem;
using testsupport::SandboxFolders;

// Skips the test, saying which package to install, when a tool is missing.
#define REQUIRE_TOOL(tool, package)                                                        \
  if (!sys::platform::desktop::OnPath(tool))                                               \
  GTEST_SKIP() << tool " is not installed (package " package "; scripts/setup installs it)"

// The sandbox as the desktop's tools see it: user folders in the sandbox's
// home, the all-users folders below BREVION_ROOT.
class DesktopTools : public ::testing::Test {
 protected:
  std::string Environment() const {
    const std::string root = sandbox.temp().dir() + "root";
    const std::string home = sandbox.temp().dir() + "home";
    return "env XDG_DATA_HOME='" + home + "/.local/share' XDG_CONFIG_HOME='" + home + "/.config' XDG_DATA_DIRS='" +
           root + "/usr/share' XDG_CONFIG_DIRS='" + root + "/etc/xdg' XDG_CURRENT_DESKTOP=GNOME ";
  }

  // Runs a shell command in the sandbox's environment: its exit status and
  // output (standard error included), without the last line break.
  std::pair<int, std::string> Run(const std::string& command) const {
    FILE* pipe = popen((Environment() + command + " 2>&1").c_str(), "r");
    std::string output;
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const int status = pipe ? pclose(pipe) : -1;
    if (!output.empty() && output.back() == '\n') output.pop_back();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
  }

  static std::string Quoted(const std::string& path) { return "'" + path + "'"; }

  SandboxFolders sandbox;
};

TEST_F(DesktopTools, EveryLauncherPassesDesktopFileValidate) {
  REQUIRE_TOOL("desktop-file-validate", "desktop-file-utils");
  const std::string app = sandbox.Scratch("My App's 100% folder") + "run $me.sh";
  struct Case {
    std::string name, keyword, subfolder, arguments, icon;
  };
  const std::vector<Case> cases = {
      {"Brevion Notes", "user_desktop", "", "", "/opt/notes/notes.ico"},
      {"Brevion Notes", "programs", "Brevion Notes", "--new \"first note\" 50%", ""},
      {"Uninstall Brevion Notes", "programs", "Brevion Notes", "uninstall \"Brevion Notes\"", ""},
      {" Odd; name = [x]", "user_programs", "Tools\\Sub", "a'b `c` \\d $e", ""},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(sys::CreateShortcut(app, c.arguments, c.name, c.keyword, c.icon, c.subfolder));
    const std::string launcher = sys::ShortcutPath(c.name, c.keyword, c.subfolder);
    ASSERT_TRUE(launcher.ends_with(".desktop")) << launcher;
    EXPECT_EQ(fs::status(launcher).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    const auto [status, output] = Run("desktop-file-validate " + Quoted(launcher));
    EXPECT_EQ(status, 0) << launcher << "\n" << output;
    EXPECT_EQ(output.find("error"), std::string::npos) << output;
    // The uninstaller asks on a terminal.
    EXPECT_EQ(testsupport::ReadFile(launcher).find("Terminal=true\n") != std::string::npos,
              c.arguments.starts_with("uninstall "));
    const auto link = sys::ReadShortcut(launcher);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->target, app);
    EXPECT_EQ(sys::platform::desktop::SplitCommandLine(link->arguments),
              sys::platform::desktop::SplitCommandLine(c.arguments));
  }
}

TEST_F(DesktopTools, AssociationIsTheDefaultForItsTypeUntilUninstalled) {
  REQUIRE_TOOL("xdg-mime", "xdg-utils");
  REQUIRE_TOOL("update-mime-database", "shared-mime-info");
  REQUIRE_TOOL("gio", "libglib2.0-bin");
  const std::string program = sandbox.temp().Write("scratch/app/notes.cmd", "#!/bin/sh\n");
  fs::permissions(program, fs::perms::owner_all);
  const std::string document = sandbox.temp().Write("scratch/docs/first.bvnote", "Shopping: tea.");
  const std::string mime = sandbox.temp().dir() + "root/usr/share/mime/";

  const std::string icon = std::string(BREVION_TEST_DATA) + "/../../examples/notes/files/install_dir/notes.ico";
  sys::SetFileAssociation(program, ".bvnote", icon);
  EXPECT_EQ(Run("xdg-mime query filetype " + Quoted(document)).second, "application/x-notes-bvnote");
  EXPECT_EQ(Run("xdg-mime query default application/x-notes-bvnote").second, "brevion-bvnote.desktop");
  const std::string handler = sandbox.temp().dir() + "root/usr/share/applications/brevion-bvnote.desktop";
  EXPECT_EQ(Run("desktop-file-validate " + Quoted(handler)).first, 0);
  EXPECT_TRUE(fs::exists(mime + "application/x-notes-bvnote.xml")) << "update-mime-database ran";
  // The example's icon (a 16-pixel bitmap in an ICO file) becomes a PNG
  // that an image reader takes.
  const std::string themeIcon =
      sandbox.temp().dir() + "root/usr/share/icons/hicolor/16x16/mimetypes/application-x-notes-bvnote.png";
  ASSERT_TRUE(fs::exists(themeIcon));
  if (sys::platform::desktop::OnPath("identify")) {
    EXPECT_EQ(Run("identify -regard-warnings -format %wx%h " + Quoted(themeIcon)).second, "16x16");
  }

  sys::RemoveFileAssociation(program, ".bvnote");
  EXPECT_FALSE(fs::exists(mime + "application/x-notes-bvnote.xml")) << "the database was rebuilt";
  EXPECT_NE(Run("xdg-mime query filetype " + Quoted(document)).second, "application/x-notes-bvnote");
  EXPECT_EQ(Run("xdg-mime query default application/x-notes-bvnote").second, "");
}

}  // namespace
#endif
