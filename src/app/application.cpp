#include "app/application.h"

#include <algorithm>

#include "app/exit_codes.h"
#include "app/main_window.h"
#include "ui/choose_dir.h"

namespace app {

void ShowErrorBox(ui::Toolkit& toolkit, const std::string& text) {
  toolkit.MessageBox("", text, ui::Buttons::Ok, ui::Icon::Error);
}

int RunApplication(ui::Toolkit& toolkit, Roles& roles, const StartupOptions& options) {
  toolkit.SetTitle(kApplicationTitle);
  bool error_shown = false;
  toolkit.SetErrorHandler([&toolkit, &error_shown](const std::string& text) {
    error_shown = true;
    ShowErrorBox(toolkit, text);
  });

  TDInstallMain main_window(toolkit, roles, options.arguments, options.executable_path, options.open_document);
  ui::TDChooseDir chooser(toolkit);
  main_window.SetChooser(&chooser);
  roles.CreateArchiveWindow(toolkit);

  toolkit.Run(main_window.form());
  toolkit.SetErrorHandler({});
  // The roles know why an operation failed; the window only that it did.
  const int status = roles.ExitCode() != kExitSuccess ? roles.ExitCode() : main_window.exit_code();
  return error_shown && status == kExitSuccess ? kExitFailure : status;
}

}  // namespace app
