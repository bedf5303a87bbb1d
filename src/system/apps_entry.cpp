#include "system/apps_entry.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "system/platform.h"
#include "system/text.h"

namespace sys {
namespace {

InstallScope currentScope = InstallScope::Machine;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::string_view ScopeName(InstallScope scope) { return scope == InstallScope::User ? "user" : "machine"; }

std::optional<InstallScope> ParseScope(std::string_view text) {
  if (SameTextAscii(text, "machine")) return InstallScope::Machine;
  if (SameTextAscii(text, "user")) return InstallScope::User;
  return std::nullopt;
}

InstallScope CurrentInstallScope() { return currentScope; }
void SetCurrentInstallScope(InstallScope scope) { currentScope = scope; }

AppsEntry MakeAppsEntry(const InstalledProgram& program) {
  AppsEntry entry;
  auto text = [&entry](const char* name, const std::string& value) {
    if (!value.empty() || entry.empty()) entry.push_back({name, value, false});
  };
  auto number = [&entry](const char* name, int64_t value) { entry.push_back({name, std::to_string(value), true}); };
  const std::string uninstall = Quoted(program.uninstaller) + " uninstall " + Quoted(program.displayName);
  text("DisplayName", program.displayName);
  text("DisplayVersion", program.version);
  text("Publisher", program.publisher);
  text("DisplayIcon", program.icon);
  text("InstallLocation", program.installFolder);
  text("UninstallString", uninstall);
  text("QuietUninstallString", uninstall + " /S");
  // A REG_DWORD of kilobytes holds up to 4 TB.
  number("EstimatedSize", std::min<int64_t>((program.installedBytes + 1023) / 1024, UINT32_MAX));
  const platform::LocalDateTime date = platform::ToLocalDateTime(program.installTime);
  char day[16];
  std::snprintf(day, sizeof day, "%04d%02d%02d", date.year, date.month, date.day);
  text("InstallDate", day);
  number("NoModify", 1);
  number("NoRepair", 1);
  text("URLInfoAbout", program.url);
  return entry;
}

const AppsEntryValue* FindAppsValue(const AppsEntry& entry, std::string_view name) {
  for (const AppsEntryValue& value : entry) {
    if (SameTextAscii(value.name, name)) return &value;
  }
  return nullptr;
}

}  // namespace sys
