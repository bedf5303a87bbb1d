// Shortcuts on POSIX desktops: a launcher "<name>.desktop" holding a
// freedesktop desktop entry, mode 0755 (desktops trust only executable
// launchers on the desktop folder):
//
//   [Desktop Entry]
//   Type=Application
//   Name=<the launcher's file name without ".desktop">
//   Exec=<target> <arguments>    (xdg-open <target> for a document)
//   Path=<working folder>
//   Icon=<icon file>          (only when an icon file is given)
//   Terminal=false            (true for the uninstaller, which asks on one)
//   Categories=Utility;
//
// The arguments are split as a Windows program reads its command line and
// each one, like the target, is written by the Exec quoting rules. Values
// carry the desktop-entry escapes. "\" in paths is read as "/".
// docs/linux-integration.md describes where launchers go and why.
#include <sys/stat.h>

#include "system/posix/desktop_entry_posix.h"
#include "system/shortcuts.h"

namespace sys::platform {

const char* const kShortcutExtension = ".desktop";

namespace {

constexpr mode_t kLauncherMode = 0755;
constexpr const char* kUninstallMode = "uninstall";
// Menus without a folder of their own for the program list it here.
constexpr const char* kCategories = "Utility;";

std::string LauncherName(const std::string& linkPath) {
  std::string name = linkPath.substr(linkPath.find_last_of('/') + 1);
  const std::string extension = kShortcutExtension;
  if (name.size() > extension.size() && name.ends_with(extension)) name.resize(name.size() - extension.size());
  return name;
}

std::string DesktopEntry(const ShortcutInfo& link, const std::string& name) {
  using namespace desktop;
  // A launcher runs a program; a document (a readme, say) is handed to the
  // desktop's handler for its type, as a Windows link to it would open it.
  // A target given arguments is taken for a program whatever it holds.
  const std::string target = ToSlashes(link.target);
  const bool document = link.arguments.empty() && IsDocument(target);
  std::string exec = document ? std::string(kOpenCommand) + " " + ExecArgument(target) : ExecArgument(target);
  const std::vector<std::string> arguments = SplitCommandLine(link.arguments);
  for (const std::string& argument : arguments) exec += " " + ExecArgument(argument);
  // The uninstaller (this program started in uninstall mode) asks its
  // question on a terminal here: started from a menu without one, it could
  // not be answered and nothing would happen.
  const bool terminal = !arguments.empty() && arguments.front() == kUninstallMode;
  std::string text = "[Desktop Entry]\n";
  text += "Type=Application\n";
  text += "Name=" + EscapeValue(name) + "\n";
  text += "Exec=" + EscapeValue(exec) + "\n";
  text += "Path=" + EscapeValue(ToSlashes(link.workingFolder)) + "\n";
  if (!link.iconFile.empty()) text += "Icon=" + EscapeValue(ToSlashes(link.iconFile)) + "\n";
  text += terminal ? "Terminal=true\n" : "Terminal=false\n";
  text += std::string("Categories=") + kCategories + "\n";
  return text;
}

}  // namespace

void WriteShellLink(const ShortcutInfo& link, const std::string& linkPath) {
  const std::string path = desktop::ToSlashes(linkPath);
  desktop::ReplaceFile(path, DesktopEntry(link, LauncherName(path)), kLauncherMode);
}

std::optional<ShortcutInfo> ReadShellLink(const std::string& linkPath) {
  const auto keys = desktop::ReadEntry(desktop::ToSlashes(linkPath));
  if (!keys) return std::nullopt;
  ShortcutInfo link;
  auto value = [&keys](const char* key) {
    auto found = keys->find(key);
    return found == keys->end() ? std::string() : found->second;
  };
  std::vector<std::string> arguments = desktop::ParseExec(value("Exec"));
  if (arguments.size() == 2 && arguments.front() == desktop::kOpenCommand) arguments.erase(arguments.begin());
  if (!arguments.empty()) {
    link.target = arguments.front();
    arguments.erase(arguments.begin());
  }
  link.arguments = desktop::JoinCommandLine(arguments);
  link.workingFolder = value("Path");
  link.iconFile = value("Icon");
  return link;
}

}  // namespace sys::platform
