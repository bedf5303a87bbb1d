// VelInstaller: the wizard. Controls are bound by name, every event goes
// through HandleControlEvent, and ShowPanel puts a panel or its HTML page
// in front.
#include <chrono>
#include <thread>

#include "installer/install_journal.h"
#include "installer/vel_installer.h"
#include "system/activity_log.h"
#include "system/files.h"
#include "system/launch.h"
#include "system/paths.h"
#include "system/text.h"
#include "system/uninstall_log.h"
#include "ui/control_helpers.h"

namespace installer {

namespace {

constexpr size_t kMaxActionWord = 200;
constexpr const char* kFolderControls = "EOptionsInstallDir|BOptionsInstallBrowse";
constexpr const char* kFixedFolderHides = "EOptionsInstallDir|BOptionsInstallBrowse|ROptionsProgramsDir|ROptionsCustomDir";
constexpr const char* kCustomButtons = "BCustom1|BCustom2|BCustom3";
constexpr const char* kProgramNameLabels[] = {"LIntroProgramName", "LOptionsProgramName", "LStatusProgramName",
                                               "LFinishedProgramName"};

bool IsClickWired(ui::ControlKind kind) {
  return kind == ui::ControlKind::Button || kind == ui::ControlKind::RadioButton;
}

// The folder itself when it exists, else its nearest existing parent ("" when
// none does): the chooser starts where the user can see something.
std::string NearestExistingFolder(const std::string& folder) {
  std::string candidate = sys::ExcludeTrailingSeparator(folder);
  while (!candidate.empty()) {
    if (sys::FolderExists(candidate)) return sys::IncludeTrailingSeparator(candidate);
    const std::string parent = sys::ExcludeTrailingSeparator(sys::ExtractFilePath(candidate));
    if (parent == candidate) break;
    candidate = parent;
  }
  return "";
}

// The readme of `folder`: "Readme.htm", else "Readme.txt", in any letter
// case; "" when there is none.
std::string FindReadme(const std::string& folder) {
  sys::StringList files;
  sys::ListFiles(files, folder, "ahrs", "*");
  for (const char* wanted : {"readme.htm", "readme.txt"}) {
    for (const std::string& file : files) {
      if (sys::SameTextAscii(file, wanted)) return sys::IncludeTrailingSeparator(folder) + file;
    }
  }
  return "";
}

// The page's button captions, by the name of the panel it replaces.
const char* PageCaptions(const std::string& name) {
  if (name == "Intro") return "Install|Exit";
  if (name == "Readme") return "Next";
  return "Back|Next|Cancel";
}

}  // namespace

std::string RelativeFolderMessage(const std::string& folder) {
  return "The installation folder \"" + folder +
         "\" is not a full path. Choose a folder that starts at the root of a drive or of the file system "
         "(or give one with --dir=FOLDER).";
}

std::string ProposedInstallFolder(const std::string& chosen, const std::string& displayName) {
  const std::string folder = sys::IncludeTrailingSeparator(chosen);
  if (displayName.empty()) return folder;
  if (sys::SameTextAscii(sys::ExtractFileName(sys::ExcludeTrailingSeparator(folder)), displayName)) return folder;
  sys::StringList entries;
  sys::ListFolder(entries, folder, "dhras", "*");
  if (entries.empty()) return folder;
  return sys::IncludeTrailingSeparator(folder + displayName);
}

void VelInstaller::BindPanelControls(const std::string& panels) {
  sys::StringList names;
  sys::SplitDelimited(panels, ",|", names);
  for (const std::string& panel : names) {
    for (ui::Control* control : mainWindow_.controls()) {
      const std::string& name = control->name();
      if (name.size() < 2 || name.compare(1, panel.size(), panel) != 0) continue;
      boundControls_[name] = control;
      auto handler = [this](ui::Control& sender) { HandleControlEvent(sender); };
      if (IsClickWired(control->kind())) {
        control->SetOnClick(handler);
      } else if (control->kind() == ui::ControlKind::Edit) {
        control->SetOnChange(handler);
      }
    }
  }
}

void VelInstaller::HandleControlEvent(ui::Control& control) {
  // An action may close the window, and its owner may then let the engine
  // go; keep it alive until this event is over.
  const std::shared_ptr<VelInstaller> keepAlive = weak_from_this().lock();
  const std::string parentName = control.parent() ? control.parent()->name() : "";
  const std::string panelWord = parentName.size() > 3 ? parentName.substr(3) : "";
  std::string action;
  if (panelWord == "Custom") {
    if (control.kind() == ui::ControlKind::Button) action = control.text();
  } else {
    const size_t from = 1 + run_.currentPanel.size();
    if (from < control.name().size()) action = control.name().substr(from, kMaxActionWord);
  }
  ApplyAction(run_.currentPanel, action);
}

void VelInstaller::ApplyAction(const std::string& panel, const std::string& action) {
  if (panel == "Intro") {
    if (action == "Install") ShowPanel("License");
    if (action == "Exit") {
      NoteFailure(sys::FailureKind::Cancelled, "", "");
      CloseWindow();
    }
  } else if (panel == "License") {
    if (action == "Accept") ShowPanel("Options");
    if (action == "Decline") {
      NoteFailure(sys::FailureKind::Cancelled, "", kDeclineMessage);
      ui::ShowMessage(toolkit_, kDeclineMessage);
      CloseWindow();
    }
    if (action == "Cancel") ConfirmExit();
  } else if (panel == "Options") {
    ApplyOptionsAction(action);
  } else if (panel == "Uninstall") {
    if (action == "Yes") {
      RunUninstall();
      CloseWindow();
    }
    if (action == "No") {
      NoteFailure(sys::FailureKind::Cancelled, "", "");
      CloseWindow();
    }
  } else if (panel == "Readme") {
    if (action == "Next") ShowPanel("Finished");
  } else if (panel == "Finished") {
    if (action == "Close") {
      const ui::Control* launch = BoundControl("COptionsLaunch");
      if (launch && launch->checked()) {
        // A folder typed without its closing separator still names the folder.
        const sys::Failure failure =
            sys::LaunchFile(sys::IncludeTrailingSeparator(run_.installFolder) + GetSettingValue("ProgramExe"), "");
        if (failure.failed()) ui::ShowMessage(toolkit_, failure.message);
      }
      CloseWindow();
    }
  } else if (panel == "Status") {
    if (action == "OK" && run_.mode == "create") CloseWindow();
    if (action == "Cancel") {
      // While the install runs, between its steps as much as inside an
      // extraction, Cancel stops it and the run undoes what it did; closing
      // the window would leave it running with nobody to see it.
      if (run_.busy || outcome_->install == InstallOutcome::Running) {
        RequestCancel();
        toolkit_.ProcessMessages();
      } else {
        NoteFailure(sys::FailureKind::Cancelled, "", "");
        CloseWindow();
      }
    }
  }
}

void VelInstaller::ApplyOptionsAction(const std::string& action) {
  if (action == "AppsDir") {
    UseFolderChoice("apps_dir");
  } else if (action == "ProgramsDir") {
    UseFolderChoice("programs_dir");
  } else if (action == "ScopeMachine") {
    UseScope(sys::InstallScope::Machine);
  } else if (action == "ScopeUser") {
    UseScope(sys::InstallScope::User);
  } else if (action == "CustomDir") {
    ui::SetControlsEnabled(&mainWindow_, kFolderControls, true, "|");
  } else if (action == "InstallBrowse") {
    BrowseInstallFolder();
  } else if (action == "Next") {
    const std::string folder = mainWindow_.Get("EOptionsInstallDir").text();
    if (!sys::IsAbsolutePath(folder)) {
      toolkit_.MessageBox("", RelativeFolderMessage(folder), ui::Buttons::Ok, ui::Icon::Error);
      return;
    }
    if (!DowngradeAccepted()) {
      outcome_->install = InstallOutcome::DowngradeRefused;
      CloseWindow();
      return;
    }
    if (scope() == sys::InstallScope::Machine && installElevated_) {
      const bool noDesktopShortcut = !mainWindow_.Get("COptionsDesktopShortcut").checked();
      const bool noStartMenuShortcut = !mainWindow_.Get("COptionsStartMenuShortcut").checked();
      if (const auto code = installElevated_(folder, noDesktopShortcut, noStartMenuShortcut, true)) {
        return FinishElevated(folder, *code);
      }
    }
    SetInstallFolder(folder);
    RunInstall();
  } else if (action == "Exit") {
    ConfirmExit();
  }
}

void VelInstaller::FinishElevated(const std::string& folder, int code) {
  outcome_->elevatedExitCode = code;
  if (code != 0) {
    sys::LogAction("The elevated installation ended with exit code " + std::to_string(code));
    CloseWindow();
    return;
  }
  SetInstallFolder(folder);
  outcome_->install = InstallOutcome::Installed;
  const ui::Control* readme = BoundControl("COptionsReadme");
  ShowPanel(readme && readme->checked() ? "Readme" : "Finished");
}

void VelInstaller::ConfirmExit() {
  if (toolkit_.MessageBox(kExitCaption, kExitQuestion, ui::Buttons::YesNo, ui::Icon::Question) == ui::Answer::Yes) {
    NoteFailure(sys::FailureKind::Cancelled, "", "");
    CloseWindow();
  }
}

bool VelInstaller::DowngradeAccepted() {
  const std::string version = GetSettingValue("Version");
  const auto previous = ReadPreviousInstallation(
      sys::UninstallLogPath(GetSettingValue("ProgramName"), script_.displayName));
  if (run_.allowDowngrade || !previous || previous->version.empty() || version.empty() ||
      CompareVersions(version, previous->version) >= 0) {
    return true;
  }
  const std::string question = "Version " + previous->version + " of " + script_.displayName +
                               " is installed, which is newer than the version " + version +
                               " this installer holds. Replace it with the older version?";
  if (toolkit_.MessageBox(kExitCaption, question, ui::Buttons::YesNo, ui::Icon::Warning) == ui::Answer::Yes) return true;
  sys::LogAction("Installing version " + version + " over the newer version " + previous->version + " was refused.");
  return false;
}

void VelInstaller::UseFolderChoice(const std::string& variable) {
  ui::SetControlsEnabled(&mainWindow_, kFolderControls, false, "|");
  // With a fixed folder the one choice shown already names it; the folder
  // variable behind the choice may even be undefined.
  if (InstallFolderFixed()) return;
  mainWindow_.Get("EOptionsInstallDir").SetText(GetSettingValue(variable));
}

bool VelInstaller::InstallFolderFixed() const { return GetSettingBool("PreventDirectoryChange"); }

bool VelInstaller::ProposeInstallFolder(const std::string& folder) {
  if (InstallFolderFixed()) return false;
  mainWindow_.Get("ROptionsCustomDir").SetChecked(true);
  ui::SetControlsEnabled(&mainWindow_, kFolderControls, true, "|");
  mainWindow_.Get("EOptionsInstallDir").SetText(sys::IncludeTrailingSeparator(folder));
  return true;
}

void VelInstaller::BrowseInstallFolder() {
  ui::Control& edit = mainWindow_.Get("EOptionsInstallDir");
  const std::string folder = chooser_(NearestExistingFolder(edit.text()), kBrowsePrompt);
  if (!folder.empty()) edit.SetText(ProposedInstallFolder(folder, script_.displayName));
}

void VelInstaller::ShowPanel(const std::string& name) {
  run_.currentPanel = name;
  std::string page = pageFolder_ + name + ".htm";
  std::string alternative = page;
  if (name == "Readme") {
    // Without an install folder a readme name would be looked up in the
    // process's working folder; without a readme there is nothing to show
    // and the wizard goes on to its end.
    const std::string readme = run_.installFolder.empty() ? std::string() : FindReadme(run_.installFolder);
    if (readme.empty()) return ShowPanel("Finished");
    return ShowPage(name, readme);
  }
  if (!name.empty() && name != "License") {
    if (sys::FileExists(page)) return ShowPage(name, page);
    if (sys::FileExists(alternative)) return ShowPage(name, alternative);
  }
  if (name == "Finished") SetFinishText();
  ShowOnlyPanel("Pnl" + name);
}

void VelInstaller::ShowPage(const std::string& name, const std::string& page) {
  ui::Control& view = mainWindow_.Get("XCustomHTML");
  toolkit_.Navigate(view, page);
  WaitForPage(view);
  // A readme may be long; every other page is laid out to fit the panel.
  if (name != "Readme") toolkit_.HideBodyOverflow(view);
  ui::ArrangeButtonBar(&mainWindow_, kCustomButtons, PageCaptions(name));
  ShowOnlyPanel("PnlCustom");
}

void VelInstaller::WaitForPage(ui::Control& view) {
  const auto deadline = std::chrono::steady_clock::now() + kPageLoadLimit;
  while (!toolkit_.DocumentComplete(view) && std::chrono::steady_clock::now() < deadline) {
    toolkit_.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void VelInstaller::ShowOnlyPanel(const std::string& panelControlName) {
  for (const std::string& panel : panelNames_) {
    if (ui::Control* control = mainWindow_.Find("Pnl" + panel)) control->SetVisible("Pnl" + panel == panelControlName);
  }
}

void VelInstaller::SetFinishText() {
  ui::Control& text = mainWindow_.Get("MFinishedText");
  const ui::Control* launch = BoundControl("COptionsLaunch");
  if (launch && launch->checked()) {
    const std::string value = GetSettingValue("FinishedLaunch");
    text.SetText(value.empty() ? std::string(kLaunchFinishText) : ExpandLineBreaks(value));
  } else if (const std::string value = GetSettingValue("FinishedNoLaunch"); !value.empty()) {
    text.SetText(ExpandLineBreaks(value));
  }
}

void VelInstaller::ApplyScriptSettings() {
  script_.displayName = GetSettingValue(HasSetting("DisplayName") ? "DisplayName" : "ProgramName");
  const std::string scopeSetting = GetSettingValue("InstallScope");
  const bool ask = sys::SameTextAscii(scopeSetting, "ask");
  mainWindow_.Get("GrpOptions").SetVisible(ask);
  if (ask) mainWindow_.Get("TxtOptionsAdminNote").SetVisible(false);
  UseScope(sys::ParseScope(scopeSetting).value_or(sys::InstallScope::Machine));
  if (InstallFolderFixed()) ui::SetControlsVisible(&mainWindow_, kFixedFolderHides, false, "|");
  if (HasSetting("ProgramName")) ApplyProgramName();
  mainWindow_.Get("COptionsReadme").SetVisible(GetSettingValue("ReadmeAvailable") == "true");
  if (HasSetting("Version")) ui::SetNamedControlValue(&mainWindow_, "LIntroVersion", "Version " + GetSettingValue("Version"));
  toolkit_.Navigate(mainWindow_.Get("XLicenseHTML"), pageFolder_ + "license.htm");
}

void VelInstaller::UseScope(sys::InstallScope scope) {
  sys::SetCurrentInstallScope(scope);
  if (!machineFolders_) {
    machineFolders_ = std::array<std::string, 3>{GetSettingValue("install_dir"), GetSettingValue("apps_dir"),
                                                 GetSettingValue("programs_dir")};
  }
  const bool fixed = InstallFolderFixed();
  const std::string userPrograms = sys::UserProgramFilesFolder();
  if (scope == sys::InstallScope::User && !fixed && !userPrograms.empty()) {
    // A user without administrator rights can write only below the profile.
    const std::string folder = sys::IncludeTrailingSeparator(userPrograms + script_.displayName);
    SetSettingValue("install_dir", folder);
    SetSettingValue("apps_dir", folder);
    SetSettingValue("programs_dir", userPrograms);
  } else {
    SetSettingValue("install_dir", (*machineFolders_)[0]);
    SetSettingValue("apps_dir", (*machineFolders_)[1]);
    SetSettingValue("programs_dir", (*machineFolders_)[2]);
  }
  // An upgrade goes where the earlier version is: the log is looked up in
  // the scope's data folder.
  if (const auto previous =
          ReadPreviousInstallation(sys::UninstallLogPath(GetSettingValue("ProgramName"), script_.displayName))) {
    SetSettingValue("install_dir", previous->folder);
  }
  ui::Control& appsChoice = mainWindow_.Get("ROptionsAppsDir");
  mainWindow_.Get("EOptionsInstallDir").SetText(GetSettingValue("install_dir"));
  mainWindow_.Get("ROptionsProgramsDir").SetText(GetSettingValue("programs_dir"));
  appsChoice.SetText(GetSettingValue(fixed ? "install_dir" : "apps_dir"));
  appsChoice.SetChecked(true);
  ui::SetControlsEnabled(&mainWindow_, kFolderControls, false, "|");
  mainWindow_.Get("ROptionsScopeMachine").SetChecked(scope == sys::InstallScope::Machine);
  mainWindow_.Get("ROptionsScopeUser").SetChecked(scope == sys::InstallScope::User);
  sys::LogAction(std::string("Installing for ") + (scope == sys::InstallScope::User ? "the current user" : "all users"));
}

void VelInstaller::ApplyProgramName() {
  for (const char* label : kProgramNameLabels) ui::SetNamedControlValue(&mainWindow_, label, script_.displayName);
  ui::Control& extra = mainWindow_.Get("MFinishedExtra");
  if (const std::string value = GetSettingValue("FinishedExtra"); !value.empty()) {
    extra.SetText(ExpandLineBreaks(value));
  } else {
    extra.SetVisible(false);
    ui::Control& text = mainWindow_.Get("MFinishedText");
    ui::Rect bounds = text.bounds();
    const int boxHeight = text.parent() ? text.parent()->bounds().height : bounds.height;
    bounds.top = (boxHeight - bounds.height) / 2;
    text.SetBounds(bounds);
  }
  const std::string title = GetSettingValue("InstallationTitle");
  mainWindow_.SetCaption(title.empty() ? "Installing " + script_.displayName : title);
}

}  // namespace installer
