#include "app/roles.h"

namespace app {

void UnavailableRoles::CreateEngine(ui::Form& main_window, ui::Toolkit& toolkit) {
  window_ = &main_window;
  toolkit_ = &toolkit;
}

void UnavailableRoles::DestroyEngine() {
  window_ = nullptr;
  toolkit_ = nullptr;
}

void UnavailableRoles::ShowPanel(const std::string& name) {
  if (!window_) return;
  for (ui::Control* control : window_->controls()) {
    if (control->kind() == ui::ControlKind::Panel && control->name().starts_with("Pnl")) {
      control->SetVisible(control->name() == "Pnl" + name);
    }
  }
}

void UnavailableRoles::Unavailable(const std::string& what) {
  unavailable_ = true;
  if (!toolkit_) return;
  toolkit_->MessageBox("", what + " is not available in this build yet.", ui::Buttons::Ok, ui::Icon::Error);
  if (window_) toolkit_->CloseForm(*window_);
}

void UnavailableRoles::Build(const std::string&, const std::string&, const std::string&, const std::string&,
                             int64_t) {
  Unavailable("Building an installer");
}

void UnavailableRoles::PrepareUninstall(const std::string&) { Unavailable("Uninstalling"); }

void UnavailableRoles::OpenPackage(const std::string&) { Unavailable("Installing"); }

bool UnavailableRoles::CreateArchive(const std::string&, const std::string&) {
  Unavailable("Creating an archive");
  return false;
}

bool UnavailableRoles::ExtractArchive(const std::string&, const std::string&) {
  Unavailable("Extracting an archive");
  return false;
}

}  // namespace app
