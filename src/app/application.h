// The program's start-up: the application's title, its three windows in
// order (TDInstallMain, TDChooseDir, TDIndexedFile), the message loop, and
// the top-level error handler.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/roles.h"
#include "app/unattended_options.h"
#include "system/text_writer.h"
#include "ui/toolkit.h"

namespace app {

inline constexpr const char* kApplicationTitle = "Brevion Installer";

struct StartupOptions {
  std::vector<std::string> arguments;  // the command line without the program name
  std::string executablePath;         // full path of the running program
  // Opens a document or web address with the shell (may be empty).
  std::function<void(const std::string&)> openDocument;
  // --silent, --dir, --no-shortcuts and --log (app/unattended_options.h).
  UnattendedOptions unattended;
  // Where a silent run reports its errors, and a build the project's
  // errors and warnings (nullptr: standard error).
  sys::TextWriter* errors = nullptr;
  // --werror: a build stops on the project's warnings too.
  bool warningsAreErrors = false;
};

// The application's default error box: the text of an exception that
// escaped an event, in an error message box with the application's title.
// The program carries on afterwards.
void ShowErrorBox(ui::Toolkit& toolkit, const std::string& text);

// Starts the application on `toolkit` with `roles`, runs it until the main
// window closes and returns the exit status (app/exit_codes.h): the roles'
// own code when they report one, else the main window's; at least 1 when
// an error box was shown (5 when it told of a file that could not be
// opened, read or written). A silent run uses its own toolkit instead of
// `toolkit` (ui/console/silent_toolkit.h) and fails unless its wizard
// reached Finished; its errors and the reason for a failure go to
// `options.errors`. With --log every action is appended to the log file
// (5 at once when it cannot be written). Exceptions raised by events are
// shown by ShowErrorBox and do not end the program; one raised while the
// windows are created propagates.
int RunApplication(ui::Toolkit& toolkit, Roles& roles, const StartupOptions& options);

}  // namespace app
