// The process exit codes of every role and of the command-line options.
// The table is kept in docs/exit-codes.md for scripts that run the program.
#pragma once

namespace app {

inline constexpr int kExitSuccess = 0;       // the role or option ended well
inline constexpr int kExitFailure = 1;       // any failure not named below
inline constexpr int kExitBadArguments = 2;  // unknown option, missing option value
inline constexpr int kExitCancelled = 3;     // the user cancelled
inline constexpr int kExitDamaged = 4;       // damaged archive or package
inline constexpr int kExitIoFailure = 5;     // a file could not be opened, read or written
inline constexpr int kExitWarnings = 11;     // archive or build written, but some sources left out by name

// The installer and uninstaller roles use the codes that administrators know
// from other setup programs; each is documented in docs/exit-codes.md.
inline constexpr int kExitInitFailed = 1;               // the installer could not start (no valid package)
inline constexpr int kExitCancelledBeforeInstall = 2;   // Exit, declined licence, Cancel before installing
inline constexpr int kExitFatalBeforeInstall = 3;       // a failure before the first file was written
inline constexpr int kExitFatalDuringInstall = 4;       // a failure while installing: everything rolled back
inline constexpr int kExitCancelledDuringInstall = 5;   // cancelled while installing: everything rolled back
inline constexpr int kExitDowngradeRefused = 9;         // an older version over a newer one, unattended
inline constexpr int kExitNotInstalled = 10;            // uninstall: the program is not installed

}  // namespace app
