#include "app/exit_status.h"

namespace app {

using sys::FailureKind;

int ArchiveExitCode(FailureKind kind) {
  switch (kind) {
    case FailureKind::None: return kExitSuccess;
    case FailureKind::Cancelled: return kExitCancelled;
    case FailureKind::Damaged:
    case FailureKind::Unsafe: return kExitDamaged;
    case FailureKind::Io: return kExitIoFailure;
    case FailureKind::BadProject:
    case FailureKind::NotInstalled:
    case FailureKind::Other: break;
  }
  return kExitFailure;
}

int BuildExitCode(FailureKind kind) {
  return kind == FailureKind::BadProject ? kExitBadProject : ArchiveExitCode(kind);
}

int InstallExitCode(FailureKind kind, InstallStage stage) {
  if (kind == FailureKind::None) return kExitSuccess;
  if (stage == InstallStage::NotOpened) return kExitInitFailed;
  if (kind == FailureKind::NotInstalled) return kExitNotInstalled;
  const bool during = stage == InstallStage::DuringInstall;
  if (kind == FailureKind::Cancelled) return during ? kExitCancelledDuringInstall : kExitCancelledBeforeInstall;
  return during ? kExitFatalDuringInstall : kExitFatalBeforeInstall;
}

int UninstallExitCode(FailureKind kind) {
  switch (kind) {
    case FailureKind::None: return kExitSuccess;
    case FailureKind::Cancelled: return kExitCancelledBeforeInstall;
    case FailureKind::NotInstalled: return kExitNotInstalled;
    // Only links met in the installation folder are refused as unsafe: the
    // rest was uninstalled, the names below them were left.
    case FailureKind::Unsafe: return kExitWarnings;
    default: return kExitFatalDuringInstall;
  }
}

const char* ExitCodeMeaning(int code, RoleKind role) {
  if (code == kExitSuccess) return "success";
  if (role == RoleKind::Install || role == RoleKind::Uninstall) {
    switch (code) {
      case kExitInitFailed: return "the installer could not start";
      case kExitCancelledBeforeInstall: return "cancelled before installing";
      case kExitFatalBeforeInstall: return "failed before installing";
      case kExitFatalDuringInstall: return "failed while installing";
      case kExitCancelledDuringInstall: return "cancelled while installing";
      case kExitDowngradeRefused: return "downgrade refused";
      case kExitNotInstalled: return "not installed";
      case kExitWarnings: return "uninstalled, but names were left";
      default: return "failed";
    }
  }
  switch (code) {
    case kExitBadArguments: return "bad arguments";
    case kExitCancelled: return "cancelled";
    case kExitDamaged: return "damaged archive or package";
    case kExitIoFailure: return "a file could not be opened, read or written";
    case kExitBadProject: return "bad project";
    default: return "failed";
  }
}

}  // namespace app
