#include "system/shortcuts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "sandbox_folders.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/platform.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using testsupport::SandboxFolders;

const char kSep = sys::PathSeparator();
const std::string kExt = sys::platform::kShortcutExtension;

std::string Join(const std::string& folder, const std::string& name) {
  return sys::IncludeTrailingSeparator(folder) + name;
}

TEST(Shortcuts, CreateMakesMissingSubfoldersAndRecordsTargetArgumentsAndFolder) {
  SandboxFolders sandbox;
  const std::string links = sandbox.Scratch("links");
  const std::string target = sandbox.Scratch("app dir") + "app.exe";
  ASSERT_TRUE(sys::CreateShortcut(target, "uninstall \"My App\"", "App", links, "",
                                  "My Company\\App"));

  const std::string linkPath = links + "My Company" + kSep + "App" + kSep + "App" + kExt;
  EXPECT_EQ(sys::ShortcutPath("App", links, "My Company\\App"), linkPath);
  ASSERT_TRUE(sys::FileExists(linkPath));
  auto link = sys::ReadShortcut(linkPath);
  ASSERT_TRUE(link);
  EXPECT_EQ(link->target, target);
  EXPECT_EQ(link->arguments, "uninstall \"My App\"");
  EXPECT_EQ(sys::IncludeTrailingSeparator(link->workingFolder), sandbox.Scratch("app dir"));
  EXPECT_EQ(link->iconFile, "");
#ifndef _WIN32
  struct stat st {};
  ASSERT_EQ(stat(linkPath.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  const std::string text = testsupport::ReadFile(linkPath);
  EXPECT_TRUE(text.starts_with("[Desktop Entry]\nType=Application\nName=App\n")) << text;
#endif
}

TEST(Shortcuts, IconIsSetWithIndexZeroAndAnExistingLinkIsReplaced) {
  SandboxFolders sandbox;
  const std::string links = sandbox.Scratch("links");
  const std::string folder = sandbox.Scratch("app");
  ASSERT_TRUE(sys::CreateShortcut(folder + "old.exe", "", "App", links, "", ""));
  ASSERT_TRUE(sys::CreateShortcut(folder + "app.exe", "a 100% b", "App", links,
                                  folder + "app.ico", ""));
  auto link = sys::ReadShortcut(links + "App" + kExt);
  ASSERT_TRUE(link);
  EXPECT_EQ(link->target, folder + "app.exe");
  EXPECT_EQ(link->arguments, "a 100% b");
  EXPECT_EQ(link->iconFile, folder + "app.ico");
  EXPECT_EQ(link->iconIndex, 0);
}

TEST(Shortcuts, NamesAndPathsOutsideTheAnsiCodePageSurviveTheRoundTrip) {
  SandboxFolders sandbox;
  const std::string links = sandbox.Scratch("Łódź");
  const std::string folder = sandbox.Scratch("アプリ") + "日本語" + kSep;
  // The target exists, as an installed program does: the shell records an
  // existing file by its identity, not only by its path.
  ASSERT_TRUE(sys::CreateFolders(folder));
  ASSERT_TRUE(sys::platform::WriteWholeFile(folder + "ファイル.exe", "MZ"));
  ASSERT_TRUE(sys::CreateShortcut(folder + "ファイル.exe", "--name=żółw", "Ünïcödé ノート", links,
                                  folder + "ファイル.ico", "Programme\\Ünïcödé"));
  const std::string linkPath = links + "Programme" + kSep + "Ünïcödé" + kSep + "Ünïcödé ノート" + kExt;
  auto link = sys::ReadShortcut(linkPath);
  ASSERT_TRUE(link);
  EXPECT_EQ(link->target, folder + "ファイル.exe");
  EXPECT_EQ(link->arguments, "--name=żółw");
  EXPECT_EQ(sys::IncludeTrailingSeparator(link->workingFolder), folder);
  EXPECT_EQ(link->iconFile, folder + "ファイル.ico");
  EXPECT_TRUE(sys::DeleteShortcut("Ünïcödé ノート", links, "Programme\\Ünïcödé"));
  EXPECT_FALSE(sys::FolderExists(links + "Programme" + kSep + "Ünïcödé"));
}

TEST(Shortcuts, EmptyLocationWritesNothing) {
  SandboxFolders sandbox;
  EXPECT_FALSE(sys::CreateShortcut("app", "", "App", "", "", ""));
  // A subfolder below nothing would land in the current folder.
  EXPECT_FALSE(sys::CreateShortcut("app", "", "App", "", "", "brevion-unrooted-sub"));
  EXPECT_FALSE(sys::FolderExists("brevion-unrooted-sub"));
  EXPECT_FALSE(sys::DeleteShortcut("App", "", ""));
  EXPECT_EQ(sys::ShortcutPath("App", "", ""), "");
}

TEST(Shortcuts, DeletingRemovesOnlyTheEmptiedInnermostSubfolder) {
  SandboxFolders sandbox;
  const std::string links = sandbox.Scratch("menu");
  const std::string sub = "My Company\\Suite";
  const std::string innermost = links + "My Company" + kSep + "Suite";
  ASSERT_TRUE(sys::CreateShortcut(sandbox.Scratch("app") + "a.exe", "", "A", links, "", sub));
  ASSERT_TRUE(sys::CreateShortcut(sandbox.Scratch("app") + "b.exe", "", "B", links, "", sub));

  EXPECT_FALSE(sys::DeleteShortcut("Missing", links, sub));
  EXPECT_TRUE(sys::DeleteShortcut("A", links, sub));
  EXPECT_FALSE(sys::FileExists(Join(innermost, "A" + kExt)));
  EXPECT_TRUE(sys::FileExists(Join(innermost, "B" + kExt)));  // one of two: the folder stays

  EXPECT_FALSE(sys::DeleteShortcut("A", links, sub));  // already gone
  EXPECT_TRUE(sys::DeleteShortcut("B", links, sub));
  EXPECT_FALSE(sys::FolderExists(innermost));
  EXPECT_TRUE(sys::FolderExists(links + "My Company"));  // parents stay, even empty
}

TEST(Shortcuts, MissingLinkTouchesNoFolder) {
  SandboxFolders sandbox;
  const std::string links = sandbox.Scratch("menu");
  sys::CreateFolders(links + "Empty");
  EXPECT_FALSE(sys::DeleteShortcut("App", links, "Empty"));
  EXPECT_TRUE(sys::FolderExists(links + "Empty"));
}

TEST(Shortcuts, HiddenFilesDoNotKeepASubfolderButSubfoldersDo) {
  SandboxFolders sandbox;
  const std::string links = sandbox.Scratch("menu");
  ASSERT_TRUE(sys::CreateShortcut(sandbox.Scratch("app") + "a.exe", "", "A", links, "", "Hidden"));
  const std::string hidden = sandbox.temp().Write("scratch/menu/Hidden/.directory", "x");
  sys::ApplyAttributeLetters(hidden, "ah");  // hidden on Windows, by name elsewhere
  EXPECT_TRUE(sys::DeleteShortcut("A", links, "Hidden"));
  EXPECT_FALSE(sys::FolderExists(links + "Hidden"));

  // Another program's shortcuts in a folder below must survive.
  ASSERT_TRUE(sys::CreateShortcut(sandbox.Scratch("app") + "a.exe", "", "A", links, "", "Shared"));
  ASSERT_TRUE(sys::CreateShortcut(sandbox.Scratch("app") + "o.exe", "", "Other", links, "", "Shared\\Other"));
  EXPECT_TRUE(sys::DeleteShortcut("A", links, "Shared"));
  EXPECT_TRUE(sys::FileExists(Join(links + "Shared" + kSep + "Other", "Other" + kExt)));
}

TEST(Shortcuts, KeywordFolderItselfIsNeverRemoved) {
  SandboxFolders sandbox;
  // An empty subfolder: the desktop case.
  const std::string desktop = sandbox.Scratch("desktop");
  ASSERT_TRUE(sys::CreateShortcut(sandbox.Scratch("app") + "a.exe", "", "A", desktop, "", ""));
  EXPECT_TRUE(sys::DeleteShortcut("A", desktop, ""));
  EXPECT_TRUE(sys::FolderExists(desktop));

  // A subfolder that leads back to the keyword folder ("temp" is sandboxed
  // on POSIX and the Wine prefix's own on Windows).
  const std::string unique = "brevion-shortcut-" + std::to_string(
      std::hash<std::string>{}(sandbox.temp().dir()) % 100000);
  ASSERT_TRUE(sys::CreateShortcut(sandbox.Scratch("app") + "a.exe", "", unique, "temp", "", "."));
  const std::string temp = sys::SpecialFolderPath("temp");
  EXPECT_TRUE(sys::FileExists(temp + unique + kExt));
  EXPECT_TRUE(sys::DeleteShortcut(unique, "temp", "."));
  EXPECT_FALSE(sys::FileExists(temp + unique + kExt));
  EXPECT_TRUE(sys::FolderExists(temp));
}

TEST(Shortcuts, KeywordsResolveIntoTheirFolders) {
  if (!SandboxFolders::kRedirected) GTEST_SKIP() << "keywords are the real folders here";
  SandboxFolders sandbox;
  ASSERT_TRUE(sys::CreateShortcut("/opt/app/app", "", "App", "programs", "", "My Company\\App"));
  ASSERT_TRUE(sys::CreateShortcut("/opt/app/app", "", "App", "user_desktop", "", ""));
  const std::string programs = sys::SpecialFolderPath("programs");
  EXPECT_TRUE(programs.starts_with(sandbox.temp().dir()));
  EXPECT_TRUE(sys::FileExists(programs + "My Company/App/App" + kExt));
  EXPECT_TRUE(sys::FileExists(sys::SpecialFolderPath("user_desktop") + "App" + kExt));
  EXPECT_TRUE(sys::DeleteShortcut("App", "programs", "My Company\\App"));
  EXPECT_FALSE(sys::FolderExists(programs + "My Company/App"));
  EXPECT_TRUE(sys::DeleteShortcut("App", "user_desktop", ""));
  EXPECT_TRUE(sys::FolderExists(sys::SpecialFolderPath("user_desktop")));
}

#ifndef _WIN32
TEST(Shortcuts, ALinkPlantedAtTheLauncherPathIsReplacedNotWrittenThrough) {
  SandboxFolders sandbox;
  const std::string links = sandbox.Scratch("links");
  const std::string outside = sandbox.temp().Write("outside.txt", "keep me");
  fs::create_symlink(outside, links + "App" + kExt);
  ASSERT_TRUE(sys::CreateShortcut("/opt/app/app", "", "App", links, "", ""));
  EXPECT_EQ(testsupport::ReadFile(outside), "keep me");
  EXPECT_FALSE(fs::is_symlink(links + "App" + kExt));
  EXPECT_EQ(sys::ReadShortcut(links + "App" + kExt)->target, "/opt/app/app");
}

TEST(Shortcuts, LauncherEscapesSurviveTheRoundTrip) {
  SandboxFolders sandbox;
  const std::string links = sandbox.Scratch("links");
  const std::string target = "/opt/my \"app\"/$bin\\run";
  ASSERT_TRUE(sys::CreateShortcut(target, "--name \"a b\" 50%", " Lead", links, "", ""));
  auto link = sys::ReadShortcut(links + " Lead" + kExt);
  ASSERT_TRUE(link);
  // "\" in a path is a separator on POSIX systems.
  EXPECT_EQ(link->target, "/opt/my \"app\"/$bin/run");
  EXPECT_EQ(link->arguments, "--name \"a b\" 50%");
  EXPECT_EQ(link->workingFolder, "/opt/my \"app\"/$bin/");
  const std::string text = testsupport::ReadFile(links + " Lead" + kExt);
  EXPECT_NE(text.find("Name=\\sLead\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Exec=\"/opt/my \\\\\"app\\\\\"/\\\\$bin/run\" --name \"a b\" 50%%\n"),
            std::string::npos)
      << text;
}
#endif

}  // namespace
