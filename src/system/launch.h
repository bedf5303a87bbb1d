// Starting a file with the shell's default action: a program runs, a
// document opens in the program associated with it. The caller never waits
// for what was started.
#pragma once

#include <functional>
#include <string>

#include "system/failure.h"

namespace sys {

// The message shown when the shell refuses to start a file; the path follows.
inline constexpr const char* kLaunchFailedMessage = "Problem occured launching ";

// Why a launch failed, where the platform says (on a line of its own after
// the message and path).
inline constexpr const char* kLaunchNotFound = "The file does not exist.";
inline constexpr const char* kLaunchNotExecutable = "The file is a program but is not marked executable.";
inline constexpr const char* kLaunchNoHandler = "No application is registered to open this kind of file.";

// Starts `file` with `parameters` (may be empty) in the file's own folder and
// returns at once. When the platform refuses (missing file, nothing to run
// it with), the failure (kind Io, about `file`) carries the message to show:
// kLaunchFailedMessage followed by the path, and the reason on a line of its
// own when the platform gives one. The caller decides where it is shown.
Failure LaunchFile(const std::string& file, const std::string& parameters);

namespace platform {

// Starts `file` with the shell's default action, `parameters` as its
// arguments and `workingFolder` (may be empty) as its current folder,
// without waiting for it. True when the platform started it; otherwise
// `reason` (when given) may receive why.
// Windows: ShellExecuteEx with no verb, no reason. Elsewhere: a file with
// execute permission runs directly (parameters split at blanks, double
// quotes grouping); a program without it is refused (kLaunchNotExecutable);
// any other file is a document, opened through "gio open" (or "xdg-open")
// by the handler registered for its type (kLaunchNoHandler when none is).
bool ShellLaunch(const std::string& file, const std::string& parameters, const std::string& workingFolder,
                 std::string* reason = nullptr);

// True when this process has administrator rights (Windows: an elevated
// token, or write access to the all-users list of installed programs), or
// the platform asks for none (POSIX: the folders a run writes decide).
bool IsElevated();

// How an elevated run of a program ended.
struct ElevatedRun {
  bool started = false;  // false: it could not be started (see refused)
  bool refused = false;  // the user said no at the system's prompt
  int exitCode = 0;      // its exit code, when started
};

// Windows: starts `program` with `parameters` elevated (the system asks the
// user) and waits for it, calling `idle` while it runs so that windows stay
// responsive. Elsewhere nothing is started.
ElevatedRun RunElevatedAndWait(const std::string& program, const std::string& parameters,
                               const std::function<void()>& idle);

}  // namespace platform

}  // namespace sys
