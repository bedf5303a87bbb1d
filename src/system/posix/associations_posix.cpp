// File associations on POSIX desktops, in the freedesktop MIME database of
// the all-users data folder (the parent of the `programs` folder, by
// default /usr/share/). For the class key ".bvnote" and the program
// /opt/Notes/notes:
//
//   mime/packages/brevion-bvnote.xml   the type application/x-notes-bvnote,
//                                      with the glob "*.bvnote"
//   applications/brevion-bvnote.desktop  the handler: Exec=/opt/Notes/notes %f,
//                                      NoDisplay, MimeType=that type
//   <config>/mimeapps.list             the handler as the type's default
//                                      (config: /etc/xdg/, beside autostart/)
//   icons/hicolor/<size>/mimetypes/application-x-notes-bvnote.png  the icon,
//                                      when it is a PNG, an SVG, or an ICO
//                                      (its largest image)
//
// The files are named after the class key, as the registry's keys are, so
// a later association of the same key replaces the earlier one. Then
// update-mime-database, update-desktop-database and (where a theme cache
// exists) gtk-update-icon-cache run when they are installed.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "system/apps_entry.h"
#include "system/associations.h"
#include "system/platform.h"
#include "system/posix/desktop_entry_posix.h"
#include "system/posix/theme_icon_posix.h"

namespace sys::platform {
namespace {

constexpr const char* kFilePrefix = "brevion-";
constexpr const char* kDefaultsGroup = "[Default Applications]";
constexpr mode_t kDataMode = 0644;

using desktop::ToSlashes;

std::string Parent(std::string folder) {
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  const size_t slash = folder.find_last_of('/');
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}


// The all-users data folder (holding applications/, mime/, icons/) and
// configuration folder (holding autostart/ and mimeapps.list).
// A per-user installation uses the user's own (~/.local/share/, ~/.config/).
std::string DataFolder() {
  const bool user = CurrentInstallScope() == InstallScope::User;
  return Parent(KnownFolderPath(user ? KnownFolder::Programs : KnownFolder::CommonPrograms));
}
std::string ConfigFolder() {
  const bool user = CurrentInstallScope() == InstallScope::User;
  return Parent(KnownFolderPath(user ? KnownFolder::Startup : KnownFolder::CommonStartup));
}

// Lower-case letters and digits; any other run of characters becomes "-".
std::string NamePart(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (plain) result += c;
    else if (!result.empty() && result.back() != '-') result += '-';
  }
  while (!result.empty() && result.back() == '-') result.pop_back();
  return result;
}

// The names one association uses.
struct ClassNames {
  std::string key;       // "bvnote"
  std::string mimeType;  // "application/x-notes-bvnote"
  std::string iconName;  // "application-x-notes-bvnote"
  std::string handler;   // "brevion-bvnote.desktop"
};

std::string KeyPart(const std::string& classKey) { return NamePart(classKey); }

ClassNames NamesFor(const std::string& program, const std::string& classKey) {
  ClassNames names;
  names.key = KeyPart(classKey);
  std::string stem = ToSlashes(program);
  stem = stem.substr(stem.find_last_of('/') + 1);
  if (const size_t dot = stem.find_last_of('.'); dot != std::string::npos && dot > 0) stem.resize(dot);
  std::string programPart = NamePart(stem);
  if (programPart.empty()) programPart = "program";
  names.mimeType = "application/x-" + programPart + "-" + names.key;
  names.iconName = "application-x-" + programPart + "-" + names.key;
  names.handler = kFilePrefix + names.key + ".desktop";
  return names;
}

std::string MimePackagePath(const std::string& key) { return DataFolder() + "mime/packages/" + kFilePrefix + key + ".xml"; }
std::string HandlerPath(const std::string& handler) { return DataFolder() + "applications/" + handler; }
std::string MimeAppsPath() { return ConfigFolder() + "mimeapps.list"; }

std::string XmlText(const std::string& text) {
  std::string result;
  for (char c : text) {
    switch (c) {
      case '&': result += "&amp;"; break;
      case '<': result += "&lt;"; break;
      case '>': result += "&gt;"; break;
      case '"': result += "&quot;"; break;
      default: result += c; break;
    }
  }
  return result;
}

std::string MimePackage(const ClassNames& names, const std::string& classKey) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  text += "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  text += "  <mime-type type=\"" + names.mimeType + "\">\n";
  text += "    <comment>" + XmlText(names.key) + " document</comment>\n";
  text += "    <icon name=\"" + names.iconName + "\"/>\n";
  // A class name (no leading dot) has no file names of its own.
  if (classKey.starts_with(".")) text += "    <glob pattern=\"*" + XmlText(classKey) + "\"/>\n";
  text += "  </mime-type>\n</mime-info>\n";
  return text;
}

std::string HandlerEntry(const ClassNames& names, const std::string& program, const std::string& icon) {
  using namespace desktop;
  const std::string path = ToSlashes(program);
  std::string name = path.substr(path.find_last_of('/') + 1);
  std::string text = "[Desktop Entry]\nType=Application\n";
  text += "Name=" + EscapeValue(name) + "\n";
  text += "Exec=" + EscapeValue(ExecArgument(path) + " %f") + "\n";
  text += "Path=" + EscapeValue(path.substr(0, path.find_last_of('/') + 1)) + "\n";
  text += "Icon=" + EscapeValue(ToSlashes(icon)) + "\n";
  text += "Terminal=false\nNoDisplay=true\n";
  text += "MimeType=" + names.mimeType + ";\n";
  return text;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream file(path, std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The defaults group's range [first line after the header, end).
std::pair<size_t, size_t> DefaultsRange(const std::vector<std::string>& lines) {
  size_t header = 0;
  while (header < lines.size() && lines[header] != kDefaultsGroup) ++header;
  if (header == lines.size()) return {lines.size(), lines.size()};
  size_t end = header + 1;
  while (end < lines.size() && !lines[end].starts_with("[")) ++end;
  return {header + 1, end};
}

// mimeapps.list with `handler` as the default of `mimeType`; other lines
// and groups stay as they are.
bool SetDefaultHandler(const std::string& mimeType, const std::string& handler) {
  std::vector<std::string> lines = ReadLines(MimeAppsPath());
  const std::string line = mimeType + "=" + handler + ";";
  auto [first, end] = DefaultsRange(lines);
  if (first == lines.size() && (lines.empty() || lines.back() != kDefaultsGroup)) {
    if (!lines.empty() && !lines.back().empty()) lines.push_back("");
    lines.push_back(kDefaultsGroup);
    lines.push_back(line);
  } else {
    size_t i = first;
    while (i < end && !lines[i].starts_with(mimeType + "=")) ++i;
    if (i < end) lines[i] = line;
    else lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(first), line);
  }
  return desktop::MakeFolders(ConfigFolder()) && desktop::ReplaceFile(MimeAppsPath(), JoinLines(lines), kDataMode);
}

// Takes `handler` out of the defaults of `mimeType`; a file left holding
// nothing but an empty defaults group goes.
void RemoveDefaultHandler(const std::string& mimeType, const std::string& handler) {
  std::vector<std::string> lines = ReadLines(MimeAppsPath());
  auto [first, end] = DefaultsRange(lines);
  bool changed = false;
  for (size_t i = first; i < end; ++i) {
    if (!lines[i].starts_with(mimeType + "=")) continue;
    std::string kept;
    const std::string list = lines[i].substr(mimeType.size() + 1);
    size_t start = 0;
    while (start < list.size()) {
      size_t semi = list.find(';', start);
      if (semi == std::string::npos) semi = list.size();
      const std::string id = list.substr(start, semi - start);
      if (!id.empty() && id != handler) kept += id + ";";
      start = semi + 1;
    }
    if (kept.empty()) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      lines[i] = mimeType + "=" + kept;
    }
    changed = true;
    break;
  }
  if (!changed) return;
  bool onlyEmptyGroup = true;
  for (const std::string& line : lines)
    if (!line.empty() && line != kDefaultsGroup) onlyEmptyGroup = false;
  if (onlyEmptyGroup) unlink(MimeAppsPath().c_str());
  else desktop::ReplaceFile(MimeAppsPath(), JoinLines(lines), kDataMode);
}

// ---- Icons ------------------------------------------------------------------

// The icon theme's file for `iconFile` below icons/hicolor/ ("" when the
// file is no format the theme takes) and its content.
std::pair<std::string, std::string> ThemeIcon(const std::string& iconFile, const std::string& iconName) {
  const std::string path = ToSlashes(iconFile);
  const auto content = ReadWholeFile(path);
  if (!content) return {};
  if (const auto image = desktop::ThemeImageOf(*content)) {
    const std::string side = std::to_string(image->size);
    return {side + "x" + side + "/mimetypes/" + iconName + ".png", image->png};
  }
  if (path.size() > 4 && path.ends_with(".svg")) return {"scalable/mimetypes/" + iconName + ".svg", *content};
  return {};
}

std::string ThemeFolder() { return DataFolder() + "icons/hicolor/"; }

void InstallIcon(const std::string& iconFile, const std::string& iconName) {
  auto [relative, content] = ThemeIcon(iconFile, iconName);
  if (relative.empty()) return;  // the handler's Icon key still names the file
  const std::string path = ThemeFolder() + relative;
  if (desktop::MakeFolders(path.substr(0, path.find_last_of('/')))) desktop::ReplaceFile(path, content, kDataMode);
}

// Every size's copy of the icon.
void RemoveIcons(const std::string& iconName) {
  FolderSearch sizes(ThemeFolder(), "*");
  FoundEntry entry;
  while (sizes.Next(entry)) {
    if (entry.name == "." || entry.name == ".." || !(entry.attributes & kAttrDirectory)) continue;
    for (const char* extension : {".png", ".svg"}) {
      const std::string icon = ThemeFolder() + entry.name + "/mimetypes/" + iconName + extension;
      unlink(icon.c_str());
    }
  }
}

// The databases built from the files above, brought up to date by the
// desktop's own tools where they are installed.
void UpdateDatabases() {
  const std::string data = DataFolder();
  if (desktop::OnPath("update-mime-database") && access((data + "mime/packages").c_str(), F_OK) == 0)
    desktop::RunAndWait({"update-mime-database", data + "mime"});
  if (desktop::OnPath("update-desktop-database") && access((data + "applications").c_str(), F_OK) == 0)
    desktop::RunAndWait({"update-desktop-database", "-q", data + "applications"});
  if (desktop::OnPath("gtk-update-icon-cache") && access((ThemeFolder() + "icon-theme.cache").c_str(), F_OK) == 0)
    desktop::RunAndWait({"gtk-update-icon-cache", "-q", "-t", "-f", ThemeFolder()});
}

void Fail() { throw std::runtime_error(kAssociationWriteError); }

}  // namespace

void RegisterFileClass(const std::string& program, const std::string& classKey, const std::string& iconFile) {
  const std::string data = DataFolder();
  const ClassNames names = NamesFor(program, classKey);
  // A line break would split a value and forge a line of the files below.
  const std::string all = program + classKey + iconFile;
  if (data.empty() || names.key.empty() || all.find_first_of("\r\n") != std::string::npos) Fail();
  if (!desktop::MakeFolders(data + "mime/packages") || !desktop::MakeFolders(data + "applications")) Fail();
  // A class that changes hands loses the earlier program's type and icon.
  if (const auto earlier = ReadFileClass(classKey)) {
    const std::string earlierProgram = earlier->openCommand.substr(0, earlier->openCommand.size() - 3);
    if (NamesFor(earlierProgram, classKey).mimeType != names.mimeType) UnregisterFileClass(earlierProgram, classKey);
  }
  if (!desktop::ReplaceFile(MimePackagePath(names.key), MimePackage(names, classKey), kDataMode) ||
      !desktop::ReplaceFile(HandlerPath(names.handler), HandlerEntry(names, program, iconFile), kDataMode) ||
      !SetDefaultHandler(names.mimeType, names.handler))
    Fail();
  InstallIcon(iconFile, names.iconName);
  UpdateDatabases();
}

std::optional<FileAssociation> ReadFileClass(const std::string& classKey) {
  const std::string key = KeyPart(classKey);
  if (DataFolder().empty() || key.empty()) return std::nullopt;
  const auto entry = desktop::ReadEntry(HandlerPath(kFilePrefix + key + ".desktop"));
  if (!entry) return std::nullopt;
  FileAssociation association;
  if (auto exec = entry->find("Exec"); exec != entry->end()) {
    const std::vector<std::string> arguments = desktop::ParseExec(exec->second);
    if (!arguments.empty()) association.openCommand = arguments.front() + " %1";
  }
  if (auto icon = entry->find("Icon"); icon != entry->end()) association.defaultIcon = icon->second + ",0";
  return association;
}

void UnregisterFileClass(const std::string& program, const std::string& classKey) {
  const auto current = ReadFileClass(classKey);
  // Another program took the class over since: its association stays.
  if (!current || current->openCommand != ToSlashes(program) + " %1") return;
  const ClassNames names = NamesFor(program, classKey);
  unlink(HandlerPath(names.handler).c_str());
  unlink(MimePackagePath(names.key).c_str());
  RemoveDefaultHandler(names.mimeType, names.handler);
  RemoveIcons(names.iconName);
  UpdateDatabases();
}

void RestoreFileClass(const std::string& program, const std::string& classKey,
                      const std::optional<FileAssociation>& /*before*/) {
  UnregisterFileClass(program, classKey);
}

}  // namespace sys::platform
