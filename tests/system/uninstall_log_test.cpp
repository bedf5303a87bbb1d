#include "system/uninstall_log.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  // A display name holding a "." is a name too; an existing file is a path.
  EXPECT_EQ(sys::UninstallLogPathFromArgument("App 2.0"), sys::ExeFolder() + "App 2.0.inst");
  EXPECT_EQ(sys::UninstallLogPathFromArgument("App 2.0.inst"), "App 2.0.inst");
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
      log, {sys::DirLogLine(install), sys::FolderLogLine(install), sys::FolderLogLine(install + "data" + kSep),
            sys::FolderLogLine(install + "data" + kSep + "sub" + kSep), "", "   \t",
            "  " + sys::ShortcutLogLine("App", desktop, "") + " \t",
            sys::ShortcutLogLine("App", menu, "My Company"),
            "Dir|" + keep, "SHORTCUT|Keep|" + menu + "||", "other|" + keep,
            sys::AssocLogLine(install + "app.exe", ".abc", "")}));

  auto replay = sys::ReplayUninstallLog(log, {"app.exe", "data\\sub\\readme.txt"});
  EXPECT_TRUE(replay.logFound);
  EXPECT_TRUE(replay.refusedFolders.empty());
  EXPECT_EQ(replay.keptCount, 0);
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
  sys::StringList lines{sys::DirLogLine(install), sys::FolderLogLine(install),
                        sys::FolderLogLine(install + "data" + kSep + "sub" + kSep),
                        sys::FolderLogLine(install + "data" + kSep)};
  for (const std::string& folder : refused) lines.push_back(sys::FolderLogLine(folder));
  const std::string log = sandbox.Scratch("logs") + "My Program.inst";
  ASSERT_TRUE(sys::SaveUninstallLog(log, lines));

  auto replay = sys::ReplayUninstallLog(log, {"app.exe", "data\\sub\\readme.txt"});
  sys::StringList expected;
  for (const std::string& folder : refused) {
    expected.push_back(sys::ExcludeTrailingSeparator(sys::ToNativeSeparators(folder)));
  }
  std::sort(expected.begin(), expected.end());
  std::sort(replay.refusedFolders.begin(), replay.refusedFolders.end());
  EXPECT_EQ(replay.refusedFolders, expected);
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
  WriteLog(log, "dir|" + install + "\r\nfolder|" + install + "up/home\r\nfolder|" + install + "\r\nfolder|" +
                    install + "data/\r\nfolder|" + install + "data/sub/\r\n");
  // Listed names that lead through a link are not the installation's files.
  auto replay = sys::ReplayUninstallLog(log, {"app.exe", "data\\sub\\readme.txt", "linked folder",
                                              "data\\linked file", "up\\home\\profile.txt",
                                              "linked folder\\precious.txt"});
  EXPECT_EQ(replay.refusedFolders, sys::StringList{install + "up/home"});
  EXPECT_FALSE(fs::exists(fs::symlink_status(install + "linked folder")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(install + "data")));
  EXPECT_EQ(testsupport::ReadFile(outside), "keep");
  EXPECT_EQ(testsupport::ReadFile(home + "/profile.txt"), "mine");
}
#endif

}  // namespace

namespace {

// Only what the log and the list name goes: files the user had or saved
// later stay, with the folders holding them, and the count says so; a
// folder that existed before has no folder line and stays even when empty;
// a file replaced by an installation that never finished comes back.
TEST(UninstallLog, ReplayRemovesOnlyWhatTheInstallationCreated) {
  SandboxFolders sandbox;
  const std::string work = sandbox.Scratch("Work");  // existed before
  sandbox.temp().Write("scratch/Work/report.doc", "the user's report");
  sandbox.temp().Write("scratch/Work/app.exe", "program");
  sandbox.temp().Write("scratch/Work/docs/guide.txt", "guide");
  sandbox.temp().Write("scratch/Work/docs/notes.txt", "saved later by the user");
  sandbox.temp().Write("scratch/Work/plugins/a.dll", "plugin");
  sandbox.temp().Write("scratch/Work/settings.ini", "new settings");
  sandbox.temp().Write("scratch/Work/~bvbak0.tmp", "the user's settings");
  const std::string empty = sandbox.Scratch("Empty");  // existed before, gets nothing
  const std::string log = sandbox.Scratch("logs") + "App.inst";
  const std::string sep(1, kSep);
  ASSERT_TRUE(sys::SaveUninstallLog(
      log, {sys::DirLogLine(work), sys::FolderLogLine(work + "docs" + sep), sys::FolderLogLine(work + "plugins" + sep),
            sys::BackupLogLine(work + "settings.ini", work + "~bvbak0.tmp"), sys::DirLogLine(empty)}));
  const auto replay =
      sys::ReplayUninstallLog(log, {"app.exe", "docs\\guide.txt", "plugins\\a.dll", "settings.ini"});
  EXPECT_EQ(testsupport::ReadFile(work + "report.doc"), "the user's report");
  EXPECT_EQ(testsupport::ReadFile(work + "docs" + sep + "notes.txt"), "saved later by the user");
  EXPECT_EQ(testsupport::ReadFile(work + "settings.ini"), "the user's settings");
  EXPECT_FALSE(fs::exists(work + "app.exe"));
  EXPECT_FALSE(fs::exists(work + "docs" + sep + "guide.txt"));
  EXPECT_FALSE(fs::exists(work + "plugins"));
  EXPECT_FALSE(fs::exists(work + "~bvbak0.tmp"));
  EXPECT_TRUE(sys::FolderExists(empty));
  EXPECT_EQ(replay.keptCount, 3);
  EXPECT_EQ(replay.keptFolders, sys::StringList{work});
  EXPECT_EQ(sys::KeptFilesText(replay), "3 files not installed by the program were kept in " + work + ".");
}

// An installed file that cannot be deleted is named as such, not counted
// among the user's kept files.
TEST(UninstallLog, ReplayNamesInstalledFilesItCouldNotDelete) {
  SandboxFolders sandbox;
  const std::string install = MakeInstallFolder(sandbox, "Held");
  const std::string held = install + "data" + kSep + "sub" + kSep + "readme.txt";
  const std::string log = sandbox.Scratch("logs") + "Held.inst";
  ASSERT_TRUE(sys::SaveUninstallLog(log, {sys::DirLogLine(install)}));
  sys::UninstallReplay replay;
  {
    const testsupport::UndeletableFile holder(held);
    if (!holder.Held()) GTEST_SKIP() << "nothing keeps a file from being deleted here";
    replay = sys::ReplayUninstallLog(log, {"app.exe", "data\\sub\\readme.txt"});
  }
  EXPECT_FALSE(fs::exists(install + "app.exe"));
  EXPECT_TRUE(fs::exists(held));
  EXPECT_EQ(replay.undeletedFiles, sys::StringList{held});
  EXPECT_EQ(replay.keptCount, 0);
}

// Logs are UTF-8; a byte-order mark is accepted and a line that is not
// UTF-8 is legacy 8-bit text.
TEST(UninstallLog, LinesAreReadAsUtf8OrLegacyText) {
  SandboxFolders sandbox;
  const std::string log = sandbox.Scratch("logs") + "Text.inst";
  WriteLog(log, "\xEF\xBB\xBF" "dir|/Caf\xC3\xA9/\r\nshortcut|Caf\xE9|user_desktop||\r\n");
  EXPECT_EQ(sys::LoadUninstallLog(log),
            (sys::StringList{"dir|/Caf\xC3\xA9/", "shortcut|Caf\xC3\xA9|user_desktop||"}));
}

TEST(UninstallLog, ProtectedFoldersIncludeTheCommonParentsOfPrograms) {
  SandboxFolders sandbox;
  if (!SandboxFolders::kRedirected) GTEST_SKIP() << "POSIX folders";
  for (const std::string folder : {"/opt", "/usr/local/", "/srv", "/usr"}) EXPECT_TRUE(sys::IsProtectedFolder(folder)) << folder;
  const std::string home = sandbox.temp().dir() + "home/";
  for (const std::string sub : {".config", ".local/share", "Downloads"}) EXPECT_TRUE(sys::IsProtectedFolder(home + sub)) << sub;
  EXPECT_TRUE(sys::IsProtectedFolder(sandbox.temp().dir() + "root/opt"));
  EXPECT_FALSE(sys::IsProtectedFolder("/opt/Brevion Notes"));
  EXPECT_FALSE(sys::IsProtectedFolder(home + "Downloads/tool"));
}

}  // namespace
