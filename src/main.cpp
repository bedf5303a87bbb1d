// Program entry: hands the command line to the application shell, on the
// console toolkit (terminal or pipes).
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/archive_modes.h"
#include "system/platform.h"
#include "ui/console/console_toolkit.h"

int main(int argc, char** argv) {
  app::StartupOptions options;
  options.arguments.assign(argv + std::min(argc, 1), argv + argc);
  options.executable_path = sys::platform::ExecutablePath();
  if (options.executable_path.empty() && argc > 0) options.executable_path = argv[0];

  ui::ConsoleToolkit toolkit(std::cin, std::cout, ui::StdoutIsTerminal());
  app::ArchiveRoles roles;
  try {
    return app::RunApplication(toolkit, roles, options);
  } catch (const std::exception& error) {
    std::cerr << app::kApplicationTitle << ": " << error.what() << '\n';
    return 1;
  }
}
