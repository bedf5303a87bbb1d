// The toolkit's small modal dialogs: the one-line input box, built in code,
// and the shell's folder browser.
#pragma once

#include <optional>
#include <string>

#include "ui/win32/win32_api.h"

namespace ui {

class Win32Toolkit;

// The input box: `caption` in the title bar (the window class is
// "BrevionInputBox"), `prompt` above an edit box holding `answer` (selected),
// and the buttons "OK" and "Cancel". Its owner is disabled while it shows.
// Returns the text when OK (or Enter) ends it, nullopt for Cancel, Escape or
// the close box.
std::optional<std::string> RunInputBox(Win32Toolkit& toolkit, HWND owner, const std::string& caption,
                                       const std::string& prompt, const std::string& answer);

// The shell's folder browser with `prompt` above its tree, a field for
// typing a path and a button for making a new folder. The selection starts
// at `initialFolder` when it is an existing folder, else at "c:\". Returns
// the chosen folder, or "" when cancelled.
std::string BrowseForFolder(HWND owner, const std::string& initialFolder, const std::string& prompt);

}  // namespace ui
