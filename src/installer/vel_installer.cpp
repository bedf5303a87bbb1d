// VelInstaller: construction, the installation script and its variables.
#include "installer/vel_installer.h"

#include "system/paths.h"
#include "system/platform.h"
#include "system/private_folder.h"

namespace installer {

namespace {

// Section names are compared exactly and are at most this long.
constexpr size_t kMaxSectionName = 90;

enum class Section { None, Variables, Shortcuts, Associations, Registry };

Section SectionNamed(const std::string& name) {
  if (name == "variables") return Section::Variables;
  if (name == "shortcuts") return Section::Shortcuts;
  if (name == "associations") return Section::Associations;
  if (name == "registry") return Section::Registry;
  return Section::None;
}

// Spaces and control characters at both ends go.
std::string TrimScriptLine(const std::string& line) {
  size_t begin = 0;
  size_t end = line.size();
  while (begin < end && static_cast<unsigned char>(line[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(line[end - 1]) <= ' ') --end;
  return line.substr(begin, end - begin);
}

}  // namespace

std::string ExpandLineBreaks(std::string_view text) {
  std::string expanded;
  for (char c : text) {
    if (c == '|') {
      expanded += sys::kLineBreak;
    } else {
      expanded += c;
    }
  }
  return expanded;
}

VelInstaller::VelInstaller(ui::Form& mainWindow, ui::Toolkit& toolkit, DirectoryChooser chooser)
    : mainWindow_(mainWindow), toolkit_(toolkit), chooser_(std::move(chooser)) {
  if (!chooser_) {
    chooser_ = [this](const std::string& initial, const std::string& prompt) {
      return sys::IncludeTrailingSeparator(toolkit_.ChooseDirectory(initial, prompt));
    };
  }
  sys::AddFolderVariables(script_.variables, "_dir");
  // A fixed name in a temporary folder that other users share (/tmp, or
  // the Windows folder an installer running as SYSTEM uses) could be taken
  // beforehand by someone else, as a folder of theirs or as a link: every
  // run makes a new one of its own.
  pageFolder_ = sys::CreateUniqueFolder(sys::platform::PrivateTempRoot(), kPageFolderPrefix);
  SetSettingValue("temp_dir", pageFolder_);
  sys::SplitDelimited(kPanelNames, "|", panelNames_);
  BindPanelControls(kBoundPanels);
  if (ui::Control* bar = mainWindow_.Find("CtrlStatusProgress")) bar->SetPosition(0);
}

VelInstaller::~VelInstaller() {
  // The window outlives the engine: leave no handler pointing at it.
  for (const auto& [name, control] : boundControls_) {
    control->SetOnClick({});
    control->SetOnChange({});
  }
  sys::RemoveOwnFolder(pageFolder_);
}

std::string PageFolderMessage(const std::string& root) {
  return "The installer could not make its folder for the wizard's pages in " + root + ".";
}

std::string VelInstaller::GetSettingValue(std::string_view name) const {
  return sys::GetSettingValue(name, script_.variables);
}

bool VelInstaller::HasSetting(std::string_view name) const { return sys::HasSetting(name, script_.variables); }

bool VelInstaller::GetSettingBool(std::string_view name) const { return sys::GetSettingBool(name, script_.variables); }

void VelInstaller::SetSettingValue(std::string_view name, std::string_view value) {
  sys::SetSettingValue(name, value, script_.variables, true);
}

void VelInstaller::ParseScript(const sys::StringList& lines) {
  script_.shortcutLines.clear();
  script_.registryLines.clear();
  // Association lines are emptied too, so that reading a script twice does
  // not register its associations twice.
  script_.associationLines.clear();
  Section section = Section::None;
  for (size_t i = 0; i < lines.size(); ++i) {
    // Editors that save UTF-8 may put a byte-order mark before the first line.
    const std::string& raw = lines[i];
    const bool marked = i == 0 && raw.starts_with(kUtf8ByteOrderMark);
    const std::string line = TrimScriptLine(marked ? raw.substr(std::string_view(kUtf8ByteOrderMark).size()) : raw);
    if (line.size() < 2 || line.starts_with("# ")) continue;
    if (line.front() == '#') {
      section = SectionNamed(line.substr(1, kMaxSectionName));
      continue;
    }
    switch (section) {
      case Section::Variables: sys::AssignSettingLine(line, script_.variables); break;
      case Section::Shortcuts: script_.shortcutLines.push_back(line); break;
      case Section::Associations: script_.associationLines.push_back(line); break;
      case Section::Registry: script_.registryLines.push_back(line); break;
      case Section::None: break;
    }
  }
  // An empty name cannot name the uninstaller's file: the default stays.
  if (const std::string name = GetSettingValue("UninstallerName"); !name.empty()) script_.uninstallerName = name;
}

std::string VelInstaller::UnsafeScriptNames() const {
  for (const char* setting : {"ProgramName", "DisplayName", "UninstallerName"}) {
    const std::string value = GetSettingValue(setting);
    if (value.find("..") != std::string::npos || value.find_first_of("\\/:") != std::string::npos) {
      return "The installation script's " + std::string(setting) + " \"" + value +
             "\" may not contain \"..\", \"\\\", \"/\" or \":\".";
    }
  }
  return {};
}

ui::Control* VelInstaller::BoundControl(std::string_view name) const {
  auto found = boundControls_.find(name);
  return found == boundControls_.end() ? nullptr : found->second;
}

void VelInstaller::SetInstallFolder(const std::string& folder) {
  run_.installFolder = folder.empty() ? std::string() : sys::IncludeTrailingSeparator(sys::ToNativeSeparators(folder));
  SetSettingValue("install_dir", run_.installFolder);
}

void VelInstaller::CloseWindow() { toolkit_.CloseForm(mainWindow_); }

void VelInstaller::NoteFailure(sys::FailureKind kind, const std::string& path, const std::string& message) {
  if (!run_.failure.failed()) run_.failure = sys::MakeFailure(kind, path, message);
}

}  // namespace installer
