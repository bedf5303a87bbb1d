// The silent run's user: it walks the installer's wizard, pressing the
// buttons an unattended user would, and says how far it got.
#pragma once

#include <string>

#include "ui/form.h"

namespace app {

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

// The exit code of a silent install once the roles have given theirs:
// `status` when it tells of a failure; else 0 when the wizard reached
// Finished, and 3 (failed before installing) when it stopped short, e.g.
// on Options because the folder was refused.
int SilentInstallExitCode(const WizardAutopilot& pilot, int status);

}  // namespace app
