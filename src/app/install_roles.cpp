#include "app/install_roles.h"

#include <algorithm>

#include "app/application.h"
#include "app/exit_codes.h"
#include "installer/build_checks.h"
#include "archive/archive.h"
#include "system/files.h"
#include "system/platform.h"

namespace app {

void InstallerRoles::CreateEngine(ui::Form& main_window, ui::Toolkit& toolkit) {
  ArchiveRoles::CreateEngine(main_window, toolkit);
  engine_ = std::make_shared<installer::VelInstaller>(main_window, toolkit);
  outcome_ = engine_->Outcome();
}

void InstallerRoles::KeepOutcome() {
  if (!engine_) return;
  failure_ = engine_->Failure();
  install_started_ = engine_->InstallStarted();
}

void InstallerRoles::DestroyEngine() {
  KeepOutcome();
  if (engine_) engine_->RequestCancel();
  engine_.reset();
  ArchiveRoles::DestroyEngine();
}

void InstallerRoles::ShowPanel(const std::string& name) {
  if (engine_) engine_->ShowPanel(name);
}

std::string InstallerRoles::GetSettingValue(const std::string& name) {
  return engine_ ? engine_->GetSettingValue(name) : "";
}

bool InstallerRoles::CheckProject(installer::VelInstaller& engine, const std::string& package_path,
                                  const std::string& project_folder, const std::string& compression_mode,
                                  const std::string& builder) {
  const installer::ProjectCheck check =
      installer::CheckProject(project_folder, package_path, compression_mode, builder);
  for (const installer::BuildFinding& finding : check.findings) {
    *diagnostics_ << installer::FormatFinding(finding, warnings_are_errors_) << '\n';
  }
  const int errors = check.Count(true) + (warnings_are_errors_ ? check.Count(false) : 0);
  if (errors == 0) return true;
  const std::string text = "No installer was written: the project " + project_folder + " has " +
                           std::to_string(errors) + (errors == 1 ? " error." : " errors.");
  *diagnostics_ << kApplicationTitle << ": " << text << '\n';
  engine.NoteFailure(sys::FailureKind::BadProject, project_folder, text);
  engine.CloseWindow();
  return false;
}

void InstallerRoles::Build(const std::string& package_path, const std::string& project_folder,
                           const std::string& compression_mode, const std::string& stub_file, int64_t number) {
  role_ = RoleKind::Build;
  // Holding a reference keeps the engine alive if the window closes meanwhile.
  if (std::shared_ptr<installer::VelInstaller> engine = engine_) {
    // The command line names no stub: the builder stores its own program
    // (or the Windows program beside it for an ".exe" package), so that
    // the written file runs as an installer.
    const std::string builder = sys::platform::ExecutablePath();
    if (diagnostics_ && !CheckProject(*engine, package_path, project_folder, compression_mode, builder)) return;
    const std::string stub = stub_file.empty() ? installer::BuildStubFor(package_path, builder) : stub_file;
    engine->Build(package_path, project_folder, compression_mode, stub, number);
    build_written_ = engine->LastBuildWritten();
    build_warnings_ = build_written_ && !archive::Module().warnings.empty();
  }
}

void InstallerRoles::PrepareUninstall(const std::string& log_name) {
  role_ = RoleKind::Uninstall;
  if (std::shared_ptr<installer::VelInstaller> engine = engine_) engine->PrepareUninstall(log_name);
}

void InstallerRoles::OpenPackage(const std::string& path) {
  role_ = RoleKind::Install;
  if (std::shared_ptr<installer::VelInstaller> engine = engine_) package_refused_ = !engine->OpenPackage(path);
}

int InstallerRoles::ExitCode(const sys::Failure& escaped) const {
  sys::Failure failure = failure_;
  bool started = install_started_;
  if (engine_) {
    failure = engine_->Failure();
    started = engine_->InstallStarted();
  }
  if (!failure.failed()) failure = escaped;
  // How the engine's last run ended outranks the failure it recorded: an
  // install that was undone, refused as a downgrade, or nothing to uninstall.
  if (outcome_) {
    if (outcome_->elevatedExitCode) return *outcome_->elevatedExitCode;
    if (outcome_->notInstalled) return kExitNotInstalled;
    switch (outcome_->install) {
      case installer::InstallOutcome::Cancelled: return kExitCancelledDuringInstall;
      case installer::InstallOutcome::Failed: return kExitFatalDuringInstall;
      case installer::InstallOutcome::DowngradeRefused: return kExitDowngradeRefused;
      default: break;
    }
  }
  switch (role_) {
    case RoleKind::Build:
      // A build that wrote nothing failed, whether or not it said why.
      if (build_written_ && !escaped.failed()) return build_warnings_ ? kExitWarnings : kExitSuccess;
      return BuildExitCode(failure.failed() ? failure.kind : sys::FailureKind::Other);
    case RoleKind::Install:
      return InstallExitCode(failure.kind, package_refused_ ? InstallStage::NotOpened
                                           : started        ? InstallStage::DuringInstall
                                                            : InstallStage::BeforeInstall);
    case RoleKind::Uninstall: return UninstallExitCode(failure.kind);
    case RoleKind::Other: break;
  }
  return ArchiveRoles::ExitCode(escaped);
}

}  // namespace app
