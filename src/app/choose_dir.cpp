#include "app/choose_dir.h"

#include "system/platform.h"

namespace app {

namespace {

namespace platform = sys::platform;
using ui::Align;
using ui::Border;
using ui::ControlDef;
using ui::ControlKind;
using ui::Def;
using ui::Font;
using ui::Style;

// The folder tree (CtrlDir) and the path drop-down (ShellCombo1) are edit
// boxes in the model: their text is the selected folder. The non-visual link
// between them is SelectFolder, which sets both.
const ControlDef kChooseDirWindow[] = {
    Def(ControlKind::Window, "DChooseDir", "", {0, 0, 403, 404}, "Browse Directories"),
    Def(ControlKind::Label, "LCaption", "", {8, 8, 385, 49}, kChooseDirDefaultPrompt,
        Style{Font::Normal, Align::Left, true, Border::None}),
    Def(ControlKind::Edit, "ShellCombo1", "", {8, 60, 354, 21}, ""),
    Def(ControlKind::Button, "BNewDir", "", {370, 59, 23, 22}, "+"),
    Def(ControlKind::Edit, "CtrlDir", "", {8, 92, 387, 246}, ""),
    Def(ControlKind::Panel, "Panel1", "", {0, 351, 403, 53}, ""),
    Def(ControlKind::Button, "BOK", "Panel1", {112, 14, 80, 26}, "OK"),
    Def(ControlKind::Button, "BCancel", "Panel1", {210, 14, 80, 26}, "Cancel"),
};

// The separator the folder is already written with: a Windows path keeps
// its backslashes, a POSIX path its slashes.
char SeparatorOf(const std::string& folder) { return folder.find('\\') != std::string::npos ? '\\' : '/'; }

std::string WithTrailingSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += SeparatorOf(folder);
  return folder;
}

bool IsFolder(const std::string& path) {
  if (path.empty()) return false;
  const auto attributes = platform::GetAttributes(path);
  return attributes && (*attributes & platform::kAttrDirectory);
}

// "c:\" where there is such a drive; the root of the file system otherwise
// (on Windows, "\" is the root of the current drive).
std::string DefaultFolder() {
  if (IsFolder("c:\\")) return "c:\\";
  return std::string(1, platform::kPathSeparator);
}

}  // namespace

TDChooseDir::TDChooseDir(ui::Toolkit& toolkit) : toolkit_(toolkit), form_(kChooseDirWindow) {
  form_.Get("BNewDir").SetOnClick([this](ui::Control&) { BNewDirClick(); });
}

void TDChooseDir::SelectFolder(const std::string& folder) {
  if (!IsFolder(folder)) return;
  form_.Get("CtrlDir").SetText(folder);
  form_.Get("ShellCombo1").SetText(folder);
}

std::string TDChooseDir::ChooseDirectory(const std::string& initialFolder, const std::string& prompt) {
  SelectFolder(IsFolder(initialFolder) ? initialFolder : DefaultFolder());
  ui::Control& caption = form_.Get("LCaption");
  caption.SetText(prompt.empty() ? kChooseDirDefaultPrompt : prompt);
  const std::string chosen = toolkit_.ChooseDirectory(SelectedFolder(), caption.text());
  if (chosen.empty()) return "";
  SelectFolder(chosen);
  return WithTrailingSeparator(chosen);
}

void TDChooseDir::BNewDirClick() {
  const std::optional<std::string> name = toolkit_.InputBox("New Folder", "Folder Name:", "");
  if (!name || name->empty()) return;
  const std::string path = WithTrailingSeparator(SelectedFolder()) + *name;
  platform::CreateFolder(path);  // a failure leaves the selection where it was
  SelectFolder(path);
}

}  // namespace app
