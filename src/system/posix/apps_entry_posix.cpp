// The installed-programs entry on POSIX systems: "Name=value" lines (values
// with the desktop-entry escapes) in <data folder>brevion-apps/<key>.entry,
// the data folder being the parent of the scope's applications folder
// (/usr/share/ or ~/.local/share/), as the desktop's own stores are.
#include <fstream>

#include "system/apps_entry.h"
#include "system/platform.h"
#include "system/posix/desktop_entry_posix.h"

namespace sys::platform {
namespace {

constexpr const char* kNumberNames[] = {"EstimatedSize", "NoModify", "NoRepair"};

std::string EntryPath(InstallScope scope, const std::string& key) {
  std::string folder = KnownFolderPath(scope == InstallScope::User ? KnownFolder::Programs : KnownFolder::CommonPrograms);
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  const size_t slash = folder.find_last_of('/');
  if (slash == std::string::npos || key.empty()) return {};
  std::string name = key;
  for (char& c : name) {
    if (c == '/' || c == '\\') c = '-';
  }
  return folder.substr(0, slash + 1) + "brevion-apps/" + name + ".entry";
}

bool IsNumberName(const std::string& name) {
  for (const char* number : kNumberNames) {
    if (name == number) return true;
  }
  return false;
}

}  // namespace

bool WriteAppsEntry(InstallScope scope, const std::string& key, const AppsEntry& entry) {
  const std::string path = EntryPath(scope, key);
  if (path.empty() || !desktop::MakeFolders(path.substr(0, path.find_last_of('/') + 1))) return false;
  std::string text;
  for (const AppsEntryValue& value : entry) text += value.name + "=" + desktop::EscapeValue(value.value) + "\n";
  return desktop::ReplaceFile(path, text, 0644);
}

std::optional<AppsEntry> ReadAppsEntry(InstallScope scope, const std::string& key) {
  const std::string path = EntryPath(scope, key);
  std::ifstream file(path);
  if (path.empty() || !file) return std::nullopt;
  AppsEntry entry;
  std::string line;
  while (std::getline(file, line)) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = line.substr(0, equals);
    entry.push_back({name, desktop::UnescapeValue(line.substr(equals + 1)), IsNumberName(name)});
  }
  return entry;
}

bool RemoveAppsEntry(InstallScope scope, const std::string& key) {
  const std::string path = EntryPath(scope, key);
  if (path.empty()) return true;
  return RemoveFile(path) || !GetAttributes(path);
}

}  // namespace sys::platform
