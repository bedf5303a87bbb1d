// The program's entry in the system's list of installed programs (the
// "Apps & features" list on Windows) and the scope an installation is made
// for.
//
// Windows: the key Software\Microsoft\Windows\CurrentVersion\Uninstall\<key>
// of HKEY_LOCAL_MACHINE (machine scope) or HKEY_CURRENT_USER (user scope),
// whose values are strings except the numbers (REG_DWORD) EstimatedSize,
// NoModify and NoRepair. Elsewhere the same values are kept as
// "Name=value" lines in <data folder>brevion-apps/<key>.entry, beside the
// desktop's MIME and launcher folders (docs/linux-integration.md).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sys {

// Machine: for every user, in the all-users folders and registry (needs an
// administrator on Windows). User: for the current user only.
enum class InstallScope { Machine, User };

// "machine" / "user".
std::string_view ScopeName(InstallScope scope);
// "machine" or "user" in any letter case; nullopt otherwise.
std::optional<InstallScope> ParseScope(std::string_view text);

// The scope the running installation or uninstallation works in: where the
// program's data folder, its associations and its entry go. Machine until
// set.
InstallScope CurrentInstallScope();
void SetCurrentInstallScope(InstallScope scope);

inline constexpr const char* kAppsEntryKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// One value of an entry: text, or a number (`number`, its decimal digits
// in `value`).
struct AppsEntryValue {
  std::string name;
  std::string value;
  bool number = false;
  bool operator==(const AppsEntryValue&) const = default;
};
using AppsEntry = std::vector<AppsEntryValue>;

// What an installation knows about itself.
struct InstalledProgram {
  std::string displayName;
  std::string version;
  std::string publisher;
  std::string url;            // "" leaves URLInfoAbout out
  std::string icon;           // full path of the icon or the program
  std::string installFolder;
  std::string uninstaller;    // full path of the uninstaller copy
  int64_t installedBytes = 0;
  int64_t installTime = 0;    // Unix seconds
};

// The values, in the order they are written: DisplayName, DisplayVersion,
// Publisher, DisplayIcon, InstallLocation, UninstallString
// ("<uninstaller>" uninstall "<display name>"), QuietUninstallString (the
// same and /S), EstimatedSize (KB, rounded up), InstallDate (yyyymmdd,
// local), NoModify=1, NoRepair=1 and URLInfoAbout when there is one. Empty
// texts other than DisplayName are left out.
AppsEntry MakeAppsEntry(const InstalledProgram& program);

// The value named `name` (any case) of `entry`; nullptr when absent.
const AppsEntryValue* FindAppsValue(const AppsEntry& entry, std::string_view name);

namespace platform {

// Replaces the entry `key` of `scope` with `entry` (values not in it go).
// False when it could not be written.
bool WriteAppsEntry(InstallScope scope, const std::string& key, const AppsEntry& entry);
// The entry as stored; nullopt when there is none.
std::optional<AppsEntry> ReadAppsEntry(InstallScope scope, const std::string& key);
// Removes the entry; true when it is gone (or was never there).
bool RemoveAppsEntry(InstallScope scope, const std::string& key);

}  // namespace platform
}  // namespace sys
