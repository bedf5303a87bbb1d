#include "app/main_window.h"

#include <charconv>
#include <stdexcept>

#include "app/elevation.h"
#include "app/exit_codes.h"
#include "app/main_window_def.h"
#include "app/options.h"
#include "system/activity_log.h"
#include "system/launch.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/settings.h"
#include "ui/control_helpers.h"

namespace app {

namespace {

// The dispatch table: mode word to role. Any word not listed (letter case
// counts) is the path of an archive to extract.
struct ModeEntry {
  const char* word;
  void (TDInstallMain::*run)();
};

}  // namespace

int64_t StrToInt64(const std::string& text) {
  std::string_view digits = text;
  if (digits.starts_with('+')) digits.remove_prefix(1);
  int64_t value = 0;
  const char* end = digits.data() + digits.size();
  auto [stop, error] = std::from_chars(digits.data(), end, value);
  // from_chars takes a "-" itself but no "+"; "+-5" must stay invalid.
  bool valid = !digits.empty() && digits.front() != '+' && !(text.starts_with('+') && digits.front() == '-');
  if (!valid || error != std::errc() || stop != end) {
    throw std::invalid_argument("'" + text + "' is not a valid integer value");
  }
  return value;
}

TDInstallMain::TDInstallMain(ui::Toolkit& toolkit, Roles& roles, const std::vector<std::string>& arguments,
                             const std::string& executablePath,
                             std::function<void(const std::string&)> openDocument)
    : toolkit_(toolkit),
      roles_(roles),
      form_(MainWindowDefinition()),
      executablePath_(executablePath),
      openDocument_(std::move(openDocument)) {
  form_.SetOnShow([this](ui::Form&) { FormShow(); });
  form_.Get("CtrlAppTimer").SetOnClick([this](ui::Control&) { CtrlAppTimerTimer(); });
  form_.Get("LUninstallLink").SetOnClick([this](ui::Control&) { LUninstallLinkClick(); });
  FormCreate(arguments);
}

TDInstallMain::~TDInstallMain() {
  if (engineCreated_) roles_.DestroyEngine();
}

void TDInstallMain::FormCreate(const std::vector<std::string>& arguments) {
  lineBreak_ = "\r\n";
  form_.Get("EOptionsInstallDir").SetText(sys::IncludeTrailingSeparator(sys::ExtractFilePath(executablePath_)));
  for (size_t i = 0; i < arguments_.size() && i < arguments.size(); ++i) arguments_[i] = arguments[i];
}

bool TDInstallMain::IsArchiveMode() const {
  const std::string& mode = arguments_[0];
  return !mode.empty() && mode != "install" && mode != "uninstall" && mode != "build";
}

void TDInstallMain::FormShow() {
  // The engine belongs to the window's first showing; later showings (the
  // window may be hidden and shown again) keep it and do not re-arm.
  if (engineCreated_) return;
  roles_.CreateEngine(form_, toolkit_);
  engineCreated_ = true;
  ui::Control& timer = form_.Get("CtrlAppTimer");
  timer.SetEnabled(true);
  toolkit_.StartTimer(timer.intervalMs(), [&timer] {
    if (timer.enabled()) timer.RaiseClick();
  });
  if (IsArchiveMode()) {
    form_.Get("PnlAbout").SetVisible(true);
  } else {
    roles_.ShowPanel("");
  }
}

void TDInstallMain::ApplyArgumentDefaults() {
  if (arguments_[4].empty()) arguments_[4] = "0";
  // An uninstall without a name must not take the program's own file for
  // its log: it is refused with the usage instead.
  if (arguments_[1].empty() && arguments_[0] != "uninstall") arguments_[1] = executablePath_;
}

void TDInstallMain::CtrlAppTimerTimer() {
  static constexpr ModeEntry kModes[] = {
      {"build", &TDInstallMain::RunBuild},
      {"uninstall", &TDInstallMain::RunUninstall},
      {"archive", &TDInstallMain::RunArchive},
      {"install", &TDInstallMain::RunInstall},
      {"", &TDInstallMain::RunInstall},
  };
  form_.Get("CtrlAppTimer").SetEnabled(false);
  form_.Get("LStatusCaption").SetVisible(true);
  form_.Get("LStatusProgramName").SetVisible(true);
  ApplyArgumentDefaults();
  for (const ModeEntry& mode : kModes) {
    if (arguments_[0] == mode.word) return (this->*mode.run)();
  }
  RunExtract();
}

void TDInstallMain::RunBuild() {
  form_.Get("LStatusCaption").SetVisible(false);
  form_.Get("LStatusProgramName").SetVisible(false);
  int64_t number = StrToInt64(arguments_[4]);
  roles_.Build(arguments_[1], arguments_[2], arguments_[3], "", number);
}

void TDInstallMain::RunUninstall() {
  if (arguments_[1].empty()) {
    exitCode_ = kExitBadArguments;
    toolkit_.MessageBox("", "uninstall needs the name of the program to remove.\n\n" + UsageText(), ui::Buttons::Ok,
                        ui::Icon::Error);
    toolkit_.CloseForm(form_);
    return;
  }
  roles_.PrepareUninstall(arguments_[1]);
}

void TDInstallMain::RunInstall() {
  roles_.OpenPackage(arguments_[1]);
  roles_.SetElevatedInstall(
      [this](const std::string& folder, bool noDesktopShortcut, bool noStartMenuShortcut, bool allowDowngrade) {
        return InstallElevated(folder, noDesktopShortcut, noStartMenuShortcut, allowDowngrade);
      });
  // An undefined install_dir stays empty rather than becoming a bare
  // separator, which would propose the root of the drive.
  form_.Get("EOptionsInstallDir").SetText(sys::IncludeTrailingSeparator(roles_.GetSettingValue("install_dir")));
  ApplyInstallChoices();
}

void TDInstallMain::ApplyInstallChoices() {
  // A refused package has closed the window: there is nothing to choose.
  if (form_.closed()) return;
  if (unattended_.allowDowngrade) roles_.AllowDowngrade();
  if (unattended_.scope) roles_.UseScope(*unattended_.scope);
  if (unattended_.noDesktopShortcut) {
    form_.Get("COptionsDesktopShortcut").SetChecked(false);
    sys::LogAction("No desktop shortcut will be created (--no-shortcuts).");
  }
  if (unattended_.noStartMenuShortcut) {
    form_.Get("COptionsStartMenuShortcut").SetChecked(false);
    sys::LogAction("No Start menu shortcuts will be created (--no-shortcuts).");
  }
  if (!unattended_.folder) return;
  const std::string folder = sys::IncludeTrailingSeparator(*unattended_.folder);
  if (!roles_.ProposeInstallFolder(folder)) {
    toolkit_.MessageBox("", "This installer always installs into " + roles_.GetSettingValue("install_dir") +
                                "; the folder " + folder + " given with --dir is not used.",
                        ui::Buttons::Ok, ui::Icon::Warning);
    return;
  }
  sys::LogAction("Installation folder from --dir: " + folder);
}

std::optional<int> TDInstallMain::InstallElevated(const std::string& folder, bool noDesktopShortcut,
                                                  bool noStartMenuShortcut, bool allowDowngrade) {
  if (sys::platform::IsElevated()) return std::nullopt;
  UnattendedOptions choices = unattended_;
  choices.allowDowngrade = choices.allowDowngrade || allowDowngrade;
  const std::string line = WindowsCommandLine(ElevatedArguments({"install", arguments_[1]}, choices, folder,
                                                                       noDesktopShortcut, noStartMenuShortcut));
  sys::LogAction("Installing for all users needs administrator rights: starting " + executablePath_ + " " + line);
  const sys::platform::ElevatedRun run =
      sys::platform::RunElevatedAndWait(executablePath_, line, [this] { toolkit_.ProcessMessages(); });
  if (run.refused) {
    sys::LogAction("Administrator rights were refused.");
    return kExitCancelledBeforeInstall;
  }
  // Not started for another reason: this process tries, and says which
  // file it could not write.
  if (!run.started) return std::nullopt;
  return run.exitCode;
}

namespace {

// Closes the main window on every way out of an archive mode, failures and
// exceptions included: the window may be hidden by then, and a hidden main
// window that never closes would leave the program running unseen.
class CloseOnExit {
 public:
  CloseOnExit(ui::Toolkit& toolkit, ui::Form& form) : toolkit_(toolkit), form_(form) {}
  ~CloseOnExit() { toolkit_.CloseForm(form_); }
  CloseOnExit(const CloseOnExit&) = delete;
  CloseOnExit& operator=(const CloseOnExit&) = delete;

 private:
  ui::Toolkit& toolkit_;
  ui::Form& form_;
};

std::string CurrentFolder() {
  const std::string folder = sys::platform::CurrentFolder();
  return folder.empty() ? folder : sys::IncludeTrailingSeparator(folder);
}

}  // namespace

void TDInstallMain::RunArchive() {
  CloseOnExit close(toolkit_, form_);
  // --name= answers the question before it is asked.
  std::optional<std::string> name = unattended_.archiveName;
  if (!name) name = toolkit_.InputBox("Create Archive", "Archive File Name:", "");
  std::string targetFolder = sys::IncludeTrailingSeparator(arguments_[1]);
  if (!name || name->empty()) {
    exitCode_ = kExitCancelled;
    return;
  }
  std::string targetFile = targetFolder + sys::ChangeExtension(*name, ".bvarc");
  exitCode_ = kExitFailure;  // stays so when the role throws
  exitCode_ = roles_.CreateArchive(targetFile, arguments_[2]) ? kExitSuccess : kExitFailure;
}

void TDInstallMain::RunExtract() {
  CloseOnExit close(toolkit_, form_);
  const std::string& archiveFile = arguments_[0];
  toolkit_.HideForm(form_);
  std::string destination;
  if (unattended_.folder) {
    destination = *unattended_.folder;
  } else if (chooser_) {
    // The archive's own folder; a bare name has none (which once proposed
    // the root), and then the current folder is where it was found.
    const std::string archiveFolder = sys::ExtractFilePath(archiveFile);
    destination = chooser_->ChooseDirectory(archiveFolder.empty() ? CurrentFolder() : archiveFolder,
                                            "Choose a directory to extract files to.");
  }
  if (destination.empty()) {
    exitCode_ = kExitCancelled;
    return;
  }
  exitCode_ = kExitFailure;
  exitCode_ = roles_.ExtractArchive(archiveFile, destination) ? kExitSuccess : kExitFailure;
}

void TDInstallMain::LUninstallLinkClick() {
  const std::string url = roles_.GetSettingValue("PublisherURL");
  if (openDocument_) openDocument_(url.empty() ? std::string(kMakerWebAddress) : url);
}

}  // namespace app
