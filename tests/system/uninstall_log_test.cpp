#include "system/uninstall_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sandbox_folders.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/protected_folders.h"
#include "system/shortcuts.h"

namespace {

const std::string kExt = sys::platform::kShortcutExtension;

namespace fs = std::filesystem;
using testsupport::SandboxFolders;

const char kSep = sys::PathSeparator();

// An installation folder with files, a nested folder and a read-write file.
std::string MakeInstallFolder(const SandboxFolders& sandbox, const std::string& name) {
  const std::string folder = sandbox.Scratch(name);
  sandbox.temp().Write("scratch/" + name + "/app.exe", "program");
  sandbox.temp().Write("scratch/" + name + "/data/sub/readme.txt", "text");
  return folder;
}

void WriteLog(const std::string& path, const std::string& content) {
  sys::CreateFolders(sys::ExtractFilePath(path));
  std::ofstream(path, std::ios::binary) << content;
}

TEST(UninstallLog, NameAndPlace) {
  SandboxFolders sandbox;
  const std::string appData = sys::SpecialFolderPath("appdata");
  ASSERT_FALSE(appData.empty());
  EXPECT_EQ(sys::UninstallLogName("My Program"), "My Program.inst");
  EXPECT_EQ(sys::ProgramDataFolder("MyProg"), appData + "MyProg" + kSep);
  EXPECT_EQ(sys::UninstallLogPath("MyProg", "My Program 2.0"),
            appData + "MyProg" + kSep + "My Program 2.0.inst");
}

TEST(UninstallLog, LogPathFromTheCommandLine) {
  EXPECT_EQ(sys::UninstallLogPathFromArgument("My App"), sys::ExeFolder() + "My App.inst");
  // A full path, or a display name holding a ".", is taken unchanged.
  const std::string full = sys::ExeFolder() + "Other.inst";
  EXPECT_EQ(sys::UninstallLogPathFromArgument(full), full);
  EXPECT_EQ(sys::UninstallLogPathFromArgument("App 2.0"), "App 2.0");
  // A "." in a folder name does not count: only the file-name part's.
  EXPECT_EQ(sys::UninstallLogPathFromArgument("my.dir\\App"),
            sys::ExeFolder() + "my.dir\\App.inst");
  EXPECT_EQ(sys::ProgramNameFromLogPath(full), "Other");
  EXPECT_EQ(sys::ProgramNameFromLogPath("App 2.0"), "Ap");
  EXPECT_EQ(sys::ProgramNameFromLogPath(".inst"), "");
  EXPECT_EQ(sys::ProgramNameFromLogPath("abc"), "");
}

TEST(UninstallLog, LinesAreSavedWithCrLfAndReplaceAnEarlierLog) {
  SandboxFolders sandbox;
  const std::string log = sys::UninstallLogPath("MyProg", "My Program");
  const sys::StringList lines{
      sys::DirLogLine("C:\\App\\"),
      sys::ShortcutLogLine("My Program", "user_desktop", ""),
      sys::ShortcutLogLine("Uninstall My Program", "programs", "My Company"),
      sys::AssocLogLine("C:\\App\\app.exe", ".abc", ""),
  };
  EXPECT_EQ(lines[0], "dir|C:\\App\\");
  EXPECT_EQ(lines[1], "shortcut|My Program|user_desktop||");
  EXPECT_EQ(lines[2], "shortcut|Uninstall My Program|programs|My Company|");
  EXPECT_EQ(lines[3], "assoc|C:\\App\\app.exe|.abc|");

  ASSERT_TRUE(sys::SaveUninstallLog(log, {"old line", "old line 2", "old line 3"}));
  ASSERT_TRUE(sys::SaveUninstallLog(log, lines));  // folder made, earlier log replaced
  EXPECT_EQ(testsupport::ReadFile(log),
            "dir|C:\\App\\\r\nshortcut|My Program|user_desktop||\r\n"
            "shortcut|Uninstall My Program|programs|My Company|\r\n"
            "assoc|C:\\App\\app.exe|.abc|\r\n");
}

TEST(UninstallLog, ReplayRemovesFolderAndShortcutsThenTheLogOnly) {
  SandboxFolders sandbox;
  const std::string install = MakeInstallFolder(sandbox, "App");
  const std::string keep = MakeInstallFolder(sandbox, "Keep");  // named by wrong-case lines
  const std::string desktop = sandbox.Scratch("desktop");
  const std::string menu = sandbox.Scratch("menu");
  ASSERT_TRUE(sys::CreateShortcut(install + "app.exe", "", "App", desktop, "", ""));
  ASSERT_TRUE(sys::CreateShortcut(install + "app.exe", "", "App", menu, "", "My Company"));
  ASSERT_TRUE(sys::CreateShortcut(install + "app.exe", "", "Keep", menu, "", ""));

  const std::string log = sys::UninstallLogPath("MyProg", "My.Program");
  const std::string uninstaller = sys::ProgramDataFolder("MyProg") + "uninst3.exe";
  WriteLog(uninstaller, "stub");
  ASSERT_TRUE(sys::SaveUninstallLog(
      log, {sys::DirLogLine(install), "", "   \t",
            "  " + sys::ShortcutLogLine("App", desktop, "") + " \t",
            sys::ShortcutLogLine("App", menu, "My Company"),
            "Dir|" + keep, "SHORTCUT|Keep|" + menu + "||", "other|" + keep,
            sys::AssocLogLine(install + "app.exe", ".abc", "")}));

  auto replay = sys::ReplayUninstallLog(log);
  EXPECT_TRUE(replay.logFound);
  EXPECT_TRUE(replay.refusedFolders.empty());
  EXPECT_FALSE(sys::FolderExists(install));
  EXPECT_FALSE(sys::FileExists(desktop + "App" + kExt));
  EXPECT_FALSE(sys::FolderExists(menu + "My Company"));
  EXPECT_TRUE(sys::FolderExists(desktop));
  EXPECT_TRUE(sys::FileExists(keep + "app.exe"));
  EXPECT_TRUE(sys::FileExists(menu + "Keep" + kExt));
  EXPECT_FALSE(sys::FileExists(log));
  EXPECT_TRUE(sys::FileExists(uninstaller));  // the uninstaller and its folder stay

  // A second run finds no log and does nothing.
  EXPECT_FALSE(sys::ReplayUninstallLog(log).logFound);
}

TEST(UninstallLog, AssocOnlyLogAndVanishedTargetsStillDeleteTheLog) {
  SandboxFolders sandbox;
  const std::string log = sandbox.Scratch("logs") + "Assoc Only.inst";
  WriteLog(log, "assoc|/opt/app/app|.abc|\r\nassoc|/opt/app/app|.def|/opt/app/def.png\r\n");
  auto replay = sys::ReplayUninstallLog(log);
  EXPECT_TRUE(replay.logFound);
  EXPECT_FALSE(sys::FileExists(log));

  // Lines naming things that are already gone; LF-only and CR-only breaks.
  const std::string gone = sandbox.Scratch("gone");
  sys::RemoveFolder(gone);
  WriteLog(log, "dir|" + gone + "\nshortcut|Nothing|" + sandbox.Scratch("menu") + "|Sub|\r");
  replay = sys::ReplayUninstallLog(log);
  EXPECT_TRUE(replay.logFound);
  EXPECT_FALSE(sys::FileExists(log));
}

TEST(UninstallLog, RootsHomeAndKeywordFoldersAreNeverProtectedAway) {
  SandboxFolders sandbox;
  EXPECT_TRUE(sys::IsProtectedFolder(kSep == '\\' ? "C:\\" : "/"));
  EXPECT_TRUE(sys::IsProtectedFolder(kSep == '\\' ? "c:" : "//"));
  EXPECT_TRUE(sys::IsProtectedFolder("relative\\folder"));
  EXPECT_TRUE(sys::IsProtectedFolder(""));
  for (const char* keyword : {"windows", "temp", "programs", "startmenu", "startup", "fonts",
                              "appdata", "user_desktop", "desktop", "user_programs",
                              "user_startmenu", "user_startup", "user_documents",
                              "user_appdata"}) {
    const std::string folder = sys::SpecialFolderPath(keyword);
    if (folder.empty()) continue;
    EXPECT_TRUE(sys::IsProtectedFolder(folder)) << keyword;
    EXPECT_TRUE(sys::IsProtectedFolder(sys::ExtractFilePath(sys::ExcludeTrailingSeparator(folder))))
        << "the parent of " << keyword;
    EXPECT_FALSE(sys::IsProtectedFolder(folder + "My Program")) << keyword;
  }
  EXPECT_FALSE(sys::IsProtectedFolder(sandbox.Scratch("App")));
  // "." and ".." are resolved before comparing; letter case does not matter.
  const std::string documents = sys::SpecialFolderPath("user_documents");
  EXPECT_TRUE(sys::IsProtectedFolder(documents + "App" + kSep + ".." + kSep + "."));
  EXPECT_TRUE(sys::IsProtectedFolder(sys::ToBackslashes(documents)));
}

TEST(UninstallLog, ReplayRefusesProtectedFoldersAndReportsThem) {
  SandboxFolders sandbox;
  const std::string temp = sys::SpecialFolderPath("temp");
  const std::string install = MakeInstallFolder(sandbox, "App");
  const std::string marker = temp + "brevion-guard-marker.txt";
  WriteLog(marker, "keep");
  // Folders that must stay: a keyword folder, and one above a keyword
  // folder reached through "..". Where the keywords are the real folders
  // (Windows), only the temporary folder is put at risk.
  sys::StringList refused{temp};
  if (SandboxFolders::kRedirected) {
    sandbox.temp().Write("home/Documents/letter.txt", "mine");
    refused.push_back(sandbox.temp().dir() + "home/");
    refused.push_back(sys::SpecialFolderPath("user_documents"));
    refused.push_back(install + "../../root/usr/share");
    sandbox.temp().Write("root/usr/share/applications/other.desktop", "other");
  } else {
    refused.push_back(install + "..\\..\\..");  // the temporary folder again
  }
  sys::StringList lines;
  for (const std::string& folder : refused) lines.push_back(sys::DirLogLine(folder));
  lines.push_back(sys::DirLogLine(install));
  const std::string log = sandbox.Scratch("logs") + "My Program.inst";
  ASSERT_TRUE(sys::SaveUninstallLog(log, lines));

  sys::StringList handed;
  auto replay = sys::ReplayUninstallLog(log, [&](const std::string& f) { handed.push_back(f); });
  EXPECT_EQ(replay.refusedFolders, refused);
  EXPECT_EQ(handed, refused);
  EXPECT_EQ(testsupport::ReadFile(marker), "keep");
  sys::RemoveFile(marker);
  if (SandboxFolders::kRedirected) {
    EXPECT_EQ(testsupport::ReadFile(sys::SpecialFolderPath("user_documents") + "letter.txt"),
              "mine");
    EXPECT_TRUE(sys::FileExists(sys::SpecialFolderPath("programs") + "other.desktop"));
  }
  EXPECT_FALSE(sys::FolderExists(install));  // the program's own folder does go
  EXPECT_FALSE(sys::FileExists(log));
}

#ifndef _WIN32
TEST(UninstallLog, ReplayNeverFollowsSymbolicLinks) {
  SandboxFolders sandbox;
  const std::string install = MakeInstallFolder(sandbox, "App");
  const std::string outside = sandbox.temp().Write("outside/precious.txt", "keep");
  fs::create_directory_symlink(sys::ExtractFilePath(outside), install + "linked folder");
  fs::create_symlink(outside, install + "data/linked file");
  // A home reached through a link in the parent path is still the home.
  const std::string home = sandbox.temp().dir() + "home";
  fs::create_directory_symlink(sandbox.temp().dir(), install + "up");
  sandbox.temp().Write("home/profile.txt", "mine");

  const std::string log = sandbox.Scratch("logs") + "App.inst";
  WriteLog(log, "dir|" + install + "up/home\r\ndir|" + install + "\r\n");
  auto replay = sys::ReplayUninstallLog(log);
  EXPECT_EQ(replay.refusedFolders, sys::StringList{install + "up/home"});
  EXPECT_FALSE(sys::FolderExists(install));
  EXPECT_EQ(testsupport::ReadFile(outside), "keep");
  EXPECT_EQ(testsupport::ReadFile(home + "/profile.txt"), "mine");
}
#endif

}  // namespace
