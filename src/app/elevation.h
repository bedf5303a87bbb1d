// Elevation only when needed: the program starts with the rights of whoever
// ran it, and an installation for every user that lacks administrator
// rights runs itself again elevated, unattended, with the choices already
// made, waiting for that run and passing on its exit code.
#pragma once

#include <string>
#include <vector>

#include "app/unattended_options.h"

namespace app {

// The command line of the elevated run: the role's positional words, then
// --silent, --scope=machine, --dir=FOLDER, the switches that were given
// (the shortcuts left out, --allow-downgrade, --log=FILE).
std::vector<std::string> ElevatedArguments(const std::vector<std::string>& positional,
                                           const UnattendedOptions& unattended, const std::string& folder,
                                           bool noDesktopShortcut, bool noStartMenuShortcut);

// `arguments` as one Windows command line that the system's splitter
// (CommandLineToArgvW, the C runtime) reads back into the same words: an
// argument that is empty or holds a blank, tab, line break or double quote
// is quoted; inside quotes a double quote is written \" and the
// backslashes before a double quote or the closing quote are doubled.
std::string WindowsCommandLine(const std::vector<std::string>& arguments);

}  // namespace app
