// Uninstall mode: finding the log, the question on the Uninstall panel, the
// replay, and folders that may never go as a whole.
#include <filesystem>

#include "installer/lifecycle_fixture.h"

namespace installer::testing {
namespace {

namespace fs = std::filesystem;

class UninstallTest : public LifecycleTest {
 protected:
  void SetUp() override {
    LifecycleTest::SetUp();
    if (IsSkipped()) return;
    vel = MakeRealEngine(window, toolkit);
  }

  // Writes a log with `lines` (each ended by CR LF) and returns its path.
  std::string WriteLog(const std::string& name, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return dir.Write("data/" + name, text);
  }
};

// Cases that write below no folder keyword.
class UninstallQuestionTest : public UninstallTest {
 protected:
  UninstallQuestionTest() { touchesSpecialFolders = false; }
};

TEST_F(UninstallQuestionTest, PrepareShowsTheQuestionForAFullLogPath) {
  const std::string log = WriteLog("My App.inst", {});
  EXPECT_TRUE(vel->PrepareUninstall(log));
  EXPECT_EQ(vel->ArchivePath(), log);
  EXPECT_EQ(vel->Mode(), "uninstall");
  EXPECT_EQ(vel->GetSettingValue("ProgramName"), "My App");
  EXPECT_EQ(Get("LUninstallProgramName").text(), "My App");
  EXPECT_EQ(window.caption(), "Uninstalling My App");
  EXPECT_EQ(Get("LUninstallQuestion").text(), "This program will uninstall My App. Are you sure you wish to continue?");
  EXPECT_EQ(Showing(), "PnlUninstall");
}

TEST_F(UninstallQuestionTest, ANameWithOrWithoutADotLooksBesideTheProgram) {
  vel->PrepareUninstall("My App");
  EXPECT_EQ(vel->ArchivePath(), sys::ExeFolder() + "My App.inst");
  vel->PrepareUninstall("Notes 2.0");
  EXPECT_EQ(vel->ArchivePath(), sys::ExeFolder() + "Notes 2.0.inst");
  EXPECT_EQ(vel->GetSettingValue("ProgramName"), "Notes 2.0");
}

// Uninstalled already: the uninstaller says so, touches nothing and ends.
TEST_F(UninstallQuestionTest, MissingLogSaysTheProgramIsNotInstalled) {
  toolkit.ShowForm(window);
  vel->PrepareUninstall(dir.dir() + "gone.inst");
  EXPECT_TRUE(vel->Outcome()->notInstalled);
  EXPECT_EQ(vel->Failure().kind, sys::FailureKind::NotInstalled);
  EXPECT_TRUE(window.closed());
  EXPECT_EQ(toolkit.MessageTexts(), std::vector<std::string>{NotInstalledMessage("gone", dir.dir() + "gone.inst")});
  EXPECT_FALSE(vel->RunUninstall());
}

TEST_F(UninstallQuestionTest, NoClosesWithoutTouchingTheLog) {
  const std::string install = sandbox.Scratch("app");
  const std::string log = WriteLog("App.inst", {"dir|" + install});
  toolkit.ShowForm(window);
  vel->PrepareUninstall(log);
  toolkit.QueueClick("BUninstallNo");
  toolkit.Run(window);
  EXPECT_TRUE(fs::exists(log));
  EXPECT_TRUE(fs::exists(install));
  EXPECT_TRUE(toolkit.messages.empty());
}

TEST_F(UninstallTest, OnlyDirAndShortcutLinesAreReplayed) {
  const std::string install = sandbox.Scratch("app");
  const std::string other = sandbox.Scratch("other");
  dir.Write("scratch/app/sub/a.txt", "a");
  ASSERT_TRUE(sys::CreateShortcut(install + "a.exe", "", "A", "user_desktop", "", ""));
  ASSERT_TRUE(sys::CreateShortcut(install + "a.exe", "", "B", "user_desktop", "", ""));
  const std::string log = WriteLog("App.inst", {"  dir|" + install + "  ", "folder|" + install, "folder|" + install + "sub",
                                                "", "Dir|" + other, "SHORTCUT|B|user_desktop||",
                                                "assoc|x|.abc|", "shortcut|A|user_desktop||", "dir|" + sandbox.Scratch("") + "never"});
  dir.Write("data/App.files", "sub\\a.txt\r\n");
  vel->PrepareUninstall(log);
  EXPECT_TRUE(vel->RunUninstall());
  EXPECT_FALSE(fs::exists(install));
  EXPECT_TRUE(fs::exists(other));
  EXPECT_FALSE(fs::exists(sys::ShortcutPath("A", "user_desktop", "")));
  EXPECT_TRUE(fs::exists(sys::ShortcutPath("B", "user_desktop", "")));
  EXPECT_FALSE(fs::exists(log));
  EXPECT_EQ(toolkit.MessageTexts(), std::vector<std::string>{"The program has been uninstalled."});
}

TEST_F(UninstallQuestionTest, LogOfOnlyAssociationsIsDeletedWithTheMessage) {
  const std::string log = WriteLog("Assoc.inst", {"assoc|/x/a|.abc|", "assoc|/x/a|.def|/x/i.ico"});
  vel->PrepareUninstall(log);
  EXPECT_TRUE(vel->RunUninstall());
  EXPECT_FALSE(fs::exists(log));
  EXPECT_EQ(toolkit.MessageTexts(), std::vector<std::string>{"The program has been uninstalled."});
  EXPECT_FALSE(vel->RunUninstall()) << "a second run finds no log";
}

// An installation into the home folder or a keyword folder: the uninstall
// removes what the package put there and nothing else.
TEST_F(UninstallTest, ProtectedFoldersLoseOnlyTheInstalledFiles) {
  for (const std::string& keyword : {std::string("home"), std::string("user_documents"), std::string("appdata")}) {
    SCOPED_TRACE(keyword);
    const std::string target =
        keyword == "home" ? sys::IncludeTrailingSeparator(sandbox.temp().dir() + "home") : sys::SpecialFolderPath(keyword);
    sys::CreateFolders(target);
    const std::string mine = target + "mine.txt";
    sandbox.temp().Write(fs::relative(mine, sandbox.temp().path()).string(), "the user's own file");
    OpenReal({.script = StandardScript(target), .program = {{"app.exe", "a"}, {"docs/guide.txt", "g"}}});
    InstallInto(target);
    ASSERT_TRUE(fs::exists(target + "docs/guide.txt"));
    const std::string log = DataFolder("Test App") + "Test App.inst";
    ASSERT_TRUE(fs::exists(log));
    vel->PrepareUninstall(log);
    EXPECT_TRUE(vel->RunUninstall());
    EXPECT_TRUE(fs::exists(target));
    EXPECT_TRUE(fs::exists(mine));
    EXPECT_FALSE(fs::exists(target + "app.exe"));
    EXPECT_FALSE(fs::exists(target + "docs"));
    EXPECT_FALSE(fs::exists(log));
    EXPECT_FALSE(fs::exists(DataFolder("Test App") + "Test App.files"));
    fs::remove(mine);
  }
}

TEST_F(UninstallTest, SideListNeverReachesOutsideTheFolder) {
  const std::string home = sys::IncludeTrailingSeparator(sandbox.temp().dir() + "home");
  const std::string outside = dir.Write("outside.txt", "keep");
  const std::string inside = sandbox.temp().Write("home/app.exe", "a");
  const std::string log = WriteLog("Evil.inst", {"dir|" + home});
  dir.Write("data/Evil.files", "../../outside.txt\r\n" + outside + "\r\napp.exe\r\n..\\\r\n");
  vel->PrepareUninstall(log);
  EXPECT_TRUE(vel->RunUninstall());
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_TRUE(fs::exists(home));
  EXPECT_FALSE(fs::exists(inside));
  EXPECT_FALSE(fs::exists(dir.dir() + "data/Evil.files"));
}

// A folder of the installation that is a link by the time of the uninstall:
// nothing below it goes, the rest does, and the run ends with a warning
// that names it instead of plain success.
TEST_F(UninstallQuestionTest, AFolderTurnedIntoALinkIsNamedAndTheRunIsNoPlainSuccess) {
  const std::string install = sys::IncludeTrailingSeparator(dir.dir() + "app");
  const std::string kept = dir.Write("outside/a.txt", "not the program's");
  dir.Write("app/app.exe", "program");
  std::error_code refused;
  fs::create_directory_symlink(dir.path() / "outside", dir.path() / "app" / "sub", refused);
  if (refused) GTEST_SKIP() << "symbolic links cannot be made here: " << refused.message();
  const std::string log = WriteLog("App.inst", {"dir|" + install, "folder|" + install});
  dir.Write("data/App.files", "app.exe\r\nsub\\a.txt\r\n");
  vel->PrepareUninstall(log);
  EXPECT_TRUE(vel->RunUninstall());
  EXPECT_TRUE(fs::exists(kept));
  EXPECT_FALSE(fs::exists(install + "app.exe"));
  EXPECT_EQ(vel->Failure().kind, sys::FailureKind::Unsafe);
  EXPECT_EQ(toolkit.MessageTexts(),
            std::vector<std::string>{std::string(kUninstalledMessage) + "\n" + SkippedLinksText({install + "sub"})});
  EXPECT_NE(SkippedLinksText({install + "sub"}).find(install + "sub"), std::string::npos);
}

// An installed file another program holds: the rest goes, and the run
// names the file and ends as a failure, not as a success with files kept.
TEST_F(UninstallQuestionTest, AnInstalledFileThatCannotBeDeletedIsNamedAndTheRunFails) {
  const std::string install = sys::IncludeTrailingSeparator(dir.dir() + "app");
  dir.Write("app/app.exe", "program");
  const std::string held = sys::ToNativeSeparators(dir.Write("app/lib/core.dll", "library"));
  const std::string log = WriteLog("App.inst", {"dir|" + install, "folder|" + install});
  dir.Write("data/App.files", "app.exe\r\nlib\\core.dll\r\n");
  vel->PrepareUninstall(log);
  {
    const testsupport::UndeletableFile holder(held);
    if (!holder.Held()) GTEST_SKIP() << "nothing keeps a file from being deleted here";
    EXPECT_TRUE(vel->RunUninstall());
  }
  EXPECT_FALSE(fs::exists(install + "app.exe"));
  EXPECT_EQ(vel->Failure().kind, sys::FailureKind::Io);
  EXPECT_EQ(vel->Failure().path, held);
  EXPECT_EQ(toolkit.MessageTexts(),
            std::vector<std::string>{std::string(kUninstalledMessage) + "\n" + UndeletedFilesText({held})});
  EXPECT_NE(UndeletedFilesText({held}).find(held), std::string::npos);
}

}  // namespace
}  // namespace installer::testing
