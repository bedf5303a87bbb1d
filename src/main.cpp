// Program entry: the start-up story. The process is hardened first; then
// an option that only prints or converts runs and ends; otherwise the roles
// run on the platform's default toolkit (native windows on Windows, the
// terminal or pipes elsewhere).
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/exit_codes.h"
#include "app/install_roles.h"
#include "app/options.h"
#include "archive/archive.h"
#include "compression/block_pool.h"
#include "system/launch.h"
#include "system/activity_log.h"
#include "system/platform.h"
#include "system/process.h"
#include "system/text_writer.h"
#include "ui/default_toolkit.h"

namespace {

void ReportError(const std::exception& error) {
  sys::FileWriter err(stderr);
  err << app::kApplicationTitle << ": " << error.what() << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  sys::HardenProcess();
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
  options.executablePath = sys::platform::ExecutablePath();
  if (options.executablePath.empty() && argc > 0) options.executablePath = argv[0];
  // The uninstall panel's link: the publisher's web address, in the browser.
  options.openDocument = [](const std::string& address) { sys::platform::ShellLaunch(address, "", ""); };

  const std::unique_ptr<ui::Toolkit> toolkit = ui::MakeDefaultToolkit(sys::FileBytesSoFar);
  app::InstallerRoles roles;
  try {
    return app::RunApplication(*toolkit, roles, options);
  } catch (const std::exception& error) {
    ReportError(error);
    return app::kExitFailure;
  }
}
