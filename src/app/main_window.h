// TDInstallMain: the program's main window and its life cycle. It holds the
// five command-line arguments, creates the installer engine when first
// shown, and on the first tick of its one-shot timer hands control to the
// role that the first argument selects:
//   "build"      Build(package, project folder, compression mode, "", number)
//   "uninstall"  PrepareUninstall(log name)
//   "archive"    ask for a name, pack the third argument into the second
//   "install"/"" OpenPackage(path), then propose install_dir in the wizard
//   other text   the path of an archive to extract (asks for a folder)
// Mode words are compared exactly, letter case included.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/choose_dir.h"
#include "app/roles.h"
#include "app/unattended_options.h"
#include "ui/form.h"
#include "ui/toolkit.h"

namespace app {

// Converts a decimal 64-bit integer (optional sign, digits only). Throws
// std::invalid_argument "'<text>' is not a valid integer value" otherwise,
// also on overflow.
int64_t StrToInt64(const std::string& text);

class TDInstallMain {
 public:
  // Builds the window and runs FormCreate: the line break (CR LF), the
  // install-folder edit box set to the executable's folder, and the first
  // five of `arguments` (the command line without the program name; missing
  // ones stay empty). `openDocument` opens the maker's web address (may be
  // empty: the link then does nothing).
  TDInstallMain(ui::Toolkit& toolkit, Roles& roles, const std::vector<std::string>& arguments,
                const std::string& executablePath, std::function<void(const std::string&)> openDocument);
  // Destroys the engine, after the loop has ended: never from inside one of
  // the engine's own events.
  ~TDInstallMain();
  TDInstallMain(const TDInstallMain&) = delete;
  TDInstallMain& operator=(const TDInstallMain&) = delete;

  ui::Form& form() { return form_; }
  // The chooser the extract mode uses; must be set before the loop runs.
  void SetChooser(TDChooseDir* chooser) { chooser_ = chooser; }
  // The command line's choices for an unattended run: once a package is
  // open, --dir becomes the proposed folder (unless the script prevents a
  // change of folder) and --no-shortcuts clears both shortcut options; an
  // extraction goes to --dir without asking. Set before the loop runs.
  void SetUnattended(const UnattendedOptions& options) { unattended_ = options; }

  // Argument 1 (the mode) to 5; defaults applied once the dispatch ran.
  const std::string& argument(int number) const { return arguments_.at(number - 1); }
  const std::string& lineBreak() const { return lineBreak_; }
  // The archive modes' outcome (app/exit_codes.h): 0 when done or not an
  // archive mode, 3 when the name or folder prompt was cancelled, 1 when the
  // operation failed (the roles may know more, see Roles::ExitCode).
  int exitCode() const { return exitCode_; }

 private:
  void FormCreate(const std::vector<std::string>& arguments);
  void FormShow();
  void CtrlAppTimerTimer();
  void LUninstallLinkClick();

  void ApplyArgumentDefaults();
  void RunBuild();
  void RunUninstall();
  void RunInstall();
  void RunArchive();
  void RunExtract();
  void ApplyInstallChoices();
  // Installs into `folder` from an elevated copy of this process when this
  // one lacks administrator rights; its exit code, or nullopt when this
  // process is to install.
  std::optional<int> InstallElevated(const std::string& folder, bool noDesktopShortcut, bool noStartMenuShortcut,
                                     bool allowDowngrade);
  bool IsArchiveMode() const;

  ui::Toolkit& toolkit_;
  Roles& roles_;
  TDChooseDir* chooser_ = nullptr;
  ui::Form form_;
  std::string executablePath_;
  std::function<void(const std::string&)> openDocument_;
  std::array<std::string, 5> arguments_;
  UnattendedOptions unattended_;
  std::string lineBreak_;
  bool engineCreated_ = false;
  int exitCode_ = 0;
};

}  // namespace app
