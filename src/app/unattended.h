// Unattended runs: the options that let an installation, an uninstallation
// or an extraction run without anyone at the screen, and the pieces that
// carry them out.
//   --silent (/S, /SILENT, /VERYSILENT)  no windows, no questions: every
//        question takes its default answer, the wizard walks itself through
//        Intro, License (accepted), Options (default choices), Status and
//        Finished, the uninstall is confirmed, an extraction goes to the
//        proposed folder (or FOLDER) and replaces only older files
//   --dir=FOLDER (/D=FOLDER, /DIR=FOLDER)  the installation folder, or the
//        folder an archive is extracted into; must be a full path
//   --no-shortcuts                      no desktop or Start menu shortcuts
//   --log=FILE (/LOG=FILE)              a plain-text log of what was done
//   --allow-downgrade (/ALLOWDOWNGRADE)  install over a newer version
//   --scope=machine|user (/ALLUSERS, /CURRENTUSER)  install for every user
//        or for the current user only, whatever the script's InstallScope
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>
#include <string_view>

#include "system/apps_entry.h"
#include "system/text_writer.h"
#include "ui/toolkit.h"

namespace app {

struct UnattendedOptions {
  bool silent = false;
  std::optional<std::string> folder;  // --dir
  bool noDesktopShortcut = false;    // --no-shortcuts, --no-shortcuts=desktop
  bool noStartMenuShortcut = false;  // --no-shortcuts, --no-shortcuts=startmenu
  bool allowDowngrade = false;        // --allow-downgrade (/ALLOWDOWNGRADE)
  std::optional<sys::InstallScope> scope;  // --scope, /ALLUSERS, /CURRENTUSER
  std::string logFile;                // --log; "" when none
  bool logAnnounced = false;          // bare /LOG: the chosen path is told at the start
  std::optional<std::string> archiveName;  // --name: the archive role's name, not asked for
};

// The switches that leave out the given kinds of shortcut: "--no-shortcuts"
// for both, else "--no-shortcuts=desktop" or "--no-shortcuts=startmenu".
std::vector<std::string> NoShortcutsWords(bool noDesktopShortcut, bool noStartMenuShortcut);

// Walks the installer's wizard as an unattended user would, one step each
// time the silent toolkit is idle: Install on Intro, I Accept on License,
// Next on Options, Close on Finished, Yes on Uninstall, OK after a build;
// on a page shown in place of a panel it presses Install or Next. It gives
// up (answers false, and the window is then closed) when nothing it knows
// is showing or a press changed nothing, e.g. Next refused the folder.
class WizardAutopilot {
 public:
  // One step on `mainWindow`; false when there is nothing (more) to press.
  bool Step(ui::Form& mainWindow);

  // True once the Finished panel (or the page in its place) was reached.
  bool finished() const { return finished_; }
  // The panel showing at the last step ("" before the first).
  const std::string& lastPanel() const { return lastPanel_; }

 private:
  std::string lastScreen_;
  std::string lastPanel_;
  bool finished_ = false;
};

// The --log file: each line is appended with the local date and time
// ("2026-12-08 21:40:01  text"); line breaks inside a text become spaces.
class ActivityFile {
 public:
  // Opens `path` for appending; false when it cannot be written.
  ActivityFile() = default;
  ActivityFile(const ActivityFile&) = delete;
  ActivityFile& operator=(const ActivityFile&) = delete;
  ~ActivityFile();

  bool Open(const std::string& path);
  bool is_open() const { return file_ != nullptr; }
  void Write(std::string_view text);

 private:
  std::FILE* file_ = nullptr;
};

// The local date and time as "YYYY-MM-DD HH:MM:SS".
std::string TimeStamp();

// A toolkit in front of another that reports every message box to the
// activity log ("Error: ", "Warning: " or no prefix, by its icon) and, when
// given an error stream, writes errors and warnings there too (the silent
// run's standard error). Everything else goes to the toolkit behind it.
class ReportingToolkit : public ui::Toolkit {
 public:
  ReportingToolkit(ui::Toolkit& inner, sys::TextWriter* errors) : inner_(inner), errors_(errors) {}

  // The text of the last message box, and whether it went to the error stream.
  const std::string& lastMessage() const { return lastMessage_; }
  bool lastMessageEchoed() const { return lastEchoed_; }

  void SetTitle(const std::string& title) override { inner_.SetTitle(title); }
  const std::string& title() const override { return inner_.title(); }
  void SetErrorHandler(ui::ErrorHandler handler) override { inner_.SetErrorHandler(std::move(handler)); }
  void ShowForm(ui::Form& form) override { inner_.ShowForm(form); }
  void HideForm(ui::Form& form) override { inner_.HideForm(form); }
  void CloseForm(ui::Form& form) override { inner_.CloseForm(form); }
  void Run(ui::Form& main) override { inner_.Run(main); }
  void WaitUntil(ui::Form& form, const std::function<bool()>& done) override { inner_.WaitUntil(form, done); }
  void ProcessMessages() override { inner_.ProcessMessages(); }
  void StartTimer(int interval_ms, std::function<void()> tick) override {
    inner_.StartTimer(interval_ms, std::move(tick));
  }
  ui::Answer MessageBox(const std::string& caption, const std::string& text, ui::Buttons buttons,
                        ui::Icon icon) override;
  std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& answer) override {
    return inner_.InputBox(caption, prompt, answer);
  }
  std::string ChooseDirectory(const std::string& initial_folder, const std::string& prompt) override {
    return inner_.ChooseDirectory(initial_folder, prompt);
  }
  void Navigate(ui::Control& view, const std::string& file) override { inner_.Navigate(view, file); }
  bool DocumentComplete(ui::Control& view) override { return inner_.DocumentComplete(view); }
  void HideBodyOverflow(ui::Control& view) override { inner_.HideBodyOverflow(view); }

 private:
  ui::Toolkit& inner_;
  sys::TextWriter* errors_;
  std::string lastMessage_;
  bool lastEchoed_ = false;
};

// The exit code of a silent install once the roles have given theirs:
// `status` when it tells of a failure; else 0 when the wizard reached
// Finished, and 3 (failed before installing) when it stopped short, e.g.
// on Options because the folder was refused.
int SilentInstallExitCode(const WizardAutopilot& pilot, int status);

}  // namespace app
