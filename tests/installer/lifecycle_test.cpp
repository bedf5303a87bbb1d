// The whole life of an installation: the example project built into an
// installer, opened, walked through the wizard and installed, every result
// checked, then uninstalled; and the install run's edge cases.
#include <filesystem>

#include "archive/archive.h"
#include "installer/lifecycle_fixture.h"
#include "system/associations.h"
#include "system/file_dates.h"

namespace installer::testing {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

const std::string kExampleProject = std::string(BREVION_TEST_DATA) + "/../../examples/notes";

// Every file below `folder`, relative, with "/" between levels.
std::vector<std::string> FilesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_directory()) files.push_back(fs::relative(entry.path(), folder).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST_F(LifecycleTest, ExampleBuiltInstalledAndUninstalled) {
  // Build, as "brevion build" does, with a known stub.
  const std::string stub = dir.Write("stub.bin", kStubBytes);
  const std::string package = dir.dir() + "notes-setup.exe";
  {
    ui::Form buildWindow(app::MainWindowDefinition());
    testsupport::ScriptedToolkit buildToolkit;
    auto builder = MakeRealEngine(buildWindow, buildToolkit);
    builder->Build(package, kExampleProject, "normal", stub, 0);
    ASSERT_TRUE(builder->lastBuildWritten) << buildWindow.Get("LStatusPleaseWait").text();
  }
  EXPECT_EQ(ReadFile(package).substr(0, kStubBytes.size()), kStubBytes);

  // Install through the wizard: the Intro page, the licence, a custom folder.
  const std::string install = sandbox.Scratch("Programs") + "Brevion Notes" + Sep();
  vel = MakeRealEngine(window, toolkit);
  ASSERT_TRUE(vel->OpenPackage(package));
  toolkit.QueueClick("BCustom2");  // "Install" on the Intro page
  toolkit.QueueClick("BLicenseAccept");
  toolkit.QueueClick("ROptionsCustomDir");
  toolkit.QueueSetText("EOptionsInstallDir", install);
  toolkit.QueueClick("BOptionsNext");
  toolkit.QueueAction("on Finished", [&] { EXPECT_EQ(Showing(), "PnlFinished"); });
  toolkit.QueueClick("BFinishedClose");
  toolkit.Run(window);
  EXPECT_FALSE(toolkit.ran_out_of_input);
  EXPECT_TRUE(toolkit.messages.empty()) << toolkit.MessageTexts()[0];
  EXPECT_EQ(Get("LStatusPleaseWait").text(), "Brevion Notes was successfully installed.");
  EXPECT_EQ(Get("LStatusAction").text(), "Finished!");

  // Every program file, with its date and attributes.
  const fs::path source = fs::path(kExampleProject) / "files" / "install_dir";
  const std::vector<std::string> installed = FilesBelow(install);
  EXPECT_EQ(installed, FilesBelow(source));
  for (const std::string& name : installed) {
    const std::string copy = install + name, original = (source / name).string();
    EXPECT_EQ(ReadFile(copy), ReadFile(original)) << name;
    EXPECT_EQ(sys::FileDosDateTime(copy), sys::FileDosDateTime(original)) << name;
    EXPECT_EQ(sys::AttributeLetters(copy), sys::AttributeLetters(original)) << name;
  }

  // Shortcuts by flag letters: "ds", "p" (with the uninstall shortcut), "s".
  const std::string data = DataFolder("BrevionNotes");
  struct Expected {
    std::string name, keyword, subfolder, target, arguments, icon;
  };
  const std::vector<Expected> shortcuts = {
      {"Brevion Notes", "user_desktop", "", install + "notes.cmd", "", install + "notes.ico"},
      {"Brevion Notes", "startmenu", "Brevion Notes", install + "notes.cmd", "", install + "notes.ico"},
      {"Brevion Notes", "programs", "Brevion Notes", install + "notes.cmd", "", install + "notes.ico"},
      {"Uninstall Brevion Notes", "programs", "Brevion Notes", data + "uninst3.exe",
       "uninstall \"Brevion Notes\"", ""},
      {"Brevion Notes Readme", "startmenu", "Brevion Notes", install + "Readme.txt", "", ""},
  };
  std::vector<std::string> expectedLog = {"dir|" + install};
  for (const Expected& s : shortcuts) {
    const auto link = sys::ReadShortcut(sys::ShortcutPath(s.name, s.keyword, s.subfolder));
    ASSERT_TRUE(link) << s.name << " in " << s.keyword;
    EXPECT_EQ(link->target, s.target);
    EXPECT_EQ(link->arguments, s.arguments);
    EXPECT_EQ(link->iconFile, s.icon);
    expectedLog.push_back("shortcut|" + s.name + "|" + s.keyword + "|" + s.subfolder + "|");
  }
  expectedLog.push_back("assoc|" + install + "notes.cmd|.bvnote|" + install + "notes.ico");
  const auto association = sys::GetFileAssociation(".bvnote");
  ASSERT_TRUE(association);
  EXPECT_EQ(association->openCommand, install + "notes.cmd %1");
  EXPECT_EQ(association->defaultIcon, install + "notes.ico,0");

  // The log, its side list and the uninstaller copy.
  const std::string log = data + "Brevion Notes.inst";
  EXPECT_EQ(LogLines(log), expectedLog);
  EXPECT_EQ(LogLines(data + "Brevion Notes.files"),
            (std::vector<std::string>{"notes.cmd", "notes.ico", "Readme.txt", "samples\\first.bvnote", "samples\\"}));
  EXPECT_EQ(ReadFile(data + "uninst3.exe"), kStubBytes + kTailBytes);

  // Uninstall with the log's full path, answering Yes.
  ui::Form uninstallWindow(app::MainWindowDefinition());
  testsupport::ScriptedToolkit uninstallToolkit;
  auto uninstaller = MakeRealEngine(uninstallWindow, uninstallToolkit);
  uninstaller->PrepareUninstall(log);
  uninstallToolkit.QueueClick("BUninstallYes");
  uninstallToolkit.Run(uninstallWindow);
  EXPECT_EQ(uninstallToolkit.MessageTexts(), std::vector<std::string>{"The program has been uninstalled."});
  EXPECT_FALSE(fs::exists(install));
  for (const Expected& s : shortcuts) EXPECT_FALSE(fs::exists(sys::ShortcutPath(s.name, s.keyword, s.subfolder)));
  EXPECT_FALSE(fs::exists(sys::SpecialFolderPath("programs") + "Brevion Notes"));
  EXPECT_TRUE(fs::exists(sys::SpecialFolderPath("user_desktop")));
  EXPECT_EQ(FilesBelow(data), std::vector<std::string>{"uninst3.exe"});
  EXPECT_TRUE(sys::GetFileAssociation(".bvnote")) << "associations stay";
}

TEST_F(LifecycleTest, ScriptShortcutsFollowTheirFlagLetters) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install, "StartMenuFolder=Test\r\n#shortcuts\r\n"
                                              "sd|$install_dir$a.exe|-x|A|\r\n"
                                              "D|$install_dir$b.exe||B|\r\n"
                                              "ps|$install_dir$c.exe\r\n"
                                              "xp|$install_dir$d.exe||D|$install_dir$d.ico\r\n"),
            .program = {{"a.exe", "a"}}});
  InstallInto(install);
  const std::string data = DataFolder("Test App");
  EXPECT_EQ(LogLines(data + "Test App.inst"),
            (std::vector<std::string>{"dir|" + install, "shortcut|A|user_desktop||", "shortcut|A|startmenu|Test|",
                                      "shortcut||startmenu|Test|", "shortcut||programs|Test|",
                                      "shortcut|Uninstall Test App|programs|Test|", "shortcut|D|programs|Test|",
                                      "shortcut|Uninstall Test App|programs|Test|"}));
  // A capital D is no flag; a line of two fields gets empty name and arguments.
  EXPECT_FALSE(fs::exists(sys::ShortcutPath("B", "user_desktop", "")));
  const auto a = sys::ReadShortcut(sys::ShortcutPath("A", "user_desktop", ""));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->arguments, "-x");
  EXPECT_EQ(sys::ReadShortcut(sys::ShortcutPath("D", "programs", "Test"))->iconFile, install + "d.ico");
}

TEST_F(LifecycleTest, WithoutAProgramsLineThereIsNoUninstallShortcut) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install, "#shortcuts\r\nds|$install_dir$a.exe||A|\r\n")});
  InstallInto(install);
  EXPECT_EQ(LogLines(DataFolder("Test App") + "Test App.inst"),
            (std::vector<std::string>{"dir|" + install, "shortcut|A|user_desktop||", "shortcut|A|startmenu||"}));
  EXPECT_FALSE(fs::exists(sys::ShortcutPath("Uninstall Test App", "programs", "")));
}

TEST_F(LifecycleTest, DefaultShortcutsWhenTheScriptListsNone) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install, "ProgramIcon=app.ico\r\nStartMenuFolder=Tools\\Test\r\n"),
            .program = {{"testapp.exe", "x"}}});
  InstallInto(install);
  const std::string data = DataFolder("Test App");
  EXPECT_EQ(LogLines(data + "Test App.inst"),
            (std::vector<std::string>{"dir|" + install, "shortcut|Test App|user_desktop||",
                                      "shortcut|Uninstall Test App|programs|Tools\\Test|",
                                      "shortcut|Test App|programs|Tools\\Test|"}));
  const auto program = sys::ReadShortcut(sys::ShortcutPath("Test App", "programs", "Tools\\Test"));
  ASSERT_TRUE(program);
  EXPECT_EQ(program->target, install + "testapp.exe");
  EXPECT_EQ(program->iconFile, install + "app.ico");
  const auto uninstall = sys::ReadShortcut(sys::ShortcutPath("Uninstall Test App", "programs", "Tools\\Test"));
  ASSERT_TRUE(uninstall);
  EXPECT_EQ(uninstall->target, data + "uninst3.exe");
  EXPECT_EQ(uninstall->arguments, "uninstall \"Test App\"");
  EXPECT_EQ(uninstall->iconFile, "");
  EXPECT_EQ(Showing(), "PnlFinished");
}

TEST_F(LifecycleTest, ClearedOptionBoxesLeaveOnlyTheFolderAndAssociations) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install, "UninstallerName=remove.bin\r\n#shortcuts\r\n"
                                              "dsp|$install_dir$a.exe||A|\r\n#associations\r\n"
                                              "$install_dir$a.exe|.tst|\r\n$install_dir$a.exe|TestFile|$install_dir$t.ico\r\n")});
  Get("COptionsDesktopShortcut").SetChecked(false);
  Get("COptionsStartMenuShortcut").SetChecked(false);
  InstallInto(install);
  const std::string data = DataFolder("Test App");
  EXPECT_EQ(LogLines(data + "Test App.inst"),
            (std::vector<std::string>{"dir|" + install, "assoc|" + install + "a.exe|.tst|",
                                      "assoc|" + install + "a.exe|TestFile|" + install + "t.ico"}));
  EXPECT_EQ(sys::GetFileAssociation(".tst")->defaultIcon, install + "a.exe,0");
  EXPECT_EQ(sys::GetFileAssociation("TestFile")->defaultIcon, install + "t.ico,0");
  EXPECT_EQ(ReadFile(data + "remove.bin"), kStubBytes + kTailBytes);
  EXPECT_FALSE(fs::exists(sys::SpecialFolderPath("user_desktop") + "A.lnk"));
}

TEST_F(LifecycleTest, CancelledInstallStillLeavesLogAndUninstaller) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install, "#shortcuts\r\nd|$install_dir$a.exe||A|\r\n#associations\r\n"
                                              "$install_dir$a.exe|.cnl|\r\n"),
            .program = {{"a.exe", "a"}, {"b.dat", "b"}, {"c.dat", "c"}}});
  // The first message pump comes before the extraction; Cancel lands in it.
  toolkit.QueueClickDuringWork("LStatusAction");
  toolkit.QueueClickDuringWork("BStatusCancel");
  InstallInto(install);
  EXPECT_TRUE(vel->cancelRequested);
  EXPECT_FALSE(window.closed());
  EXPECT_EQ(Showing(), "PnlStatus");
  EXPECT_EQ(Get("LStatusPleaseWait").text(), "Your installation was canceled. Your application is not ready.");
  EXPECT_EQ(Get("LStatusAction").text(), "Installation aborted.");
  EXPECT_EQ(Get("CtrlStatusProgress").position(), 0);
  EXPECT_TRUE(Get("BStatusOK").enabled());
  const std::string data = DataFolder("Test App");
  EXPECT_EQ(LogLines(data + "Test App.inst"), std::vector<std::string>{"dir|" + install});
  EXPECT_EQ(ReadFile(data + "uninst3.exe"), kStubBytes + kTailBytes);
  EXPECT_FALSE(sys::GetFileAssociation(".cnl"));
  EXPECT_LT(FilesBelow(install).size(), 3u);
}

// Files that cannot be written are no success: no shortcuts or associations
// to them, the failure on the Status panel, and still a log to uninstall
// whatever was written.
TEST_F(LifecycleTest, ExtractionThatFailsStopsTheRunAndSaysSo) {
  const std::string blocker = dir.Write("plain-file", "x");
  const std::string install = blocker + Sep() + "app" + Sep();
  OpenReal({.script = StandardScript(install, "#shortcuts\r\nd|$install_dir$a.exe||A|\r\n#associations\r\n"
                                              "$install_dir$a.exe|.fld|\r\n"),
            .program = {{"a.exe", "a"}}});
  InstallInto(install);
  EXPECT_TRUE(vel->lastExtractionFailed);
  EXPECT_FALSE(vel->cancelRequested);
  EXPECT_EQ(Showing(), "PnlStatus");
  EXPECT_EQ(Get("LStatusPleaseWait").text(), kInstallFailedText);
  EXPECT_EQ(Get("LStatusAction").text(), kInstallFailedAction);
  EXPECT_EQ(Get("CtrlStatusProgress").position(), 0);
  const std::string data = DataFolder("Test App");
  EXPECT_EQ(LogLines(data + "Test App.inst"), std::vector<std::string>{"dir|" + install});
  EXPECT_FALSE(sys::GetFileAssociation(".fld"));
  EXPECT_FALSE(fs::exists(sys::SpecialFolderPath("user_desktop") + "A.lnk"));
  // The install folder itself cannot be made (a file stands in its way):
  // the archive engine names it before any file is tried.
  EXPECT_NE(archive::Module().lastError.find(install), std::string::npos) << archive::Module().lastError;
}

TEST_F(LifecycleTest, PackageWithoutProgramFilesStillSucceeds) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install)});
  Get("COptionsReadme").SetChecked(true);  // no readme file: no panel is shown
  InstallInto(install);
  EXPECT_EQ(Get("LStatusPleaseWait").text(), "Test App was successfully installed.");
  EXPECT_EQ(Get("LStatusAction").text(), "Finished!");
  EXPECT_EQ(vel->currentPanel, "Readme");
  EXPECT_EQ(LogLines(DataFolder("Test App") + "Test App.inst").front(), "dir|" + install);
}

TEST_F(LifecycleTest, ReadmeIsShownWhenTicked) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install, "ReadmeAvailable=true\r\n"), .program = {{"Readme.txt", "hello"}}});
  Get("COptionsReadme").SetChecked(true);
  InstallInto(install);
  EXPECT_EQ(Showing(), "PnlCustom");
  EXPECT_EQ(toolkit.navigations.back(), "XCustomHTML -> " + install + "Readme.txt");
}

}  // namespace
}  // namespace installer::testing
