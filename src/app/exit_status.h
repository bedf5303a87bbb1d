// Exit codes derived from the kind of failure an operation recorded where it
// happened (system/failure.h). Each role has its own table, documented in
// docs/exit-codes.md: the archive roles and the printing options share one,
// the builder adds "bad project", and the installer and uninstaller use the
// codes administrators know from other setup programs.
#pragma once

#include "app/exit_codes.h"
#include "system/failure.h"

namespace app {

// A project folder or script that cannot give a sound installer (build).
inline constexpr int kExitBadProject = 6;

// The role that ran, for the meaning of its exit code.
enum class RoleKind { Other, Build, Install, Uninstall };

// Where an installer stood when it stopped.
enum class InstallStage {
  NotOpened,      // its package could not be opened: nothing started
  BeforeInstall,  // the wizard ran, nothing was written yet
  DuringInstall,  // the install run had begun
};

// Archive, extract, --list and --test: 0, 3 cancelled, 4 damaged or unsafe
// input, 5 a file could not be opened, read or written, 1 otherwise.
int ArchiveExitCode(sys::FailureKind kind);

// Build: as the archive roles, and 6 for a bad project.
int BuildExitCode(sys::FailureKind kind);

// Install: 1 when the package could not be opened; 2 cancelled before the
// install run, 5 cancelled during it; 3 any other failure before, 4 during.
int InstallExitCode(sys::FailureKind kind, InstallStage stage);

// Uninstall: 2 cancelled at the question, 10 not installed (no uninstall
// log), 4 a failure while uninstalling.
int UninstallExitCode(sys::FailureKind kind);

// What an exit code of `role` means, in a few words ("damaged archive or
// package").
const char* ExitCodeMeaning(int code, RoleKind role);

}  // namespace app
