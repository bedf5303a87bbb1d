// Program entry: hands the command line to the application shell, on the
// native toolkit on Windows and the console toolkit (terminal or pipes)
// elsewhere.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/install_roles.h"
#include "system/platform.h"
#include "ui/console/console_toolkit.h"
#ifdef _WIN32
#include "ui/win32/win32_toolkit.h"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  ui::RestrictDllSearchToSystem();
#endif
  app::StartupOptions options;
  options.arguments.assign(argv + std::min(argc, 1), argv + argc);
  options.executable_path = sys::platform::ExecutablePath();
  if (options.executable_path.empty() && argc > 0) options.executable_path = argv[0];

#ifdef _WIN32
  ui::Win32Toolkit toolkit;
#else
  ui::ConsoleToolkit toolkit(std::cin, std::cout, ui::StdoutIsTerminal());
#endif
  app::InstallerRoles roles;
  try {
    return app::RunApplication(toolkit, roles, options);
  } catch (const std::exception& error) {
    std::cerr << app::kApplicationTitle << ": " << error.what() << '\n';
    return 1;
  }
}
