// Shared set-up of the installer engine tests: the real main window, the
// scripted toolkit, a real package written with the archive engine, and the
// real engine with every special folder inside the test's temporary folder
// (where the platform allows it: see SandboxFolders).
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
#include "installer/vel_installer.h"
#include "support/scripted_toolkit.h"
#include "support/temp_dir.h"
#include "system/paths.h"
#include "system/sandbox_folders.h"

namespace installer::testing {

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

  // Creates the engine; its page folder is made in the sandbox's
  // temporary folder.
  void MakeEngine(ui::Toolkit* kit = nullptr) { engine = std::make_shared<VelInstaller>(window, kit ? *kit : toolkit); }

  // Performs `action` at the first message pump of the next install run
  // (once it is extracting, with `whileBusy`); pumps before the run pass
  // it on.
  void DuringInstall(const std::string& label, std::function<void()> action, bool whileBusy = false) {
    toolkit.QueueActionDuringWork(label, [this, label, action, whileBusy] {
      if (engine && engine->InstallStarted() && (!whileBusy || engine->Busy())) {
        action();
      } else {
        DuringInstall(label, action, whileBusy);
      }
    });
  }
  // Stops the next install run as soon as it has begun, as the owner going
  // away does: the run takes its folder, then rolls back, so that nothing
  // is left outside the test's folder on any platform.
  void CancelNextInstall() {
    DuringInstall("cancel the install", [this] { engine->RequestCancel(); });
  }
  // Clicks `control` while the next install run extracts.
  void ClickWhileBusy(const std::string& control) {
    DuringInstall("click " + control, [this, control] { Get(control).Click(); }, true);
  }
  // The folder the last install run took, "" when none ran.
  std::string InstalledInto() const {
    return engine && engine->InstallStarted() ? engine->InstallFolder() : std::string();
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
    archive::ArchiveSetStreamCodec("zlibfastest");
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
  testsupport::SandboxFolders sandbox;
  std::shared_ptr<VelInstaller> engine;

 private:
  int packages_ = 0;
};

// A script with the usual variables; `install` is the proposed folder.
inline std::string StandardScript(const std::string& install, const std::string& extra = "") {
  return "# a test installer\r\n#variables\r\nProgramName=Test App\r\nProgramExe=testapp.exe\r\nVersion=2.5\r\n"
         "install_dir=" + install + "\r\napps_dir=" + install + "\r\n" + extra;
}

}  // namespace installer::testing
