// Program entry: hands the command line to the application shell, on the
// native toolkit on Windows and the console toolkit (terminal or pipes)
// elsewhere.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/exit_codes.h"
#include "app/install_roles.h"
#include "app/options.h"
#include "archive/archive.h"
#include "compression/block_pool.h"
#include "system/activity_log.h"
#include "system/platform.h"
#include "system/text_writer.h"
#ifdef _WIN32
#include "ui/win32/win32_toolkit.h"
#else
#ifndef _WIN32
#include <iostream>
#endif

#include "ui/console/console_toolkit.h"
#endif

namespace {

void ReportError(const std::exception& error) {
  sys::FileWriter err(stderr);
  err << app::kApplicationTitle << ": " << error.what() << '\n';
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  ui::RestrictDllSearchToSystem();
#endif
  // Options come out first, so the roles only ever see positional arguments.
  const app::CommandOptions command =
      app::ParseOptions(sys::platform::CommandLineArguments(argc, argv));
  if (command.action != app::OptionAction::RunRole) {
    sys::platform::AttachParentConsole();
    sys::FileWriter out(stdout), err(stderr);
    try {
      const int status = app::RunOption(command, out, err);
      out.Flush();
      return status;
    } catch (const std::exception& error) {
      ReportError(error);
      return app::kExitFailure;
    }
  }
  app::ApplyTuning(command);
  if (command.caseCollisions) archive::Module().caseCollisions = *command.caseCollisions;
  if (command.maxSize) archive::Module().maxExtractBytes = *command.maxSize;
  const std::string executable = sys::platform::ExecutablePath();
  if (app::NothingToRun(command, executable.empty() && argc > 0 ? argv[0] : executable)) {
    // The builder itself, started bare: there is no package to install.
    sys::platform::AttachParentConsole();
    sys::FileWriter out(stdout);
    out << app::UsageText();
    out.Flush();
    return app::kExitBadArguments;
  }

  app::StartupOptions options;
  options.unattended = command.unattended;
  options.warningsAreErrors = command.warningsAreErrors;
  options.arguments = command.positional;
  options.executable_path = sys::platform::ExecutablePath();
  if (options.executable_path.empty() && argc > 0) options.executable_path = argv[0];

#ifdef _WIN32
  ui::Win32Toolkit toolkit;
#else
  ui::ConsoleToolkit toolkit(std::cin, std::cout, ui::StdoutIsTerminal());
  toolkit.SetThroughputSource(sys::FileBytesSoFar);
#endif
  app::InstallerRoles roles;
  try {
    return app::RunApplication(toolkit, roles, options);
  } catch (const std::exception& error) {
    ReportError(error);
    return app::kExitFailure;
  }
}
