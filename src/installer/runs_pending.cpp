// VelInstaller: the runs that this build does not contain yet. Each tells
// the user so; the wizard around them works in full.
#include "installer/vel_installer.h"

namespace installer {

namespace {

void NotAvailable(VelInstaller& engine, const std::string& what) {
  ui::ShowMessage(engine.toolkit(), what + " is not available in this build yet.");
}

}  // namespace

void VelInstaller::RunInstall() { NotAvailable(*this, "Installing"); }

bool VelInstaller::RunUninstall() {
  NotAvailable(*this, "Uninstalling");
  return false;
}

bool VelInstaller::PrepareUninstall(const std::string&) {
  NotAvailable(*this, "Uninstalling");
  CloseWindow();
  return true;
}

void VelInstaller::Build(const std::string&, const std::string&, const std::string&, const std::string&, int64_t) {
  NotAvailable(*this, "Building an installer");
  CloseWindow();
}

}  // namespace installer
