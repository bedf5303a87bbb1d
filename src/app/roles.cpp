#include "app/roles.h"

#include "app/application.h"
#include "app/exit_codes.h"
#include "archive/archive.h"
#include "installer/build_checks.h"
#include "system/platform.h"

namespace app {

namespace {

// What the archive module recorded of a failed operation; a failure it
// did not record is no success either.
sys::Failure RecordedFailure(const std::string& archiveFile) {
  const sys::Failure& failure = archive::Module().failure;
  return failure.failed() ? failure : sys::MakeFailure(sys::FailureKind::Other, archiveFile, "");
}

}  // namespace

void Roles::CreateEngine(ui::Form& mainWindow, ui::Toolkit& toolkit) {
  engine_ = std::make_shared<installer::VelInstaller>(mainWindow, toolkit);
  outcome_ = engine_->Outcome();
}

void Roles::KeepOutcome() {
  if (!engine_) return;
  failure_ = engine_->Failure();
  installStarted_ = engine_->InstallStarted();
}

void Roles::DestroyEngine() {
  KeepOutcome();
  if (engine_) engine_->RequestCancel();
  engine_.reset();
}

void Roles::ShowPanel(const std::string& name) {
  if (engine_) engine_->ShowPanel(name);
}

std::string Roles::GetSettingValue(const std::string& name) const {
  return engine_ ? engine_->GetSettingValue(name) : "";
}

bool Roles::ProposeInstallFolder(const std::string& folder) {
  return engine_ && engine_->ProposeInstallFolder(folder);
}

void Roles::AllowDowngrade() {
  if (engine_) engine_->AllowDowngrade();
}

void Roles::UseScope(sys::InstallScope scope) {
  if (engine_) engine_->UseScope(scope);
}

void Roles::SetElevatedInstall(installer::ElevatedInstall install) {
  if (engine_) engine_->SetElevatedInstall(std::move(install));
}

bool Roles::CheckProject(installer::VelInstaller& engine, const std::string& packagePath,
                         const std::string& projectFolder, const std::string& compressionMode,
                         const std::string& builder) {
  const installer::ProjectCheck check = installer::CheckProject(projectFolder, packagePath, compressionMode, builder);
  for (const installer::BuildFinding& finding : check.findings) {
    *diagnostics_ << installer::FormatFinding(finding, warningsAreErrors_) << '\n';
  }
  const int errors = check.Count(true) + (warningsAreErrors_ ? check.Count(false) : 0);
  if (errors == 0) return true;
  const std::string text = "No installer was written: the project " + projectFolder + " has " +
                           std::to_string(errors) + (errors == 1 ? " error." : " errors.");
  *diagnostics_ << kApplicationTitle << ": " << text << '\n';
  engine.NoteFailure(sys::FailureKind::BadProject, projectFolder, text);
  engine.CloseWindow();
  return false;
}

void Roles::Build(const std::string& packagePath, const std::string& projectFolder,
                  const std::string& compressionMode, const std::string& stubFile, int64_t number) {
  role_ = RoleKind::Build;
  // Holding a reference keeps the engine alive if the window closes meanwhile.
  if (std::shared_ptr<installer::VelInstaller> engine = engine_) {
    // The command line names no stub: the builder stores its own program
    // (or the Windows program beside it for an ".exe" package), so that
    // the written file runs as an installer.
    const std::string builder = sys::platform::ExecutablePath();
    if (diagnostics_ && !CheckProject(*engine, packagePath, projectFolder, compressionMode, builder)) return;
    const std::string stub = stubFile.empty() ? installer::BuildStubFor(packagePath, builder) : stubFile;
    engine->Build(packagePath, projectFolder, compressionMode, stub, number);
    buildWritten_ = engine->LastBuildWritten();
    buildWarnings_ = buildWritten_ && !archive::Module().warnings.empty();
  }
}

void Roles::PrepareUninstall(const std::string& logName) {
  role_ = RoleKind::Uninstall;
  if (std::shared_ptr<installer::VelInstaller> engine = engine_) engine->PrepareUninstall(logName);
}

void Roles::OpenPackage(const std::string& path) {
  role_ = RoleKind::Install;
  if (std::shared_ptr<installer::VelInstaller> engine = engine_) packageRefused_ = !engine->OpenPackage(path);
}

bool Roles::CreateArchive(const std::string& archiveFile, const std::string& folder) {
  archiveRan_ = true;
  archiveFailure_ = sys::MakeFailure(sys::FailureKind::Other, archiveFile, "");  // stays so when it throws
  const bool written = modes_.CreateArchive(archiveFile, folder);
  archiveFailure_ = written ? sys::Failure{} : RecordedFailure(archiveFile);
  archiveWarned_ = written && !archive::Module().warnings.empty();
  return written;
}

bool Roles::ExtractArchive(const std::string& archiveFile, const std::string& destination) {
  archiveRan_ = true;
  archiveFailure_ = sys::MakeFailure(sys::FailureKind::Other, archiveFile, "");
  const bool extracted = modes_.ExtractArchive(archiveFile, destination);
  archiveFailure_ = extracted ? sys::Failure{} : RecordedFailure(archiveFile);
  return extracted;
}

int Roles::ArchiveRoleExitCode(const sys::Failure& escaped) const {
  if (!archiveRan_) return ArchiveExitCode(escaped.kind);
  // A failure without a record of its own is told by what escaped.
  const sys::Failure& failure =
      archiveFailure_.kind == sys::FailureKind::Other && escaped.failed() ? escaped : archiveFailure_;
  if (!failure.failed() && archiveWarned_) return kExitWarnings;
  return ArchiveExitCode(failure.kind);
}

int Roles::ExitCode(const sys::Failure& escaped) const {
  sys::Failure failure = failure_;
  bool started = installStarted_;
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
      if (buildWritten_ && !escaped.failed()) return buildWarnings_ ? kExitWarnings : kExitSuccess;
      return BuildExitCode(failure.failed() ? failure.kind : sys::FailureKind::Other);
    case RoleKind::Install:
      return InstallExitCode(failure.kind, packageRefused_ ? InstallStage::NotOpened
                                           : started       ? InstallStage::DuringInstall
                                                           : InstallStage::BeforeInstall);
    case RoleKind::Uninstall: return UninstallExitCode(failure.kind);
    case RoleKind::Other: break;
  }
  return ArchiveRoleExitCode(escaped);
}

}  // namespace app
