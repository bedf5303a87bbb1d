#include "app/install_roles.h"

#include <algorithm>

#include "app/exit_codes.h"
#include "archive/archive.h"
#include "system/files.h"
#include "system/platform.h"

namespace app {

void InstallerRoles::CreateEngine(ui::Form& main_window, ui::Toolkit& toolkit) {
  ArchiveRoles::CreateEngine(main_window, toolkit);
  engine_ = std::make_shared<installer::VelInstaller>(main_window, toolkit);
}

void InstallerRoles::DestroyEngine() {
  if (engine_) engine_->cancelRequested = true;
  engine_.reset();
  ArchiveRoles::DestroyEngine();
}

void InstallerRoles::ShowPanel(const std::string& name) {
  if (engine_) engine_->ShowPanel(name);
}

std::string InstallerRoles::GetSettingValue(const std::string& name) {
  return engine_ ? engine_->GetSettingValue(name) : "";
}

void InstallerRoles::Build(const std::string& package_path, const std::string& project_folder,
                           const std::string& compression_mode, const std::string& stub_file, int64_t number) {
  // Holding a reference keeps the engine alive if the window closes meanwhile.
  if (std::shared_ptr<installer::VelInstaller> engine = engine_) {
    // The command line names no stub: the builder stores its own program
    // (or the Windows program beside it for an ".exe" package), so that
    // the written file runs as an installer.
    const std::string stub =
        stub_file.empty() ? installer::BuildStubFor(package_path, sys::platform::ExecutablePath()) : stub_file;
    build_failed_ = true;  // stays so when the build throws
    engine->Build(package_path, project_folder, compression_mode, stub, number);
    build_failed_ = !engine->lastBuildWritten;
    build_cancelled_ = build_failed_ && engine->cancelRequested;
    build_warnings_ = !build_failed_ && !archive::Module().warnings.empty();
  }
}

void InstallerRoles::PrepareUninstall(const std::string& log_name) {
  if (std::shared_ptr<installer::VelInstaller> engine = engine_) {
    engine->PrepareUninstall(log_name);
    uninstall_log_missing_ = !sys::FileExists(engine->archivePath);
  }
}

void InstallerRoles::OpenPackage(const std::string& path) {
  if (std::shared_ptr<installer::VelInstaller> engine = engine_) package_refused_ = !engine->OpenPackage(path);
}

int InstallerRoles::ExitCode() const {
  if (package_refused_) return kExitDamaged;
  if (uninstall_log_missing_) return kExitIoFailure;
  if (build_failed_) return build_cancelled_ ? kExitCancelled : kExitFailure;
  if (build_warnings_) return kExitWarnings;
  return ArchiveRoles::ExitCode();
}

}  // namespace app
