// The roles the main window hands control to: the installer engine
// (VelInstaller: install, uninstall, build) and the archive operations
// (pack a folder, extract an archive). The shell in this folder only decides
// which role runs and with which arguments; the roles themselves live in the
// installer and archive layers and are plugged in through this interface.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/exit_status.h"
#include "system/apps_entry.h"
#include "system/failure.h"
#include "system/text_writer.h"
#include "ui/form.h"
#include "ui/toolkit.h"

namespace app {

class Roles {
 public:
  virtual ~Roles() = default;

  // Start-up, third window: creates the archive engine's progress and
  // question window (TDIndexedFile), hidden, and makes it the archive
  // module's window.
  virtual void CreateArchiveWindow(ui::Toolkit& toolkit) = 0;

  // The engine's life. CreateEngine runs when the main window is first shown
  // (the engine binds itself to the window's controls by name);
  // DestroyEngine when it closes, also when no engine was created.
  virtual void CreateEngine(ui::Form& main_window, ui::Toolkit& toolkit) = 0;
  virtual void DestroyEngine() = 0;

  // The engine's operations the dispatch calls.
  // Shows the named panel (or its page); "" hides every panel.
  virtual void ShowPanel(const std::string& name) = 0;
  // The value of a script variable ("" when not defined).
  virtual std::string GetSettingValue(const std::string& name) = 0;
  virtual void Build(const std::string& package_path, const std::string& project_folder,
                     const std::string& compression_mode, const std::string& stub_file, int64_t number) = 0;
  virtual void PrepareUninstall(const std::string& log_name) = 0;
  virtual void OpenPackage(const std::string& path) = 0;
  // Proposes `folder` on the Options panel as the user would choose it;
  // false when the script fixes the installation folder.
  virtual bool ProposeInstallFolder(const std::string& /*folder*/) { return false; }
  // Lets an older version install over a newer one without asking.
  virtual void AllowDowngrade() {}
  // --scope, /ALLUSERS, /CURRENTUSER: the scope chosen on the command line.
  virtual void UseScope(sys::InstallScope) {}
  // How an installation for every user runs elevated (see VelInstaller).
  using ElevatedInstall = std::function<std::optional<int>(const std::string& folder, bool noDesktopShortcut,
                                                           bool noStartMenuShortcut, bool allowDowngrade)>;
  virtual void SetElevatedInstall(ElevatedInstall) {}

  // The archive modes, each with its window title, closing messages and the
  // "normal" codec set up first, and no progress callback (so that the
  // archive window shows progress). True on success.
  virtual bool CreateArchive(const std::string& archive_file, const std::string& folder) = 0;
  virtual bool ExtractArchive(const std::string& archive_file, const std::string& destination) = 0;

  // The process's exit status once the main window has closed, derived
  // from the failure the role recorded (app/exit_status.h); `escaped` is
  // the failure of an exception that escaped an event and was shown in the
  // default error box (kind None when there was none).
  virtual int ExitCode(const sys::Failure& escaped) const = 0;
  // The role that ran, for the meaning of its exit code.
  virtual RoleKind role() const { return RoleKind::Other; }

  // Where a build reports the project's errors and warnings (see
  // installer/build_checks.h), and whether warnings stop it too (--werror).
  virtual void SetBuildChecks(sys::TextWriter* /*diagnostics*/, bool /*warningsAreErrors*/) {}
};

// The roles of a build that does not contain them yet: each operation tells
// the user that it "is not available in this build yet", closes the main
// window and makes the exit status 1. ShowPanel shows the plain panel
// "Pnl" + name and hides the others.
class UnavailableRoles : public Roles {
 public:
  void CreateArchiveWindow(ui::Toolkit&) override {}
  void CreateEngine(ui::Form& main_window, ui::Toolkit& toolkit) override;
  void DestroyEngine() override;
  void ShowPanel(const std::string& name) override;
  std::string GetSettingValue(const std::string&) override { return ""; }
  void Build(const std::string&, const std::string&, const std::string&, const std::string&, int64_t) override;
  void PrepareUninstall(const std::string&) override;
  void OpenPackage(const std::string&) override;
  bool CreateArchive(const std::string&, const std::string&) override;
  bool ExtractArchive(const std::string&, const std::string&) override;
  int ExitCode(const sys::Failure& escaped) const override {
    return unavailable_ ? kExitFailure : ArchiveExitCode(escaped.kind);
  }

 private:
  void Unavailable(const std::string& what);

  ui::Form* window_ = nullptr;
  ui::Toolkit* toolkit_ = nullptr;
  bool unavailable_ = false;
};

}  // namespace app
