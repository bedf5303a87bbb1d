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
  // Builds with the stub BuildStubFor chooses when none is given; a build
  // that writes no package makes the exit status 1, or 3 when cancelled.
  void Build(const std::string& package_path, const std::string& project_folder,
             const std::string& compression_mode, const std::string& stub_file, int64_t number) override;
  // An uninstall log that does not exist makes the exit status 5.
  void PrepareUninstall(const std::string& log_name) override;
  // Opens the package; a file without a valid package makes the exit
  // status 4 (damaged package).
  void OpenPackage(const std::string& path) override;
  int ExitCode() const override;

  installer::VelInstaller* engine() const { return engine_.get(); }

 private:
  std::shared_ptr<installer::VelInstaller> engine_;
  bool package_refused_ = false;
  bool build_failed_ = false;
  bool build_cancelled_ = false;
  bool build_warnings_ = false;  // written, but sources left out by name
  bool uninstall_log_missing_ = false;
};

}  // namespace app
