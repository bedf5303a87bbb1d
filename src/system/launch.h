// Starting a file with the shell's default action: a program runs, a
// document opens in the program associated with it. The caller never waits
// for what was started.
#pragma once

#include <string>

#include "ui/toolkit.h"

namespace sys {

// The message shown when the shell refuses to start a file; the path follows.
inline constexpr const char* kLaunchFailedMessage = "Problem occured launching ";

// Starts `file` with `parameters` (may be empty) in the file's own folder and
// returns at once. When the platform refuses (missing file, nothing to run
// it with), shows kLaunchFailedMessage followed by the path in an
// information box of `toolkit`. Nothing is returned to the caller.
void LaunchFile(ui::Toolkit& toolkit, const std::string& file, const std::string& parameters);

namespace platform {

// Starts `file` with the shell's default action, `parameters` as its
// arguments and `workingFolder` (may be empty) as its current folder,
// without waiting for it. True when the platform started it.
// Windows: ShellExecuteEx with no verb. Elsewhere: an executable file runs
// directly (parameters split at blanks, double quotes grouping), any other
// existing file is handed to "xdg-open".
bool ShellLaunch(const std::string& file, const std::string& parameters, const std::string& workingFolder);

}  // namespace platform

}  // namespace sys
