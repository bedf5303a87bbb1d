#include "system/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "support/temp_dir.h"
#include "system/files.h"

namespace {

using sys::StringList;

const std::string kSep(1, sys::PathSeparator());

TEST(PathHelpers, TrailingSeparator) {
  EXPECT_EQ(sys::IncludeTrailing("", '\\'), "");
  EXPECT_EQ(sys::IncludeTrailing("C:\\", '\\'), "C:\\");
  EXPECT_EQ(sys::IncludeTrailing("C:\\Tools", '\\'), "C:\\Tools\\");
  EXPECT_EQ(sys::IncludeTrailingSeparator(""), "");
  EXPECT_EQ(sys::IncludeTrailingSeparator("x\\"), "x\\");
  EXPECT_EQ(sys::IncludeTrailingSeparator("x/"), "x/");
  EXPECT_EQ(sys::IncludeTrailingSeparator("x"), "x" + kSep);
  EXPECT_EQ(sys::ExcludeTrailingSeparator("x\\"), "x");
  EXPECT_EQ(sys::ExcludeTrailingSeparator("/"), "/");
}

TEST(PathHelpers, ChangeExtensionLooksOnlyAtTheName) {
  EXPECT_EQ(sys::ChangeExtension("backup", ".bvarc"), "backup.bvarc");
  EXPECT_EQ(sys::ChangeExtension("backup.zip", ".bvarc"), "backup.bvarc");
  EXPECT_EQ(sys::ChangeExtension("my.dir\\backup", ".bvarc"), "my.dir\\backup.bvarc");
  EXPECT_EQ(sys::ChangeExtension("my.dir/backup", ".bvarc"), "my.dir/backup.bvarc");
  EXPECT_EQ(sys::ChangeExtension("a.tar.gz", ".x"), "a.tar.x");
  EXPECT_EQ(sys::ChangeExtension("", ".bvarc"), ".bvarc");
}

TEST(PathHelpers, FilePathAndNameParts) {
  EXPECT_EQ(sys::ExtractFilePath("dir\\sub/file.txt"), "dir\\sub/");
  EXPECT_EQ(sys::ExtractFileName("dir\\sub/file.txt"), "file.txt");
  EXPECT_EQ(sys::ExtractFilePath("file.txt"), "");
  EXPECT_EQ(sys::ExtractFileExt("my.dir\\file"), "");
  EXPECT_EQ(sys::ExtractFileExt("file.TXT"), ".TXT");
  EXPECT_EQ(sys::ToBackslashes("a/b\\c"), "a\\b\\c");
  EXPECT_EQ(sys::ToNativeSeparators("a/b\\c"), "a" + kSep + "b" + kSep + "c");
}

TEST(PathHelpers, ExeFolderHoldsTheRunningProgram) {
  const std::string folder = sys::ExeFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), sys::PathSeparator());
  EXPECT_TRUE(sys::FolderExists(folder));
}

TEST(SpecialFolders, UnknownWordsAreFolderPaths) {
  EXPECT_EQ(sys::SpecialFolderPath(""), "");
  EXPECT_EQ(sys::SpecialFolderPath("Programs"), "Programs" + kSep);
  EXPECT_EQ(sys::SpecialFolderPath("D:\\Tools\\"), "D:\\Tools\\");
  EXPECT_EQ(sys::SpecialFolderPath("D:\\Tools"), "D:\\Tools" + kSep);
  EXPECT_EQ(sys::SpecialFolderPath("C:\\"), "C:\\");
}

TEST(SpecialFolders, EveryKeywordEndsInASeparatorAndUsersAreSeparate) {
  for (const char* keyword :
       {"windows", "temp", "programs", "startmenu", "startup", "fonts", "appdata", "user_desktop",
        "desktop", "user_programs", "user_startmenu", "user_startup", "user_documents",
        "user_appdata"}) {
    std::string path = sys::SpecialFolderPath(keyword);
    ASSERT_FALSE(path.empty()) << keyword;
    EXPECT_TRUE(path.back() == '\\' || path.back() == '/') << keyword << ": " << path;
  }
  EXPECT_NE(sys::SpecialFolderPath("programs"), sys::SpecialFolderPath("user_programs"));
  EXPECT_NE(sys::SpecialFolderPath("appdata"), sys::SpecialFolderPath("user_appdata"));
  EXPECT_EQ(sys::SpecialFolderPath("desktop"), sys::SpecialFolderPath("user_desktop"));
}

TEST(SpecialFolders, FolderVariablesInOrderWithoutDesktop) {
  StringList variables{"temp_dir=stale", "Windows_Dir=old", "keep=1"};
  sys::AddFolderVariables(variables, "_dir");
  EXPECT_EQ(sys::GetSettingValue("windows_dir", variables), sys::SpecialFolderPath("windows"));
  EXPECT_EQ(sys::GetSettingValue("temp_dir", variables), sys::SpecialFolderPath("temp"));
  EXPECT_FALSE(sys::HasSetting("desktop_dir", variables));
  // The two existing ones were overwritten in place, the rest appended in order.
  ASSERT_EQ(variables.size(), 3u + 11u);
  const char* appended[] = {"programs_dir",      "startmenu_dir",  "startup_dir",
                            "fonts_dir",         "user_desktop_dir", "user_programs_dir",
                            "user_startmenu_dir", "user_startup_dir", "user_documents_dir",
                            "appdata_dir",       "user_appdata_dir"};
  for (size_t i = 0; i < 11; ++i)
    EXPECT_TRUE(variables[3 + i].starts_with(std::string(appended[i]) + "=")) << variables[3 + i];
  EXPECT_TRUE(variables[1].starts_with("Windows_Dir="));
}

#ifndef _WIN32
// Sets environment variables for one test and restores them afterwards.
class ScopedEnvironment {
 public:
  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    Apply(name, value);
  }
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) Apply(name, value);
  }

 private:
  static void Apply(const std::string& name, const std::optional<std::string>& value) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(LinuxFolders, KeywordsFollowTheEnvironment) {
  testsupport::TempDir temp;
  const std::string root = temp.dir() + "root";
  const std::string home = temp.dir() + "home";
  ScopedEnvironment env;
  env.Set("BREVION_ROOT", root + "/");
  env.Set("HOME", home);
  env.Set("TMPDIR", temp.dir() + "tmp/");
  for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR", "XDG_DOCUMENTS_DIR"})
    env.Set(name, std::nullopt);

  const std::map<std::string, std::string> expected{
      {"windows", root + "/etc/"},
      {"temp", temp.dir() + "tmp/"},
      {"programs", root + "/usr/share/applications/"},
      {"startmenu", root + "/usr/share/applications/"},
      {"startup", root + "/etc/xdg/autostart/"},
      {"fonts", root + "/usr/share/fonts/"},
      {"appdata", root + "/var/lib/"},
      {"user_desktop", home + "/Desktop/"},
      {"desktop", home + "/Desktop/"},
      {"user_programs", home + "/.local/share/applications/"},
      {"user_startmenu", home + "/.local/share/applications/"},
      {"user_startup", home + "/.config/autostart/"},
      {"user_documents", home + "/Documents/"},
      {"user_appdata", home + "/.local/share/"},
  };
  for (const auto& [keyword, path] : expected)
    EXPECT_EQ(sys::SpecialFolderPath(keyword), path) << keyword;

  env.Set("XDG_DATA_HOME", temp.dir() + "data");
  env.Set("XDG_CONFIG_HOME", temp.dir() + "config");
  env.Set("XDG_DESKTOP_DIR", temp.dir() + "desk");
  EXPECT_EQ(sys::SpecialFolderPath("user_programs"), temp.dir() + "data/applications/");
  EXPECT_EQ(sys::SpecialFolderPath("user_appdata"), temp.dir() + "data/");
  EXPECT_EQ(sys::SpecialFolderPath("user_startup"), temp.dir() + "config/autostart/");
  EXPECT_EQ(sys::SpecialFolderPath("user_desktop"), temp.dir() + "desk/");
  // Relative XDG values are ignored, as the XDG rules say.
  env.Set("XDG_DATA_HOME", "relative");
  EXPECT_EQ(sys::SpecialFolderPath("user_appdata"), home + "/.local/share/");
}

TEST(LinuxFolders, UserDirsFileNamesDesktopAndDocuments) {
  testsupport::TempDir temp;
  const std::string home = temp.dir() + "home";
  ScopedEnvironment env;
  env.Set("HOME", home);
  env.Set("XDG_CONFIG_HOME", std::nullopt);
  env.Set("XDG_DESKTOP_DIR", std::nullopt);
  env.Set("XDG_DOCUMENTS_DIR", std::nullopt);
  temp.Write("home/.config/user-dirs.dirs",
             "# written by xdg-user-dirs-update\n"
             "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n"
             "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n");
  EXPECT_EQ(sys::SpecialFolderPath("user_desktop"), home + "/Bureau/");
  EXPECT_EQ(sys::SpecialFolderPath("user_documents"), "/srv/docs/");
}
#endif

}  // namespace
