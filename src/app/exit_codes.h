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

}  // namespace app
