// The whole life of an installation: the example project built into an
// installer, opened, walked through the wizard and installed, every result
// checked, then uninstalled; and the install run's edge cases.
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "archive/archive.h"
#include "compression/block_pool.h"
#include "installer/lifecycle_fixture.h"
#include "system/apps_entry.h"
#include "system/associations.h"
#include "system/file_dates.h"

namespace installer::testing {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
const std::string kExt = sys::platform::kShortcutExtension;

const std::string kExampleProject = std::string(BREVION_TEST_DATA) + "/../../examples/notes";

// Sets an environment variable for one scope ("" unsets it); POSIX only.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
#ifndef _WIN32
    if (const char* old = getenv(name)) old_ = old;
    if (value.empty()) unsetenv(name);
    else setenv(name, value.c_str(), 1);
#endif
    (void)value;
  }
  ~ScopedEnvironment() {
#ifndef _WIN32
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
#endif
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Waits for a file that a started program writes; it runs on its own.
bool AppearsSoon(const std::string& file) {
  for (int i = 0; i < 500 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return fs::exists(file);
}

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
    ASSERT_TRUE(builder->LastBuildWritten()) << buildWindow.Get("LStatusPleaseWait").text();
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
  // "Launch application when finished": the example's program opens its
  // readme in the user's editor, here a script that says what it was given.
  const bool launches = sys::PathSeparator() == '/';
  const std::string launched = dir.dir() + "launched.txt";
  ScopedEnvironment editor("EDITOR", launches ? dir.Write("editor.sh", "#!/bin/sh\nprintf '%s|%s' \"$PWD\" \"$1\" > \"" +
                                                                         launched + ".tmp\"\nmv \"" + launched + ".tmp\" \"" +
                                                                         launched + "\"\n")
                                                 : "");
  if (launches) {
    fs::permissions(dir.dir() + "editor.sh", fs::perms::owner_all);
    toolkit.QueueClick("COptionsLaunch");
  }
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

  if (launches) {
    EXPECT_TRUE(AppearsSoon(launched)) << "the installed program did not run";
    EXPECT_EQ(ReadFile(launched), sys::ExcludeTrailingSeparator(install) + "|" + install + "Readme.txt");
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
  std::vector<std::string> expectedLog = {"dir|" + install, "version|1.2", "folder|" + install,
                                          "folder|" + install + "samples" + Sep()};
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
  expectedLog.push_back("apps|BrevionNotes|machine");  // the installed-programs entry
  EXPECT_EQ(LogLines(log), expectedLog);
  EXPECT_EQ(LogLines(data + "Brevion Notes.files"),
            (std::vector<std::string>{"notes.cmd", "notes.ico", "Readme.txt", "samples\\first.bvnote"}));
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
#ifdef _WIN32
  EXPECT_TRUE(sys::GetFileAssociation(".bvnote")) << "associations stay";
#else
  EXPECT_FALSE(sys::GetFileAssociation(".bvnote")) << "the desktop's database forgets the program";
#endif
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
            (std::vector<std::string>{"dir|" + install, "version|2.5", "shortcut|A|user_desktop||", "shortcut|A|startmenu|Test|",
                                      "shortcut||startmenu|Test|", "shortcut||programs|Test|",
                                      "shortcut|Uninstall Test App|programs|Test|", "shortcut|D|programs|Test|",
                                      "shortcut|Uninstall Test App|programs|Test|", "apps|Test App|machine"}));
  // A capital D is no flag; a line of two fields gets empty name and arguments.
  EXPECT_FALSE(fs::exists(sys::ShortcutPath("B", "user_desktop", "")));
  const auto a = sys::ReadShortcut(sys::ShortcutPath("A", "user_desktop", ""));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->arguments, "-x");
  EXPECT_EQ(sys::ReadShortcut(sys::ShortcutPath("D", "programs", "Test"))->iconFile, install + "d.ico");
}

// Execute permission travels in the package: what was executable in the
// project is executable once installed, nothing else is.
TEST_F(LifecycleTest, ExecutableFilesOfThePackageStayExecutable) {
  if (sys::PathSeparator() != '/') GTEST_SKIP() << "Windows runs files by their extension";
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install),
            .program = {{"testapp.exe", "x"}, {"bin/tool", "t"}, {"bin/sub/more", "m"}, {"lib/data", "d"}},
            .executable = {"testapp.exe", "bin/tool", "bin/sub/more"}});
  InstallInto(install);
  auto runnable = [&](const std::string& name) {
    return (fs::status(install + name).permissions() & fs::perms::owner_exec) != fs::perms::none;
  };
  EXPECT_TRUE(runnable("testapp.exe"));
  EXPECT_TRUE(runnable("bin/tool"));
  EXPECT_TRUE(runnable("bin/sub/more"));
  EXPECT_FALSE(runnable("lib/data"));
}

TEST_F(LifecycleTest, WithoutAProgramsLineThereIsNoUninstallShortcut) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install, "#shortcuts\r\nds|$install_dir$a.exe||A|\r\n")});
  InstallInto(install);
  EXPECT_EQ(LogLines(DataFolder("Test App") + "Test App.inst"),
            (std::vector<std::string>{"dir|" + install, "version|2.5", "shortcut|A|user_desktop||", "shortcut|A|startmenu||",
                                      "apps|Test App|machine"}));
  EXPECT_FALSE(fs::exists(sys::ShortcutPath("Uninstall Test App", "programs", "")));
}

TEST_F(LifecycleTest, DefaultShortcutsWhenTheScriptListsNone) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install, "ProgramIcon=app.ico\r\nStartMenuFolder=Tools\\Test\r\n"),
            .program = {{"testapp.exe", "x"}}});
  InstallInto(install);
  const std::string data = DataFolder("Test App");
  EXPECT_EQ(LogLines(data + "Test App.inst"),
            (std::vector<std::string>{"dir|" + install, "version|2.5", "shortcut|Test App|user_desktop||",
                                      "shortcut|Uninstall Test App|programs|Tools\\Test|",
                                      "shortcut|Test App|programs|Tools\\Test|", "apps|Test App|machine"}));
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
            (std::vector<std::string>{"dir|" + install, "version|2.5", "assoc|" + install + "a.exe|.tst|",
                                      "assoc|" + install + "a.exe|TestFile|" + install + "t.ico",
                                      "apps|Test App|machine"}));
  EXPECT_EQ(sys::GetFileAssociation(".tst")->defaultIcon, install + "a.exe,0");
  EXPECT_EQ(sys::GetFileAssociation("TestFile")->defaultIcon, install + "t.ico,0");
  EXPECT_EQ(ReadFile(data + "remove.bin"), kStubBytes + kTailBytes);
  EXPECT_FALSE(fs::exists(sys::SpecialFolderPath("user_desktop") + "A" + kExt));
}

// Every file below `folder` with its content, and every folder (ending in
// "/"): what "the system as it was" means to the tests below.
std::map<std::string, std::string> TreeOf(const fs::path& folder, const std::string& skip = "") {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).generic_string() + (entry.is_directory() ? "/" : "");
    if (!skip.empty() && name.starts_with(skip)) continue;
    tree[name] = entry.is_directory() ? "" : ReadFile(entry.path().string());
  }
  return tree;
}

// A user's folder that a package installs into: a file of the user's, and
// an older copy of a file the package replaces.
class RollbackTest : public LifecycleTest {
 protected:
  void SetUp() override {
    LifecycleTest::SetUp();
    if (IsSkipped()) return;
    sys::CreateFolders(sys::SpecialFolderPath("appdata"));  // a system has one before any installation
    install = sandbox.Scratch("Work");
    sandbox.temp().Write("scratch/Work/report.doc", "the user's report");
    const std::string old = sandbox.temp().Write("scratch/Work/b.dat", "the user's older b");
    fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
    std::map<std::string, std::string> program;
    for (const char* name : {"a.exe", "b.dat", "c.dat", "docs/d.txt", "docs/deep/e.txt", "f.dat", "g.dat"})
      program[name] = std::string("content of ") + name;
    OpenReal({.script = StandardScript(install, "#shortcuts\r\nd|$install_dir$a.exe||A|\r\n"), .program = program});
    before = TreeOf(sandbox.temp().path());
  }

  // The sandbox as it was before the installation.
  void ExpectAsBefore(const std::string& skip = "") {
    auto now = TreeOf(sandbox.temp().path(), skip);
    if (!skip.empty()) std::erase_if(before, [&](const auto& item) { return item.first.starts_with(skip); });
    EXPECT_EQ(now, before);
  }

  // Replays an uninstall log as the uninstaller would, in an engine of its own.
  bool Uninstall(const std::string& log) {
    ui::Form uninstallWindow(app::MainWindowDefinition());
    testsupport::ScriptedToolkit uninstallToolkit;
    auto uninstaller = MakeRealEngine(uninstallWindow, uninstallToolkit);
    uninstaller->PrepareUninstall(log);
    return uninstaller->RunUninstall();
  }

#ifndef _WIN32
  // In a child process, installs `program` into `folder` as an upgrade and
  // is killed once `files` files went in. True when the child was killed.
  bool UpgradeKilledAfter(int files, const std::string& folder, const std::map<std::string, std::string>& program) {
    const pid_t child = fork();
    if (child == 0) {
      compression::SetWorkerCount(1);
      fs::remove_all(dir.path() / "project");
      OpenReal({.script = StandardScript(folder, ""), .program = program});
      for (int i = 0; i < files; ++i) toolkit.QueueClickDuringWork("LStatusAction");
      toolkit.QueueActionDuringWork("kill -9", [] { std::raise(SIGKILL); });
      InstallInto(folder);
      _exit(0);  // the run ended before it was killed
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFSIGNALED(status);
  }
#endif

  std::string install;
  std::map<std::string, std::string> before;
};

TEST_F(RollbackTest, CancelOnTheStatusPanelUndoesEverything) {
  for (int i = 0; i < 5; ++i) toolkit.QueueClickDuringWork("LStatusAction");  // a few files go in
  toolkit.QueueClickDuringWork("BStatusCancel");
  InstallInto(install);
  EXPECT_EQ(vel->Outcome()->install, InstallOutcome::Cancelled);
  EXPECT_EQ(Get("LStatusAction").text(), "Installation aborted.");
  ExpectAsBefore();
}

// Cancel as the Status panel appears, before the first extraction: the run
// stops there, and the window stays to say so.
TEST_F(RollbackTest, CancelBeforeTheFirstFileStopsTheRun) {
  toolkit.QueueClickDuringWork("BStatusCancel");
  InstallInto(install);
  EXPECT_EQ(vel->Outcome()->install, InstallOutcome::Cancelled);
  EXPECT_FALSE(window.closed());
  EXPECT_EQ(Get("LStatusAction").text(), "Installation aborted.");
  ExpectAsBefore();
}

// A file that cannot be written half way (a folder has its name): the run
// fails and undoes what it did.
TEST_F(RollbackTest, AFailureHalfWayUndoesEverything) {
  fs::create_directories(install + "f.dat");
  fs::last_write_time(install + "f.dat", fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
  before = TreeOf(sandbox.temp().path());
  InstallInto(install);
  EXPECT_EQ(vel->Outcome()->install, InstallOutcome::Failed);
  EXPECT_EQ(Get("LStatusAction").text(), kInstallFailedAction);
  ExpectAsBefore();
}

#ifndef _WIN32
TEST_F(RollbackTest, AnInterruptionUndoesEverythingAndEndsTheRun) {
  toolkit.ShowForm(window);
  for (int i = 0; i < 4; ++i) toolkit.QueueClickDuringWork("LStatusAction");
  toolkit.QueueActionDuringWork("SIGINT", [] { std::raise(SIGINT); });
  InstallInto(install);
  EXPECT_EQ(vel->Outcome()->install, InstallOutcome::Cancelled);
  EXPECT_TRUE(window.closed());
  ExpectAsBefore();
}

// Killed at several points, the installation leaves a log that the
// uninstaller replays to the state before it (its data folder aside,
// which an uninstaller keeps).
TEST_F(RollbackTest, KilledAtAnyPointTheLogUninstallsWhatWasDone) {
  const std::string data = DataFolder("Test App");
  const std::string dataName =
      fs::relative(sys::ExcludeTrailingSeparator(data), sandbox.temp().path()).generic_string() + "/";
  for (int stopAt : {1, 3, 5, 7, 9, 12}) {
    SCOPED_TRACE(stopAt);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      compression::SetWorkerCount(1);
      for (int i = 1; i < stopAt; ++i) toolkit.QueueClickDuringWork("LStatusAction");
      toolkit.QueueActionDuringWork("kill -9", [] { std::raise(SIGKILL); });
      InstallInto(install);
      _exit(0);  // the run ended before the Nth step
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (fs::exists(data + "Test App.inst")) {
      EXPECT_TRUE(Uninstall(data + "Test App.inst"));
    }
    ExpectAsBefore(dataName);
    EXPECT_TRUE(FilesBelow(data).empty() || FilesBelow(data) == std::vector<std::string>{"uninst3.exe"});
  }
}

#ifndef _WIN32
// New files of a folder the run made are listed a run at a time, ahead of
// their writing: killed between two of them, the list names files that were
// never written, and the uninstaller passes over them.
TEST_F(RollbackTest, KilledWithinARunOfListedFilesTheUninstallPassesOverTheMissingOnes) {
  const std::string data = DataFolder("Test App");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    compression::SetWorkerCount(1);
    fs::remove_all(dir.path() / "project");
    OpenReal({.script = StandardScript(install, ""), .program = {{"lib/one", "1"}, {"lib/two", "2"}, {"lib/three", "3"}}});
    archive::Module().afterFileWritten = [](size_t written) {
      if (written == 1) std::raise(SIGKILL);
    };
    InstallInto(install);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_NE(ReadFile(data + "Test App.files").find("lib\\three"), std::string::npos);
  EXPECT_FALSE(fs::exists(fs::path(install) / "lib" / "three"));
  EXPECT_TRUE(Uninstall(data + "Test App.inst"));
  EXPECT_FALSE(fs::exists(fs::path(install) / "lib"));
  EXPECT_EQ(FilesBelow(install), (std::vector<std::string>{"b.dat", "report.doc"}));
}
#endif

// An upgrade into another folder killed half way: the earlier installation
// is as it was and stays uninstallable, and the uninstall removes the new
// folder's partial files with it.
TEST_F(RollbackTest, AnUpgradeIntoAnotherFolderKilledHalfWayLeavesBothUninstallable) {
  const std::string data = DataFolder("Test App");
  const std::string other = sys::IncludeTrailingSeparator(sandbox.temp().dir() + "Other");
  for (int stopAt : {2, 4}) {
    SCOPED_TRACE(stopAt);
    InstallInto(install);
    ASSERT_EQ(vel->Outcome()->install, InstallOutcome::Installed);
    const auto installed = TreeOf(install);
    ASSERT_TRUE(UpgradeKilledAfter(stopAt - 1, other,
                                   {{"a.exe", "2"}, {"b.dat", "2"}, {"n1", "2"}, {"n2", "2"}, {"n3", "2"}}));
    EXPECT_EQ(TreeOf(install), installed);
    EXPECT_TRUE(fs::exists(other));
    EXPECT_TRUE(Uninstall(data + "Test App.inst"));
    EXPECT_EQ(FilesBelow(install), std::vector<std::string>{"report.doc"});
    EXPECT_FALSE(fs::exists(other));
    EXPECT_TRUE(FilesBelow(data).empty() || FilesBelow(data) == std::vector<std::string>{"uninst3.exe"});
    fs::remove_all(dir.path() / "project");
    OpenReal({.script = StandardScript(install, "#shortcuts\r\nd|$install_dir$a.exe||A|\r\n"),
              .program = {{"a.exe", "1"}, {"docs/d.txt", "1"}}});
  }
}

// An upgrade in place killed before it recorded its installed-programs
// entry: the log it leaves still names the earlier one, which goes with
// the uninstall.
TEST_F(RollbackTest, AnUpgradeInPlaceKilledHalfWayStillUninstallsTheEntry) {
  const std::string data = DataFolder("Test App");
  InstallInto(install);
  ASSERT_EQ(vel->Outcome()->install, InstallOutcome::Installed);
  ASSERT_TRUE(sys::platform::ReadAppsEntry(sys::InstallScope::Machine, "Test App"));
  ASSERT_TRUE(UpgradeKilledAfter(2, install, {{"a.exe", "2"}, {"n1", "2"}, {"n2", "2"}}));
  EXPECT_TRUE(Uninstall(data + "Test App.inst"));
  EXPECT_FALSE(sys::platform::ReadAppsEntry(sys::InstallScope::Machine, "Test App"));
}
#endif

// A user's files in the folder, before and after the installation, stay;
// the end message says how many.
TEST_F(RollbackTest, UninstallKeepsWhatTheUserHadAndSavedAndSaysSo) {
  InstallInto(install);
  ASSERT_EQ(vel->Outcome()->install, InstallOutcome::Installed);
  sandbox.temp().Write("scratch/Work/docs/my notes.txt", "saved after the install");
  ui::Form uninstallWindow(app::MainWindowDefinition());
  testsupport::ScriptedToolkit uninstallToolkit;
  auto uninstaller = MakeRealEngine(uninstallWindow, uninstallToolkit);
  uninstaller->PrepareUninstall(DataFolder("Test App") + "Test App.inst");
  EXPECT_TRUE(uninstaller->RunUninstall());
  EXPECT_EQ(ReadFile(install + "report.doc"), "the user's report");
  EXPECT_EQ(ReadFile(install + "docs" + Sep() + "my notes.txt"), "saved after the install");
  EXPECT_EQ(FilesBelow(install), (std::vector<std::string>{"docs/my notes.txt", "report.doc"}));
  EXPECT_EQ(uninstallToolkit.MessageTexts(),
            std::vector<std::string>{std::string(kUninstalledMessage) +
                                     "\n2 files not installed by the program were kept in " + install + "."});
}

// Version 2 over version 1: the earlier files go whatever their dates,
// files it no longer has are removed, one log remains; version 1 again is
// refused when nobody agrees.
TEST_F(LifecycleTest, UpgradeReplacesAndDropsAndADowngradeIsRefused) {
  const std::string install = sandbox.Scratch("Programs") + "App" + Sep();
  OpenReal({.script = StandardScript(install, "Version=1.0\r\n"),
            .program = {{"a.txt", "a1"}, {"old.txt", "dropped in 2"}, {"docs/x.txt", "x1"}}});
  InstallInto(install);
  fs::last_write_time(install + "a.txt", fs::file_time_type::clock::now() + std::chrono::hours(48));
  const std::string log = DataFolder("Test App") + "Test App.inst";
  fs::remove_all(dir.path() / "project");
  OpenReal({.script = StandardScript("/elsewhere/", "Version=2.0\r\n"), .program = {{"a.txt", "a2"}, {"new.txt", "n"}}});
  EXPECT_EQ(vel->GetSettingValue("install_dir"), install) << "the earlier folder is proposed";
  InstallInto(install);
  EXPECT_EQ(vel->Outcome()->install, InstallOutcome::Installed);
  EXPECT_EQ(FilesBelow(install), (std::vector<std::string>{"a.txt", "new.txt"}));
  EXPECT_EQ(ReadFile(install + "a.txt"), "a2");
  const std::vector<std::string> lines = LogLines(log);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
            (std::vector<std::string>{"dir|" + install, "version|2.0", "folder|" + install,
                                      "shortcut|Test App|user_desktop||"}));
  EXPECT_EQ(LogLines(sys::InstalledFilesListPath(log)), (std::vector<std::string>{"a.txt", "new.txt"}));

  fs::remove_all(dir.path() / "project");
  OpenReal({.script = StandardScript(install, "Version=1.0\r\n"), .program = {{"a.txt", "a1"}}});
  toolkit.QueueClick("BIntroInstall");
  toolkit.QueueClick("BLicenseAccept");
  toolkit.QueueClick("BOptionsNext");
  toolkit.Run(window);
  EXPECT_EQ(vel->Outcome()->install, InstallOutcome::DowngradeRefused);
  EXPECT_EQ(ReadFile(install + "a.txt"), "a2");
  EXPECT_EQ(LogLines(log).at(1), "version|2.0");
}

// A folder typed without its closing separator is the same folder for the
// shortcuts, the associations and the log.
TEST_F(LifecycleTest, AFolderWithoutItsSeparatorIsCompletedOnce) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install, "#associations\r\n$install_dir$testapp.exe|.sep|\r\n"),
            .program = {{"testapp.exe", "x"}}});
  InstallInto(sys::ExcludeTrailingSeparator(install));
  EXPECT_EQ(vel->InstallFolder(), install);
  EXPECT_EQ(sys::ReadShortcut(sys::ShortcutPath("Test App", "user_desktop", ""))->target, install + "testapp.exe");
  EXPECT_EQ(sys::GetFileAssociation(".sep")->openCommand, install + "testapp.exe %1");
  EXPECT_EQ(LogLines(DataFolder("Test App") + "Test App.inst").front(), "dir|" + install);
}

// Files that cannot be written are no success: no shortcuts or associations
// to them, the failure on the Status panel, and nothing left behind.
TEST_F(LifecycleTest, ExtractionThatFailsStopsTheRunAndSaysSo) {
  const std::string blocker = dir.Write("plain-file", "x");
  const std::string install = blocker + Sep() + "app" + Sep();
  OpenReal({.script = StandardScript(install, "#shortcuts\r\nd|$install_dir$a.exe||A|\r\n#associations\r\n"
                                              "$install_dir$a.exe|.fld|\r\n"),
            .program = {{"a.exe", "a"}}});
  InstallInto(install);
  EXPECT_EQ(vel->Outcome()->install, InstallOutcome::Failed);
  EXPECT_FALSE(vel->CancelRequested());
  EXPECT_EQ(Showing(), "PnlStatus");
  EXPECT_EQ(Get("LStatusPleaseWait").text(), kInstallFailedText);
  EXPECT_EQ(Get("LStatusAction").text(), kInstallFailedAction);
  EXPECT_EQ(Get("CtrlStatusProgress").position(), 0);
  EXPECT_FALSE(fs::exists(DataFolder("Test App")));
  EXPECT_FALSE(sys::GetFileAssociation(".fld"));
  EXPECT_FALSE(fs::exists(sys::SpecialFolderPath("user_desktop") + "A" + kExt));
  // The install folder itself cannot be made (a file stands in its way):
  // the archive engine names it before any file is tried.
  EXPECT_NE(archive::Module().lastError.find(install), std::string::npos) << archive::Module().lastError;
}

TEST_F(LifecycleTest, PackageWithoutProgramFilesStillSucceeds) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install)});
  Get("COptionsReadme").SetChecked(true);  // no readme file: on to Finished
  InstallInto(install);
  EXPECT_EQ(Get("LStatusPleaseWait").text(), "Test App was successfully installed.");
  EXPECT_EQ(Get("LStatusAction").text(), "Finished!");
  EXPECT_EQ(Showing(), "PnlFinished");
  EXPECT_EQ(LogLines(DataFolder("Test App") + "Test App.inst").front(), "dir|" + install);
}

TEST_F(LifecycleTest, NamesOutsideTheAnsiCodePageInstallAndUninstallCleanly) {
  const std::map<std::string, std::string> program = {
      {"café.txt", "1"}, {"Łódź/żółw.txt", "2"}, {"日本語/ファイル.txt", "3"}};
  for (const std::string& install : {sandbox.Scratch("Programme") + "Ünïcödé" + Sep(), sandbox.Scratch("アプリ")}) {
    SCOPED_TRACE(install);
    OpenReal({.script = "#variables\r\nProgramName=ノート\r\nDisplayName=ノート Łódź\r\nProgramExe=café.txt\r\n"
                        "StartMenuFolder=Łódź\r\ninstall_dir=" + install + "\r\n#shortcuts\r\n"
                        "dp|$install_dir$日本語\\ファイル.txt||ファイル żółw|$install_dir$café.txt\r\n",
              .program = program});
    InstallInto(install);
    EXPECT_EQ(Get("LStatusPleaseWait").text(), "ノート Łódź was successfully installed.");
    EXPECT_EQ(FilesBelow(install), (std::vector<std::string>{"café.txt", "Łódź/żółw.txt", "日本語/ファイル.txt"}));
    const std::string target = install + "日本語" + Sep() + "ファイル.txt";
    for (const auto& [keyword, subfolder] : {std::pair{"user_desktop", ""}, std::pair{"programs", "Łódź"}}) {
      const auto link = sys::ReadShortcut(sys::ShortcutPath("ファイル żółw", keyword, subfolder));
      ASSERT_TRUE(link) << keyword;
      EXPECT_EQ(link->target, target);
      EXPECT_EQ(link->iconFile, install + "café.txt");
    }
    const std::string log = DataFolder("ノート") + "ノート Łódź.inst";
    ASSERT_TRUE(sys::FileExists(log));

    ui::Form uninstallWindow(app::MainWindowDefinition());
    testsupport::ScriptedToolkit uninstallToolkit;
    auto uninstaller = MakeRealEngine(uninstallWindow, uninstallToolkit);
    uninstaller->PrepareUninstall(log);
    EXPECT_EQ(uninstallWindow.caption(), "Uninstalling ノート Łódź");
    uninstallToolkit.QueueClick("BUninstallYes");
    uninstallToolkit.Run(uninstallWindow);
    EXPECT_EQ(uninstallToolkit.MessageTexts(), std::vector<std::string>{"The program has been uninstalled."});
    // A folder the installation made goes; one that was there before stays, empty.
    EXPECT_TRUE(!fs::exists(install) || fs::is_empty(install));
    EXPECT_FALSE(fs::exists(sys::ShortcutPath("ファイル żółw", "user_desktop", "")));
    EXPECT_FALSE(fs::exists(sys::SpecialFolderPath("programs") + "Łódź"));
    EXPECT_FALSE(fs::exists(log));
  }
}

TEST_F(LifecycleTest, ReadmeIsShownWhenTicked) {
  const std::string install = sandbox.Scratch("app");
  OpenReal({.script = StandardScript(install, "ReadmeAvailable=true\r\n"), .program = {{"README.TXT", "hello"}}});
  Get("COptionsReadme").SetChecked(true);
  InstallInto(install);
  EXPECT_EQ(Showing(), "PnlCustom");
  EXPECT_EQ(toolkit.navigations.back(), "XCustomHTML -> " + install + "README.TXT");
}

}  // namespace
}  // namespace installer::testing
