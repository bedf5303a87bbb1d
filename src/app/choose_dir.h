// TDChooseDir: the modal folder chooser used by the wizard's browse button
// and by the extract mode. The window is created once at start-up and
// reused for every call; the folder selection itself is the toolkit's
// (Toolkit::ChooseDirectory), the form model holds what it shows: the
// prompt (LCaption), the selected folder (CtrlDir, mirrored in ShellCombo1)
// and the new-folder button (BNewDir).
#pragma once

#include <string>

#include "ui/form.h"
#include "ui/toolkit.h"

namespace app {

inline constexpr const char* kChooseDirDefaultPrompt = "Choose a directory below";

class TDChooseDir {
 public:
  explicit TDChooseDir(ui::Toolkit& toolkit);

  ui::Form& form() { return form_; }

  // Lets the user pick a folder, starting at `initialFolder` when it is an
  // existing folder and at "c:\" (or the file system's root where there is
  // no such drive) otherwise, with `prompt` above the selection ("Choose a
  // directory below" when empty). Returns the chosen folder with exactly one
  // closing separator, or "" when the user cancelled.
  std::string ChooseDirectory(const std::string& initialFolder, const std::string& prompt);

  // The selected folder (CtrlDir).
  const std::string& SelectedFolder() const { return form_.Get("CtrlDir").text(); }
  // Selects `folder` when it exists; otherwise the selection stays.
  void SelectFolder(const std::string& folder);

  // The handler of BNewDir: asks for a name ("New Folder", "Folder Name:"),
  // creates it below the selected folder (a failure is ignored) and selects
  // it. An empty or cancelled name does nothing.
  void BNewDirClick();

 private:
  ui::Toolkit& toolkit_;
  ui::Form form_;
};

}  // namespace app
