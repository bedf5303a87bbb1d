// Shortcuts on POSIX desktops: the ".lnk" file is a launcher holding a
// desktop entry, mode 0755 (desktops trust executable launchers):
//
//   [Desktop Entry]
//   Type=Application
//   Name=<the link's file name without ".lnk">
//   Exec="<target>" <arguments>
//   Path=<working folder>
//   Icon=<icon file>          (only when an icon file is given)
//
// Values follow the desktop-entry escapes (\\ \n \r \t \s); the target in
// Exec is quoted with the Exec rules (\" \` \$ \\ inside the quotes) and a
// literal "%" is written "%%". "\" in paths is read as "/".
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "system/shortcuts.h"

namespace sys::platform {
namespace {

constexpr mode_t kLauncherMode = 0755;
constexpr const char* kGroupHeader = "[Desktop Entry]";

std::string ToSlashes(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

// The general escapes of desktop-entry string values.
std::string EscapeValue(const std::string& value) {
  std::string result;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    switch (c) {
      case '\\': result += "\\\\"; break;
      case '\n': result += "\\n"; break;
      case '\r': result += "\\r"; break;
      case '\t': result += "\\t"; break;
      case ' ': result += i == 0 ? "\\s" : " "; break;  // a leading blank would be trimmed
      default: result += c; break;
    }
  }
  return result;
}

std::string UnescapeValue(const std::string& value) {
  std::string result;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      result += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's': result += ' '; break;
      case 'n': result += '\n'; break;
      case 'r': result += '\r'; break;
      case 't': result += '\t'; break;
      default: result += value[i]; break;
    }
  }
  return result;
}

// "%" starts a field code in Exec; a literal one is doubled.
std::string DoublePercent(const std::string& text) {
  std::string result;
  for (char c : text) {
    result += c;
    if (c == '%') result += '%';
  }
  return result;
}

std::string QuoteExecArgument(const std::string& argument) {
  std::string result = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') result += '\\';
    result += c;
  }
  return DoublePercent(result + "\"");
}

// Splits an unescaped Exec value into its quoted first argument and the rest.
void SplitExec(const std::string& exec, ShortcutInfo& link) {
  size_t i = 0;
  std::string target;
  if (!exec.empty() && exec[0] == '"') {
    for (i = 1; i < exec.size() && exec[i] != '"'; ++i) {
      if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
      target += exec[i];
    }
    ++i;  // the closing quote
  } else {
    i = exec.find(' ');
    if (i == std::string::npos) i = exec.size();
    target = exec.substr(0, i);
  }
  if (i < exec.size() && exec[i] == ' ') ++i;
  std::string rest = i < exec.size() ? exec.substr(i) : std::string();
  auto undouble = [](const std::string& text) {
    std::string result;
    for (size_t k = 0; k < text.size(); ++k) {
      result += text[k];
      if (text[k] == '%' && k + 1 < text.size() && text[k + 1] == '%') ++k;
    }
    return result;
  };
  link.target = undouble(target);
  link.arguments = undouble(rest);
}

std::string LinkName(const std::string& linkPath) {
  std::string name = linkPath.substr(linkPath.find_last_of('/') + 1);
  if (name.size() > 4 && name.ends_with(".lnk")) name.resize(name.size() - 4);
  return name;
}

std::string DesktopEntry(const ShortcutInfo& link, const std::string& name) {
  std::string exec = QuoteExecArgument(ToSlashes(link.target));
  if (!link.arguments.empty()) exec += " " + DoublePercent(link.arguments);
  std::string text = std::string(kGroupHeader) + "\n";
  text += "Type=Application\n";
  text += "Name=" + EscapeValue(name) + "\n";
  text += "Exec=" + EscapeValue(exec) + "\n";
  text += "Path=" + EscapeValue(ToSlashes(link.workingFolder)) + "\n";
  if (!link.iconFile.empty()) text += "Icon=" + EscapeValue(ToSlashes(link.iconFile)) + "\n";
  return text;
}

bool WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void WriteShellLink(const ShortcutInfo& link, const std::string& linkPath) {
  const std::string path = ToSlashes(linkPath);
  // Written beside the link and renamed over it, so that an existing link,
  // even a symbolic one, is replaced rather than written through.
  std::string temporary = path + ".XXXXXX";
  std::vector<char> pattern(temporary.begin(), temporary.end());
  pattern.push_back('\0');
  int fd = mkstemp(pattern.data());
  if (fd < 0) return;
  temporary = pattern.data();
  bool ok = fchmod(fd, kLauncherMode) == 0 && WriteAll(fd, DesktopEntry(link, LinkName(path)));
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temporary.c_str(), path.c_str()) != 0) unlink(temporary.c_str());
}

std::optional<ShortcutInfo> ReadShellLink(const std::string& linkPath) {
  std::ifstream file(ToSlashes(linkPath), std::ios::binary);
  if (!file) return std::nullopt;
  std::string line;
  bool inGroup = false, found = false;
  ShortcutInfo link;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("[")) {
      inGroup = line == kGroupHeader;
      found = found || inGroup;
      continue;
    }
    const size_t equals = line.find('=');
    if (!inGroup || equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = UnescapeValue(line.substr(equals + 1));
    if (key == "Exec") SplitExec(value, link);
    else if (key == "Path") link.workingFolder = value;
    else if (key == "Icon") link.iconFile = value;
  }
  if (!found) return std::nullopt;
  return link;
}

}  // namespace sys::platform
