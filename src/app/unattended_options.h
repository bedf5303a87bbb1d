// Unattended runs: the options that let an installation, an uninstallation
// or an extraction run without anyone at the screen. The wizard's
// autopilot (wizard_autopilot.h), the reporting toolkit (reporting_toolkit.h)
// and the activity log's file (system/activity_log.h) carry them out.
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

#include <optional>
#include <string>
#include <vector>

#include "system/apps_entry.h"

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

}  // namespace app
