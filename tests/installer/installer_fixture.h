// Shared set-up of the installer engine tests: the real main window, the
// scripted toolkit, and a real package written with the archive engine.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window_def.h"
#include "archive/archive.h"
#include "compression/stream_callbacks.h"
#include "installer/vel_installer.h"
#include "support/scripted_toolkit.h"
#include "support/temp_dir.h"
#include "system/paths.h"

namespace installer::testing {

// An engine whose runs only record that they were reached; the tests give
// the install run extra work through `onInstall`.
class RecordingInstaller : public VelInstaller {
 public:
  using VelInstaller::VelInstaller;
  void RunInstall() override {
    installRuns.push_back(installFolder);
    if (onInstall) onInstall();
  }
  bool RunUninstall() override {
    ++uninstallRuns;
    return true;
  }
  std::vector<std::string> installRuns;
  int uninstallRuns = 0;
  std::function<void()> onInstall;
};

// What a test package holds: the script ("install.dat", left out when
// `withScript` is false), wizard pages and program files.
struct PackageContent {
  std::string script{};
  bool withScript = true;
  std::map<std::string, std::string> pages{};    // under temp_dir\ (relative names)
  std::map<std::string, std::string> program{};  // under install_dir\ (relative names)
  std::vector<std::string> executable{};         // program files made executable (POSIX)
};

class InstallerTest : public ::testing::Test {
 protected:
  InstallerTest() : window(app::MainWindowDefinition()) {
    archive::ArchiveModule& module = archive::Module();
    module.dialog = nullptr;
    module.abort = false;
  }

  static char Sep() { return sys::PathSeparator(); }
  // A folder below the test's temporary folder, with its closing separator.
  std::string Folder(const std::string& name) const { return dir.dir() + name + Sep(); }

  // Creates the engine with its page folder inside the test's folder (as
  // construction makes it from the system's temporary folder).
  void MakeEngine() {
    engine = std::make_shared<RecordingInstaller>(window, toolkit);
    engine->pageFolder = Folder("pages");
    engine->SetSettingValue("temp_dir", engine->pageFolder);
  }

  // Writes a project and packs it into an installer file with a stub.
  std::string BuildPackage(const PackageContent& content) {
    const std::string files = dir.dir() + "project" + Sep() + "files" + Sep();
    if (content.withScript) dir.Write("project/files/install.dat", content.script);
    for (const auto& [name, text] : content.pages) dir.Write("project/files/temp_dir/" + name, text);
    for (const auto& [name, text] : content.program) dir.Write("project/files/install_dir/" + name, text);
    for (const std::string& name : content.executable) {
      std::filesystem::permissions(files + "install_dir/" + name, std::filesystem::perms::owner_exec |
                                                                      std::filesystem::perms::group_exec |
                                                                      std::filesystem::perms::others_exec,
                                   std::filesystem::perm_options::add);
    }
    const std::string stub = dir.Write("stub.bin", "MZ the installer's own program");
    const std::string package = dir.dir() + "setup" + std::to_string(++packages_) + ".exe";
    archive::ArchiveSetCodec("zlibfastest", compression::CompressStreamCallback, compression::ExpandStreamCallback);
    EXPECT_TRUE(archive::ArchiveCreateFromFolder(package, files, archive::kAllEntriesFilter, nullptr, nullptr, stub));
    return package;
  }

  bool Open(const PackageContent& content) {
    MakeEngine();
    return engine->OpenPackage(BuildPackage(content));
  }

  // The wizard panels whose own flag is visible, joined by "," (the window
  // itself need not be shown).
  std::string Showing() const {
    std::string joined;
    for (const ui::Control* control : window.controls()) {
      if (control->kind() == ui::ControlKind::Panel && control->name().starts_with("Pnl") && control->visible()) {
        joined += (joined.empty() ? "" : ",") + control->name();
      }
    }
    return joined;
  }

  ui::Control& Get(const std::string& name) { return window.Get(name); }

  testsupport::TempDir dir;
  ui::Form window;
  testsupport::ScriptedToolkit toolkit;
  std::shared_ptr<RecordingInstaller> engine;

 private:
  int packages_ = 0;
};

// A script with the usual variables; `install` is the proposed folder.
inline std::string StandardScript(const std::string& install, const std::string& extra = "") {
  return "# a test installer\r\n#variables\r\nProgramName=Test App\r\nProgramExe=testapp.exe\r\nVersion=2.5\r\n"
         "install_dir=" + install + "\r\napps_dir=" + install + "\r\n" + extra;
}

}  // namespace installer::testing
