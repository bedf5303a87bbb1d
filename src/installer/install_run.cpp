// VelInstaller: the install run. Extracts the program's files, creates the
// shortcuts and associations, and leaves an uninstall log and an
// uninstaller in the program's data folder.
#include <ctime>

#include "archive/archive.h"
#include "installer/install_journal.h"
#include "installer/scoped_value.h"
#include "installer/vel_installer.h"
#include "system/activity_log.h"
#include "system/apps_entry.h"
#include "system/associations.h"
#include "system/files.h"
#include "system/interrupts.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/shortcuts.h"
#include "system/uninstall_log.h"

namespace installer {

namespace {

constexpr const char* kDesktopFolder = "user_desktop";

// The Start menu of every user, or the user's own in a per-user installation.
const char* StartMenuKeyword() {
  return sys::CurrentInstallScope() == sys::InstallScope::User ? "user_startmenu" : "startmenu";
}
const char* ProgramsKeyword() {
  return sys::CurrentInstallScope() == sys::InstallScope::User ? "user_programs" : "programs";
}

// A shortcut line of the script: flags|target|arguments|name|icon.
struct ShortcutLine {
  std::string flags, target, arguments, name, icon;
};

bool IsChecked(const VelInstaller& engine, const char* name) {
  const ui::Control* box = engine.BoundControl(name);
  return box && box->checked();
}

void SetStatus(ui::Form& window, const std::string& pleaseWait, const std::string& action) {
  window.Get("LStatusPleaseWait").SetText(pleaseWait);
  window.Get("LStatusAction").SetText(action);
  window.Get("TxtStatusFile").SetText("");
}

}  // namespace

// The install run's working state: the journal of what it changed and
// what the run needs to write shortcuts.
class InstallRun {
 public:
  explicit InstallRun(VelInstaller& engine)
      : engine_(engine),
        window_(engine.mainWindow()),
        startMenuFolder_(engine.GetSettingValue("StartMenuFolder")),
        dataFolder_(sys::ProgramDataFolder(engine.GetSettingValue("ProgramName"))),
        journal_(dataFolder_, dataFolder_.empty() ? std::string()
                                                  : dataFolder_ + sys::UninstallLogName(engine.Script().displayName)) {}

  void Run();

 private:
  bool Stopping() const {
    return engine_.run_.cancelRequested || engine_.run_.lastExtractionFailed || sys::InterruptRequested();
  }
  void Install();
  void ExtractProgramFiles();
  void CreateScriptShortcuts();
  void CreateScriptShortcut(const ShortcutLine& line);
  void CreateDefaultShortcuts();
  void CreateUninstallShortcut();
  void Shortcut(const std::string& target, const std::string& arguments, const std::string& name,
                const std::string& keyword, const std::string& icon, const std::string& subfolder);
  void RegisterAssociations();
  void WriteAppsEntry();
  void ReportResult();
  void WriteUninstaller();
  void Fail(const std::string& text);

  VelInstaller& engine_;
  ui::Form& window_;
  const std::string startMenuFolder_;
  const std::string dataFolder_;  // the program's data folder: log and uninstaller
  InstallJournal journal_;
};

void InstallRun::Run() {
  engine_.run_.installStarted = true;
  engine_.SetInstallFolder(engine_.GetSettingValue("install_dir"));
  engine_.ShowPanel("Status");
  engine_.run_.cancelRequested = false;
  engine_.run_.lastExtractionFailed = false;
  engine_.outcome_->install = InstallOutcome::Running;
  SetStatus(window_, "Please wait while " + engine_.script_.displayName + " is installed to your computer.",
            "Extracting files ...");
  window_.Get("BStatusOK").SetEnabled(false);
  engine_.toolkit().ProcessMessages();
  sys::LogAction("Installing " + engine_.script_.displayName + " into " + engine_.run_.installFolder);
  // Ctrl-C, SIGTERM and a closed console stop the run like Cancel does.
  sys::InterruptGuard interrupts;
  try {
    Install();
  } catch (...) {
    // An error from the file system, the shell or the registry: undo, then
    // let the application's error box tell it.
    journal_.RollBack();
    engine_.outcome_->install = InstallOutcome::Failed;
    window_.Get("BStatusOK").SetEnabled(true);
    window_.Get("CtrlStatusProgress").SetPosition(0);
    SetStatus(window_, kInstallFailedText, kInstallFailedAction);
    throw;
  }
  const bool interrupted = sys::InterruptRequested();
  window_.Get("BStatusOK").SetEnabled(true);
  ReportResult();
  // Interrupted from outside: nobody is left to close the window.
  if (interrupted) engine_.CloseWindow();
}

void InstallRun::Install() {
  if (!journal_.Begin(engine_.run_.installFolder, engine_.GetSettingValue("Version"), sys::CurrentInstallScope())) {
    return Fail(journal_.failure());
  }
  const sys::LogPublisher publisher{engine_.GetSettingValue("Publisher"), engine_.GetSettingValue("PublisherURL"),
                                    engine_.GetSettingValue("Copyright")};
  if (!(publisher.publisher + publisher.url + publisher.copyright).empty()) {
    journal_.Note(sys::PublisherLogLine(publisher));
  }
  if (!journal_.MakeFolders(engine_.run_.installFolder)) {
    return Fail("The folder " + engine_.run_.installFolder + " could not be created.");
  }
  {
    // The run's extractions tell the journal what they write.
    ScopedValue<archive::ExtractionWatcher*> watching(archive::Module().watcher, &journal_);
    ExtractProgramFiles();
  }
  if (!journal_.failure().empty()) engine_.run_.lastExtractionFailed = true;
  // Shortcuts and associations to files that were not written would point
  // nowhere: a failed extraction stops the run as a cancel does.
  if (!Stopping()) {
    window_.Get("LStatusAction").SetText("Creating Shortcuts ...");
    engine_.toolkit().ProcessMessages();
  }
  if (!Stopping()) {
    if (engine_.script_.shortcutLines.empty()) {
      CreateDefaultShortcuts();
    } else {
      CreateScriptShortcuts();
    }
  }
  if (!Stopping()) RegisterAssociations();
  if (!Stopping()) WriteAppsEntry();
  if (sys::InterruptRequested()) engine_.run_.cancelRequested = true;
  if (Stopping()) {
    journal_.RollBack();
    engine_.outcome_->install = engine_.run_.cancelRequested ? InstallOutcome::Cancelled : InstallOutcome::Failed;
    return;
  }
  if (!journal_.Commit()) return Fail(journal_.failure());
  WriteUninstaller();
  engine_.outcome_->install = InstallOutcome::Installed;
}

void InstallRun::Fail(const std::string& text) {
  journal_.RollBack();
  engine_.run_.lastExtractionFailed = true;
  engine_.outcome_->install = InstallOutcome::Failed;
  archive::Module().lastError = text;
  sys::LogAction(text);
  engine_.toolkit().MessageBox("", text, ui::Buttons::Ok, ui::Icon::Error);
}

void InstallRun::ExtractProgramFiles() {
  // The result is not consulted: a package without program files still
  // installs its shortcuts and associations.
  engine_.ExtractPackageFolder("install_dir");
}

void InstallRun::CreateScriptShortcuts() {
  for (const std::string& text : engine_.script_.shortcutLines) {
    if (Stopping()) break;
    sys::RecordFields fields;
    sys::SplitRecord(text, fields, 0, &engine_.script_.variables);
    CreateScriptShortcut({fields[0], fields[1], fields[2], fields[3], fields[4]});
  }
}

void InstallRun::CreateScriptShortcut(const ShortcutLine& line) {
  auto flagged = [&line](char letter) { return line.flags.find(letter) != std::string::npos; };
  const bool desktop = IsChecked(engine_, "COptionsDesktopShortcut");
  const bool startMenu = IsChecked(engine_, "COptionsStartMenuShortcut");
  if (flagged('d') && desktop) Shortcut(line.target, line.arguments, line.name, kDesktopFolder, line.icon, "");
  if (flagged('s') && startMenu) {
    Shortcut(line.target, line.arguments, line.name, StartMenuKeyword(), line.icon, startMenuFolder_);
  }
  if (flagged('p') && startMenu) {
    Shortcut(line.target, line.arguments, line.name, ProgramsKeyword(), line.icon, startMenuFolder_);
    CreateUninstallShortcut();
  }
}

void InstallRun::CreateDefaultShortcuts() {
  const std::string folder = engine_.run_.installFolder;
  const std::string target = folder + engine_.GetSettingValue("ProgramExe");
  const std::string iconName = engine_.GetSettingValue("ProgramIcon");
  const std::string icon = iconName.empty() ? std::string() : folder + iconName;
  const std::string& name = engine_.script_.displayName;
  if (IsChecked(engine_, "COptionsDesktopShortcut")) Shortcut(target, "", name, kDesktopFolder, icon, "");
  if (IsChecked(engine_, "COptionsStartMenuShortcut")) {
    CreateUninstallShortcut();
    Shortcut(target, "", name, ProgramsKeyword(), icon, startMenuFolder_);
  }
}

void InstallRun::CreateUninstallShortcut() {
  const std::string& name = engine_.script_.displayName;
  Shortcut(dataFolder_ + engine_.script_.uninstallerName, "uninstall \"" + name + "\"", "Uninstall " + name,
           ProgramsKeyword(), "", startMenuFolder_);
}

void InstallRun::Shortcut(const std::string& target, const std::string& arguments, const std::string& name,
                          const std::string& keyword, const std::string& icon, const std::string& subfolder) {
  journal_.BeforeShortcut(name, keyword, subfolder);
  sys::CreateShortcut(target, arguments, name, keyword, icon, subfolder);
  sys::LogAction("Created shortcut \"" + name + "\" in " + keyword + (subfolder.empty() ? "" : ", " + subfolder));
}

void InstallRun::RegisterAssociations() {
  for (const std::string& text : engine_.script_.associationLines) {
    if (Stopping()) break;
    sys::RecordFields fields;
    sys::SplitRecord(text, fields, 0, &engine_.script_.variables);
    journal_.BeforeAssociation(fields[0], fields[1], fields[2]);
    sys::SetFileAssociation(fields[0], fields[1], fields[2]);
    sys::LogAction("Associated " + fields[1] + " with " + fields[0]);
  }
}

void InstallRun::WriteAppsEntry() {
  // Without a program name there is no key, and without a data folder no
  // uninstaller that the entry could name.
  const std::string key = engine_.GetSettingValue("ProgramName");
  if (key.empty() || dataFolder_.empty()) return;
  const std::string folder = sys::IncludeTrailingSeparator(engine_.run_.installFolder);
  const std::string iconName = engine_.GetSettingValue("ProgramIcon");
  const std::string program = engine_.GetSettingValue("ProgramExe");
  sys::InstalledProgram installed;
  installed.displayName = engine_.script_.displayName;
  installed.version = engine_.GetSettingValue("Version");
  installed.publisher = engine_.GetSettingValue("Publisher");
  installed.url = engine_.GetSettingValue("PublisherURL");
  installed.icon = !iconName.empty() ? folder + iconName : program.empty() ? std::string() : folder + program;
  installed.installFolder = folder;
  installed.uninstaller = dataFolder_ + engine_.script_.uninstallerName;
  installed.installedBytes = journal_.InstalledBytes();
  installed.installTime = std::time(nullptr);
  const sys::InstallScope scope = sys::CurrentInstallScope();
  journal_.BeforeAppsEntry(key, scope);
  if (!sys::platform::WriteAppsEntry(scope, key, sys::MakeAppsEntry(installed))) {
    // The run stops as a failed extraction does, and is undone there.
    const std::string text = "The entry " + key + " of the installed programs could not be written (" +
                             (scope == sys::InstallScope::User ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") +
                             sys::kAppsEntryKeyPath + key + ").";
    engine_.run_.lastExtractionFailed = true;
    archive::Module().lastError = text;
    sys::LogAction(text);
    engine_.toolkit().MessageBox("", text, ui::Buttons::Ok, ui::Icon::Error);
    return;
  }
  sys::LogAction("Added " + engine_.script_.displayName + " to the installed programs (" + key + ")");
}

void InstallRun::ReportResult() {
  if (engine_.outcome_->install == InstallOutcome::Cancelled) {
    window_.Get("CtrlStatusProgress").SetPosition(0);
    SetStatus(window_, "Your installation was canceled. Your application is not ready.", "Installation aborted.");
    sys::LogAction("Installation aborted.");
    engine_.NoteFailure(sys::FailureKind::Cancelled, engine_.run_.installFolder, "Installation aborted.");
    return;
  }
  if (engine_.outcome_->install != InstallOutcome::Installed) {
    window_.Get("CtrlStatusProgress").SetPosition(0);
    SetStatus(window_, kInstallFailedText, kInstallFailedAction);
    sys::LogAction(kInstallFailedAction);
    // The archive engine recorded what failed and on which file.
    const sys::Failure& cause = archive::Module().failure;
    engine_.NoteFailure(cause.failed() ? cause.kind : sys::FailureKind::Other,
                        cause.failed() ? cause.path : engine_.run_.installFolder, kInstallFailedAction);
    return;
  }
  SetStatus(window_, engine_.script_.displayName + " was successfully installed.", "Finished!");
  sys::LogAction(engine_.script_.displayName + " was successfully installed.");
  engine_.ShowPanel(IsChecked(engine_, "COptionsReadme") ? "Readme" : "Finished");
}

void InstallRun::WriteUninstaller() {
  // Without an application-data folder there is nowhere safe to write:
  // never fall back to the process's working folder.
  if (dataFolder_.empty()) return;
  sys::LogAction("Wrote the uninstall log " + dataFolder_ + sys::UninstallLogName(engine_.script_.displayName));
  const std::string uninstaller = dataFolder_ + engine_.script_.uninstallerName;
  if (engine_.run_.packageOpen &&
      archive::ArchiveExtractEntry(engine_.run_.archivePath, "*", uninstaller, kUninstallerTail)) {
    sys::platform::MarkExecutable(uninstaller);
    sys::LogAction("Wrote the uninstaller " + uninstaller);
  }
}

void VelInstaller::RunInstall() {
  // Closing the window from inside a progress call must not take the engine
  // away while the run still uses it.
  const std::shared_ptr<VelInstaller> keepAlive = weak_from_this().lock();
  InstallRun(*this).Run();
}

}  // namespace installer
