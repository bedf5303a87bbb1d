// The roles the main window hands control to: the installer engine
// (VelInstaller: install, uninstall, build) and the archive operations
// (pack a folder, extract an archive). The main window only decides which
// role runs and with which arguments; the roles themselves live in the
// installer and archive layers. Roles owns the engine for the life of the
// main window and keeps what each role recorded for the exit status.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/archive_modes.h"
#include "app/exit_status.h"
#include "installer/vel_installer.h"
#include "system/apps_entry.h"
#include "system/failure.h"
#include "system/text_writer.h"
#include "ui/form.h"
#include "ui/toolkit.h"

namespace app {

class Roles final {
 public:
  // Start-up, third window: creates the archive engine's progress and
  // question window (TDIndexedFile), hidden, and makes it the archive
  // module's window.
  void CreateArchiveWindow(ui::Toolkit& toolkit) { modes_.CreateArchiveWindow(toolkit); }

  // The engine's life. CreateEngine runs when the main window is first
  // shown (the engine binds itself to the window's controls by name);
  // DestroyEngine when it closes, also when no engine was created. A run
  // that is still active (the window was closed from inside it) is asked
  // to stop and keeps the engine until it returns.
  void CreateEngine(ui::Form& mainWindow, ui::Toolkit& toolkit);
  void DestroyEngine();
  // The engine while the main window is open, else nullptr.
  installer::VelInstaller* engine() const { return engine_.get(); }

  // Shows the named panel (or its page); "" hides every panel.
  void ShowPanel(const std::string& name);
  // The value of a script variable ("" when not defined).
  std::string GetSettingValue(const std::string& name) const;
  // Checks the project first (with diagnostics set, see SetBuildChecks):
  // its errors, or with --werror its warnings, stop the build with "bad
  // project". Then builds with the stub BuildStubFor chooses when none is
  // given.
  void Build(const std::string& packagePath, const std::string& projectFolder, const std::string& compressionMode,
             const std::string& stubFile, int64_t number);
  void PrepareUninstall(const std::string& logName);
  void OpenPackage(const std::string& path);
  // Proposes `folder` on the Options panel as the user would choose it;
  // false when the script fixes the installation folder.
  bool ProposeInstallFolder(const std::string& folder);
  // Lets an older version install over a newer one without asking.
  void AllowDowngrade();
  // --scope, /ALLUSERS, /CURRENTUSER: the scope chosen on the command line.
  void UseScope(sys::InstallScope scope);
  // How an installation for every user runs elevated (see VelInstaller).
  void SetElevatedInstall(installer::ElevatedInstall install);

  // The archive modes, each with its window title, closing messages and
  // the "normal" codec set up first, and no progress callback (so that the
  // archive window shows progress). True on success; each keeps the
  // failure the archive module recorded for ExitCode.
  bool CreateArchive(const std::string& archiveFile, const std::string& folder);
  bool ExtractArchive(const std::string& archiveFile, const std::string& destination);

  // The process's exit status once the main window has closed, derived
  // from the failure the role recorded (app/exit_status.h): the archive
  // operation's code, or BuildExitCode, InstallExitCode or
  // UninstallExitCode for the engine's role; `escaped` is the failure of an
  // exception that escaped an event and was shown in the default error box
  // (kind None when there was none), which counts when the role recorded
  // nothing.
  int ExitCode(const sys::Failure& escaped) const;
  // The role that ran, for the meaning of its exit code.
  RoleKind role() const { return role_; }

  // Where a build reports the project's errors and warnings (see
  // installer/build_checks.h), and whether warnings stop it too (--werror).
  void SetBuildChecks(sys::TextWriter* diagnostics, bool warningsAreErrors) {
    diagnostics_ = diagnostics;
    warningsAreErrors_ = warningsAreErrors;
  }

 private:
  // The engine's record, kept when it goes.
  void KeepOutcome();
  // Reports the project's findings; false (the window closed, the failure
  // recorded) when they stop the build.
  bool CheckProject(installer::VelInstaller& engine, const std::string& packagePath,
                    const std::string& projectFolder, const std::string& compressionMode,
                    const std::string& builder);
  // The exit status of an archive role (or of no role at all).
  int ArchiveRoleExitCode(const sys::Failure& escaped) const;

  ArchiveModes modes_;
  bool archiveRan_ = false;
  sys::Failure archiveFailure_;
  bool archiveWarned_ = false;  // written, but sources left out by name

  std::shared_ptr<installer::VelInstaller> engine_;
  std::shared_ptr<const installer::RunOutcome> outcome_;  // outlives the engine
  RoleKind role_ = RoleKind::Other;
  bool packageRefused_ = false;
  bool buildWritten_ = false;
  sys::Failure failure_;
  bool installStarted_ = false;
  sys::TextWriter* diagnostics_ = nullptr;
  bool warningsAreErrors_ = false;
  bool buildWarnings_ = false;  // written, but sources left out by name
};

}  // namespace app
