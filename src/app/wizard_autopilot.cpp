#include "app/wizard_autopilot.h"

#include "app/exit_codes.h"
#include "system/paths.h"

namespace app {

namespace {

// The wizard's panels in the order the autopilot looks for them.
constexpr const char* kPanels[] = {"Intro", "License", "Options", "Status", "Custom", "Finished", "Uninstall"};

std::string ShowingPanel(const ui::Form& window) {
  for (const char* panel : kPanels) {
    const ui::Control* control = window.Find(std::string("Pnl") + panel);
    if (control && control->IsShowing()) return panel;
  }
  return "";
}

bool Press(ui::Control* button) {
  if (!button || !button->IsShowing() || !button->enabled()) return false;
  button->Click();
  return true;
}

// The button of a page shown in place of a panel that leads on: "Install"
// on an Intro page, "Next" on the others.
ui::Control* PageButtonOnward(const ui::Form& window) {
  for (const char* name : {"BCustom1", "BCustom2", "BCustom3"}) {
    ui::Control* button = window.Find(name);
    if (button && button->IsShowing() && (button->text() == "Install" || button->text() == "Next")) return button;
  }
  return nullptr;
}

// The panel a page stands for: its file name without ".htm" / ".txt".
std::string PageName(const ui::Form& window) {
  const ui::Control* view = window.Find("XCustomHTML");
  if (!view) return "";
  const std::string file = sys::ExtractFileName(view->text());
  return file.substr(0, file.rfind('.'));
}

}  // namespace

bool WizardAutopilot::Step(ui::Form& window) {
  const std::string panel = ShowingPanel(window);
  lastPanel_ = panel;
  std::string screen = panel;
  if (panel == "Custom") screen += ":" + PageName(window);
  if (const ui::Control* ok = window.Find("BStatusOK"); panel == "Status" && ok) screen += ok->enabled() ? "+" : "-";
  // A press that left the same screen showing was refused: stop pressing.
  if (screen == lastScreen_) return false;
  lastScreen_ = screen;
  if (panel == "Intro") return Press(window.Find("BIntroInstall"));
  if (panel == "License") return Press(window.Find("BLicenseAccept"));
  if (panel == "Options") return Press(window.Find("BOptionsNext"));
  if (panel == "Status") return Press(window.Find("BStatusOK"));
  if (panel == "Uninstall") return Press(window.Find("BUninstallYes"));
  if (panel == "Finished") {
    finished_ = true;
    return Press(window.Find("BFinishedClose"));
  }
  if (panel == "Custom") {
    // A Finished page has no Close: the installation is done all the same.
    if (PageName(window) == "Finished") finished_ = true;
    return Press(PageButtonOnward(window));
  }
  return false;
}

int SilentInstallExitCode(const WizardAutopilot& pilot, int status) {
  if (status != kExitSuccess || pilot.finished()) return status;
  return pilot.lastPanel() == "Status" ? kExitFatalDuringInstall : kExitFatalBeforeInstall;
}

}  // namespace app
