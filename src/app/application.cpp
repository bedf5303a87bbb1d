#include "app/application.h"

#include <algorithm>

#include "app/choose_dir.h"
#include "app/exit_codes.h"
#include "app/exit_status.h"
#include "app/main_window.h"
#include "app/options.h"
#include "app/reporting_toolkit.h"
#include "app/unattended_options.h"
#include "app/wizard_autopilot.h"
#include "archive/archive.h"
#include "system/activity_log.h"
#include "system/platform.h"
#include "system/text.h"
#include "ui/console/silent_toolkit.h"

namespace app {

namespace {

// Sends the activity log's lines to the --log file for the life of a run.
class ActivityScope {
 public:
  explicit ActivityScope(sys::ActivityFile& file) {
    if (file.IsOpen()) {
      previous_ = sys::SetActivitySink([&file](std::string_view text) { file.Write(text); });
      installed_ = true;
    }
  }
  ~ActivityScope() {
    if (installed_) sys::SetActivitySink(std::move(previous_));
  }
  ActivityScope(const ActivityScope&) = delete;
  ActivityScope& operator=(const ActivityScope&) = delete;

 private:
  sys::ActivitySink previous_;
  bool installed_ = false;
};

// The arguments and the unattended options as they were understood.
std::string CommandLineText(const std::vector<std::string>& arguments, const UnattendedOptions& unattended) {
  std::vector<std::string> words = arguments;
  if (unattended.silent) words.push_back("--silent");
  if (unattended.folder) words.push_back("--dir=" + *unattended.folder);
  for (const std::string& word : NoShortcutsWords(unattended.noDesktopShortcut, unattended.noStartMenuShortcut)) {
    words.push_back(word);
  }
  if (unattended.allowDowngrade) words.push_back("--allow-downgrade");
  if (unattended.scope) words.push_back("--scope=" + std::string(sys::ScopeName(*unattended.scope)));
  if (!unattended.logFile.empty()) words.push_back("--log=" + unattended.logFile);
  std::string text;
  for (const std::string& word : words) {
    const bool quote = word.empty() || word.find(' ') != std::string::npos;
    text += " " + (quote ? "\"" + word + "\"" : word);
  }
  return text;
}

}  // namespace

void ShowErrorBox(ui::Toolkit& toolkit, const std::string& text) {
  toolkit.MessageBox("", text, ui::Buttons::Ok, ui::Icon::Error);
}

int RunApplication(ui::Toolkit& native, Roles& roles, const StartupOptions& options) {
  const UnattendedOptions& unattended = options.unattended;
  sys::FileWriter standardError(stderr);
  sys::TextWriter& errors = options.errors ? *options.errors : standardError;
  if (unattended.silent) sys::platform::AttachParentConsole();
  sys::ActivityFile logFile;
  if (!unattended.logFile.empty() && !logFile.Open(unattended.logFile)) {
    errors << kApplicationTitle << ": the log file " << unattended.logFile << " cannot be written.\n";
    // An installer that cannot start is "init failed" to the scripts that run it.
    const std::string mode = options.arguments.empty() ? "" : options.arguments.front();
    return mode.empty() || mode == "install" || mode == "uninstall" ? kExitInitFailed : kExitIoFailure;
  }
  if (unattended.logAnnounced) errors << kApplicationTitle << ": logging to " << unattended.logFile << '\n';
  ActivityScope logging(logFile);
  roles.SetBuildChecks(&errors, options.warningsAreErrors);
  sys::LogAction(VersionText() + " started:" + CommandLineText(options.arguments, unattended));

  // A silent run shows nothing: its own toolkit answers every question and
  // the autopilot walks the wizard. Existing files of an extraction are
  // then replaced only by newer ones, as an installation does.
  ui::SilentToolkit silent;
  WizardAutopilot pilot;
  if (unattended.silent) {
    silent.SetIdleHandler([&pilot](ui::Form& window) { return pilot.Step(window); });
    archive::ArchiveModule& module = archive::Module();
    module.OverwriteExisting = module.OverwriteReadOnly = module.OverwriteSystem = archive::kYesOnNewer;
  }
  ReportingToolkit toolkit(unattended.silent ? static_cast<ui::Toolkit&>(silent) : native,
                           unattended.silent ? &errors : nullptr);

  toolkit.SetTitle(kApplicationTitle);
  sys::Failure escaped;
  toolkit.SetErrorHandler([&toolkit, &escaped](const ui::EscapedError& error) {
    if (!escaped.failed()) escaped = error.failure;
    ShowErrorBox(toolkit, error.text);
  });

  TDInstallMain mainWindow(toolkit, roles, options.arguments, options.executablePath, options.openDocument);
  mainWindow.SetUnattended(unattended);
  TDChooseDir chooser(toolkit);
  mainWindow.SetChooser(&chooser);
  roles.CreateArchiveWindow(toolkit);

  toolkit.Run(mainWindow.form());
  toolkit.SetErrorHandler({});
  // The roles know why an operation failed; the window only that it did
  // (an archive prompt left without an answer).
  int status = roles.ExitCode(escaped);
  if (status == kExitSuccess) status = mainWindow.exitCode();
  if (status == kExitSuccess && escaped.failed()) status = kExitFailure;
  if (unattended.silent && roles.role() == RoleKind::Install) status = SilentInstallExitCode(pilot, status);
  const char* meaning = ExitCodeMeaning(status, roles.role());

  sys::LogAction("Finished with exit code " + std::to_string(status) + " (" + meaning + ")");
  if (unattended.silent && status != kExitSuccess) {
    // Nobody saw the windows: say on standard error why the run failed.
    // The archive roles tell their failure in their own window's status
    // line, which a silent run never shows.
    const std::string& archiveFailure = archive::Module().failure.message;
    if (roles.role() == RoleKind::Other && !archiveFailure.empty() && archiveFailure != toolkit.lastMessage()) {
      errors << kApplicationTitle << ": " << sys::EscapeControls(archiveFailure, "\n") << '\n';
    }
    if (!toolkit.lastMessage().empty() && !toolkit.lastMessageEchoed()) {
      errors << kApplicationTitle << ": " << sys::EscapeControls(toolkit.lastMessage(), "\n") << '\n';
    }
    errors << kApplicationTitle << ": " << meaning << " (exit code " << status << ")\n";
  }
  return status;
}

}  // namespace app
