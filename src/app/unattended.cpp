#include "app/unattended.h"

#include <chrono>
#include <cstdio>

#include "app/exit_codes.h"
#include "system/activity_log.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/text.h"

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

std::string TimeStamp() {
  const auto now = std::chrono::system_clock::now();
  const int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  const sys::platform::LocalDateTime local = sys::platform::ToLocalDateTime(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.year, local.month, local.day, local.hour,
                local.minute, local.second);
  return text;
}

ActivityFile::~ActivityFile() {
  if (file_) std::fclose(file_);
}

bool ActivityFile::Open(const std::string& path) {
  if (file_) std::fclose(file_);
  file_ = std::fopen(sys::ToNativeSeparators(path).c_str(), "ab");
  return file_ != nullptr;
}

void ActivityFile::Write(std::string_view text) {
  if (!file_) return;
  std::string line = TimeStamp() + "  ";
  for (char c : text) line += (c == '\r' || c == '\n') ? ' ' : c;
  // CR LF keeps the file readable on Windows; the log is plain text.
  line += "\r\n";
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

ui::Answer ReportingToolkit::MessageBox(const std::string& caption, const std::string& text, ui::Buttons buttons,
                                        ui::Icon icon) {
  const bool problem = icon == ui::Icon::Error || icon == ui::Icon::Warning;
  const char* prefix = icon == ui::Icon::Error ? "Error: " : icon == ui::Icon::Warning ? "Warning: " : "";
  sys::LogAction(prefix + text);
  lastMessage_ = text;
  lastEchoed_ = problem && errors_;
  if (lastEchoed_) {
    std::string line = text;
    for (char& c : line) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    line = sys::EscapeControls(line);
    *errors_ << (caption.empty() ? inner_.title() : caption) << ": " << prefix << line << '\n';
  }
  return inner_.MessageBox(caption, text, buttons, icon);
}

int SilentInstallExitCode(const WizardAutopilot& pilot, int status) {
  if (status != kExitSuccess || pilot.finished()) return status;
  return pilot.lastPanel() == "Status" ? kExitFatalDuringInstall : kExitFatalBeforeInstall;
}

std::vector<std::string> NoShortcutsWords(bool noDesktopShortcut, bool noStartMenuShortcut) {
  if (noDesktopShortcut && noStartMenuShortcut) return {"--no-shortcuts"};
  if (noDesktopShortcut) return {"--no-shortcuts=desktop"};
  if (noStartMenuShortcut) return {"--no-shortcuts=startmenu"};
  return {};
}

}  // namespace app
