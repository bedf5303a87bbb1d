#include "system/apps_entry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "sandbox_folders.h"
#include "system/associations.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/uninstall_log.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using testsupport::SandboxFolders;

// Puts the process's scope back, whatever a test chose.
class ScopeGuard {
 public:
  ~ScopeGuard() { sys::SetCurrentInstallScope(sys::InstallScope::Machine); }
};

TEST(AppsEntry, HoldsEveryValueAndLeavesEmptyOnesOut) {
  sys::InstalledProgram program{.displayName = "Notes",
                                .version = "1.2",
                                .publisher = "Example Ltd",
                                .url = "",
                                .icon = "C:\\Notes\\notes.ico",
                                .installFolder = "C:\\Notes\\",
                                .uninstaller = "C:\\Data\\Notes\\uninst3.exe",
                                .installedBytes = 1025};
  program.installTime = *sys::platform::FromLocalDateTime({2026, 3, 7, 12, 0, 0});
  const std::string uninstall = "\"C:\\Data\\Notes\\uninst3.exe\" uninstall \"Notes\"";
  const sys::AppsEntry expected = {
      {"DisplayName", "Notes"},          {"DisplayVersion", "1.2"},
      {"Publisher", "Example Ltd"},      {"DisplayIcon", "C:\\Notes\\notes.ico"},
      {"InstallLocation", "C:\\Notes\\"}, {"UninstallString", uninstall},
      {"QuietUninstallString", uninstall + " /S"},
      {"EstimatedSize", "2", true},      {"InstallDate", "20260307"},
      {"NoModify", "1", true},           {"NoRepair", "1", true}};
  EXPECT_EQ(sys::MakeAppsEntry(program), expected);
  program.url = "https://example.com/";
  program.publisher.clear();
  const sys::AppsEntry withUrl = sys::MakeAppsEntry(program);
  EXPECT_EQ(sys::FindAppsValue(withUrl, "urlinfoabout")->value, "https://example.com/");
  EXPECT_EQ(sys::FindAppsValue(withUrl, "Publisher"), nullptr);
}

// An entry's values in name order: a store may hand them back in its own.
std::optional<sys::AppsEntry> ByName(std::optional<sys::AppsEntry> entry) {
  if (entry) {
    std::sort(entry->begin(), entry->end(),
              [](const sys::AppsEntryValue& a, const sys::AppsEntryValue& b) { return a.name < b.name; });
  }
  return entry;
}

// Written, read back, replaced in place (values no longer given go) and
// removed, in each scope's own store.
TEST(AppsEntry, WritesReplacesAndRemovesPerScope) {
  SandboxFolders sandbox;
  const std::string key = "BrevionTest.AppsEntry";
  const sys::AppsEntry first = {{"DisplayName", "Test"}, {"URLInfoAbout", "https://a/"}, {"NoModify", "1", true}};
  const sys::AppsEntry second = {{"DisplayName", "Test 2"}, {"EstimatedSize", "4096", true}};
  for (const sys::InstallScope scope : {sys::InstallScope::Machine, sys::InstallScope::User}) {
    const sys::InstallScope other =
        scope == sys::InstallScope::User ? sys::InstallScope::Machine : sys::InstallScope::User;
    ASSERT_TRUE(sys::platform::WriteAppsEntry(scope, key, first));
    EXPECT_EQ(ByName(sys::platform::ReadAppsEntry(scope, key)), ByName(first));
    EXPECT_FALSE(sys::platform::ReadAppsEntry(other, key)) << "each scope has its own store";
    ASSERT_TRUE(sys::platform::WriteAppsEntry(scope, key, second));
    EXPECT_EQ(ByName(sys::platform::ReadAppsEntry(scope, key)), ByName(second));
    EXPECT_TRUE(sys::platform::RemoveAppsEntry(scope, key));
    EXPECT_FALSE(sys::platform::ReadAppsEntry(scope, key));
    EXPECT_TRUE(sys::platform::RemoveAppsEntry(scope, key)) << "gone already is gone";
  }
}

// A per-user installation keeps its data, menus and file classes in the
// user's folders.
TEST(AppsEntry, UserScopeMovesTheDataFolderAndTheFileClasses) {
  SandboxFolders sandbox;
  ScopeGuard restore;
  EXPECT_EQ(sys::ParseScope("USER"), sys::InstallScope::User);
  EXPECT_EQ(sys::ParseScope("Machine"), sys::InstallScope::Machine);
  EXPECT_FALSE(sys::ParseScope("ask"));
  const std::string machineData = sys::ProgramDataFolder("Notes");
  EXPECT_EQ(machineData, sys::SpecialFolderPath("appdata") + "Notes" + sys::PathSeparator());
  sys::SetCurrentInstallScope(sys::InstallScope::User);
  EXPECT_EQ(sys::ProgramDataFolder("Notes"), sys::SpecialFolderPath("user_appdata") + "Notes" + sys::PathSeparator());
  EXPECT_FALSE(sys::UserProgramFilesFolder().empty());
  if (SandboxFolders::kRedirected) {
    EXPECT_EQ(sys::UserProgramFilesFolder(), sandbox.temp().dir() + "home/.local/share/");
  }

  const std::string key = ".brevion-scope-test";
  sys::SetFileAssociation(sandbox.Scratch("app") + "app", key, "");
  EXPECT_TRUE(sys::GetFileAssociation(key));
  sys::SetCurrentInstallScope(sys::InstallScope::Machine);
  // Windows merges the user's classes into HKEY_CLASSES_ROOT when reading.
  if (SandboxFolders::kRedirected) {
    EXPECT_FALSE(sys::GetFileAssociation(key)) << "not among every user's classes";
  }
  sys::SetCurrentInstallScope(sys::InstallScope::User);
  sys::RemoveFileAssociation(sandbox.Scratch("app") + "app", key);
#ifdef _WIN32
  RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Classes\\" + key).c_str());
#endif
}

}  // namespace
