// Shared set-up of the install, build and uninstall tests: the real engine
// (its runs not replaced) with every special folder inside the test's
// temporary folder.
#pragma once

#include "installer/installer_fixture.h"
#include "system/files.h"
#include "system/shortcuts.h"
#include "system/uninstall_log.h"

namespace installer::testing {

// The bytes an uninstaller copy ends with: 5258792 as a little-endian int64.
inline const std::string kTailBytes("\x28\x3e\x50\x00\x00\x00\x00\x00", 8);
inline const std::string kStubBytes = "MZ the installer's own program";

class LifecycleTest : public InstallerTest {
 protected:
  void SetUp() override {
    if (touchesSpecialFolders && !testsupport::SandboxFolders::kRedirected) {
      GTEST_SKIP() << "special folders cannot be redirected here";
    }
  }

  // False for tests that write below no folder keyword: they run everywhere.
  bool touchesSpecialFolders = true;

  // A real engine on `form`; its page folder is made in the sandbox.
  static std::shared_ptr<VelInstaller> MakeRealEngine(ui::Form& form, ui::Toolkit& tk) {
    return std::make_shared<VelInstaller>(form, tk);
  }

  // Opens a package written from `content` in a real engine.
  void OpenReal(const PackageContent& content) {
    vel.reset();  // the old engine unbinds the window's controls as it goes
    vel = MakeRealEngine(window, toolkit);
    toolkit.ShowForm(window);  // the user's clicks reach the shown window
    ASSERT_TRUE(vel->OpenPackage(BuildPackage(content)));
  }

  // Installs into `folder` as "Next" on the Options panel does.
  void InstallInto(const std::string& folder) {
    vel->SetInstallFolder(folder);
    vel->RunInstall();
  }

  static std::string DataFolder(const std::string& programName) { return sys::ProgramDataFolder(programName); }

  // The log's lines, split at CR LF ("" when the log is missing).
  static std::vector<std::string> LogLines(const std::string& path) {
    std::vector<std::string> lines;
    const std::string text = testsupport::ReadFile(path);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
      lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
    return lines;
  }

  std::shared_ptr<VelInstaller> vel;
};

}  // namespace installer::testing
