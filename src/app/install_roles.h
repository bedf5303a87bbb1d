// The roles of the full program: the archive modes and the installer engine
// (VelInstaller) for installing, uninstalling and building.
#pragma once

#include <memory>
#include <string>

#include "app/archive_modes.h"
#include "installer/vel_installer.h"

namespace app {

class InstallerRoles : public ArchiveRoles {
 public:
  // Creates the engine for the main window; it binds itself to the
  // window's controls by name.
  void CreateEngine(ui::Form& main_window, ui::Toolkit& toolkit) override;
  // Lets the engine go. A run that is still active (the window was closed
  // from inside it) is asked to stop and keeps the engine until it returns.
  void DestroyEngine() override;

  void ShowPanel(const std::string& name) override;
  std::string GetSettingValue(const std::string& name) override;
  // Checks the project first (with diagnostics set): its errors, or with
  // --werror its warnings, stop the build with "bad project". Then builds
  // with the stub BuildStubFor chooses when none is given.
  void Build(const std::string& package_path, const std::string& project_folder,
             const std::string& compression_mode, const std::string& stub_file, int64_t number) override;
  void PrepareUninstall(const std::string& log_name) override;
  void OpenPackage(const std::string& path) override;
  bool ProposeInstallFolder(const std::string& folder) override {
    return engine_ && engine_->ProposeInstallFolder(folder);
  }
  void AllowDowngrade() override {
    if (engine_) engine_->AllowDowngrade();
  }
  void SetElevatedInstall(ElevatedInstall install) override {
    if (engine_) engine_->SetElevatedInstall(std::move(install));
  }
  void UseScope(sys::InstallScope scope) override {
    if (engine_) engine_->UseScope(scope);
  }
  // From the engine's recorded failure: BuildExitCode, InstallExitCode or
  // UninstallExitCode for the role that ran; an escaped exception counts
  // when the engine recorded nothing.
  int ExitCode(const sys::Failure& escaped) const override;
  RoleKind role() const override { return role_; }
  void SetBuildChecks(sys::TextWriter* diagnostics, bool warningsAreErrors) override {
    diagnostics_ = diagnostics;
    warnings_are_errors_ = warningsAreErrors;
  }

  installer::VelInstaller* engine() const { return engine_.get(); }

 private:
  // The engine's record, kept when it goes.
  void KeepOutcome();
  // Reports the project's findings; false (the window closed, the failure
  // recorded) when they stop the build.
  bool CheckProject(installer::VelInstaller& engine, const std::string& package_path,
                    const std::string& project_folder, const std::string& compression_mode,
                    const std::string& builder);

  std::shared_ptr<installer::VelInstaller> engine_;
  std::shared_ptr<const installer::RunOutcome> outcome_;  // outlives the engine
  RoleKind role_ = RoleKind::Other;
  bool package_refused_ = false;
  bool build_written_ = false;
  sys::Failure failure_;
  bool install_started_ = false;
  sys::TextWriter* diagnostics_ = nullptr;
  bool warnings_are_errors_ = false;
  bool build_warnings_ = false;  // written, but sources left out by name
};

}  // namespace app
