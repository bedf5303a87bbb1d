// The build, install and uninstall modes end to end: the built program run
// from a shell with every special folder redirected into a temporary folder
// and the wizard's answers piped in. Needs BREVION_BUILD_DIR (set by CTest)
// and a POSIX shell; skipped otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/built_program.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::Quoted;

const std::string kExampleProject = testsupport::ExampleProject();



class LifecycleCli : public ::testing::Test {
 protected:
  void SetUp() override {
    program = testsupport::BuiltProgram();
    if (program.empty()) GTEST_SKIP() << "BREVION_BUILD_DIR does not name a build with the program";
    for (const char* folder : {"home", "tmp", "root"}) fs::create_directories(sandbox.path() / folder);
  }

  // Runs `command` with the folders redirected and `input` piped in; returns
  // its exit status and leaves its output in `output`.
  int Run(const std::string& command, const std::string& input) {
    const std::string log = (logs.path() / "run.log").string();
    const std::string line = "printf '%s' " + Quoted(input) + " | env -u XDG_DATA_HOME -u XDG_CONFIG_HOME" +
                             " -u XDG_DESKTOP_DIR -u XDG_DOCUMENTS_DIR BREVION_ROOT=" + Quoted(Root()) +
                             " HOME=" + Quoted(sandbox.dir() + "home") + " TMPDIR=" + Quoted(sandbox.dir() + "tmp") +
                             " " + command + " > " + Quoted(log) + " 2>&1";
    const int status = std::system(line.c_str());
    output = ReadFile(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Root() const { return sandbox.dir() + "root"; }
  std::string DataFolder() const { return Root() + "/var/lib/BrevionNotes/"; }
  std::string Build(const std::string& name) {
    const std::string package = sandbox.dir() + name;
    EXPECT_EQ(Run(Quoted(program) + " build " + Quoted(package) + " " + Quoted(kExampleProject) + " normal", ""), 0)
        << output;
    return package;
  }

  std::string program, output;
  testsupport::TempDir sandbox, logs;
};

TEST_F(LifecycleCli, BuildInstallAndUninstall) {
  const std::string installer = Build("notes-setup");
  EXPECT_NE(output.find("Your installer executable is ready to go."), std::string::npos) << output;
  EXPECT_EQ(fs::status(installer).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);

  // The written file is the installer: run without arguments.
  const std::string install = sandbox.dir() + "apps/Brevion Notes/";
  ASSERT_EQ(Run(Quoted(installer), "1\ni accept\nROptionsCustomDir=1\nEOptionsInstallDir=" + install + "\nNext\nClose\n"),
            0)
      << output;
  EXPECT_NE(output.find("Thank you for installing Brevion Notes."), std::string::npos) << output;
  EXPECT_EQ(ReadFile(install + "notes.cmd"), ReadFile(kExampleProject + "/files/install_dir/notes.cmd"));
  EXPECT_TRUE(fs::exists(sandbox.dir() + "home/Desktop/Brevion Notes.desktop"));
  const std::string log = DataFolder() + "Brevion Notes.inst";
  EXPECT_EQ(ReadFile(log).substr(0, 4 + install.size() + 2), "dir|" + install + "\r\n");
  const std::string uninstaller = DataFolder() + "uninst3.exe";
  // The installed-programs entry, readable by the uninstall and by tools.
  const std::string entry = Root() + "/usr/share/brevion-apps/BrevionNotes.entry";
  const std::string entryText = ReadFile(entry);
  for (const std::string& line : std::vector<std::string>{"DisplayName=Brevion Notes\n", "DisplayVersion=1.2\n", "DisplayIcon=" + install + "notes.ico\n",
        "InstallLocation=" + install + "\n",
        "UninstallString=\"" + uninstaller + "\" uninstall \"Brevion Notes\"\n",
        "QuietUninstallString=\"" + uninstaller + "\" uninstall \"Brevion Notes\" /S\n", "NoModify=1\n",
        "NoRepair=1\n"}) {
    EXPECT_NE(entryText.find(line), std::string::npos) << line << entryText;
  }
  uintmax_t bytes = 0;
  for (const auto& file : fs::recursive_directory_iterator(install)) bytes += file.is_regular_file() ? file.file_size() : 0;
  EXPECT_NE(entryText.find("EstimatedSize=" + std::to_string((bytes + 1023) / 1024) + "\n"), std::string::npos)
      << entryText;
  EXPECT_EQ(entryText.find("URLInfoAbout"), std::string::npos) << entryText;
  const std::string copy = ReadFile(uninstaller);
  EXPECT_EQ(copy.substr(0, copy.size() - 8), ReadFile(program));
  EXPECT_EQ(copy.substr(copy.size() - 8), std::string("\x28\x3e\x50\0\0\0\0\0", 8));

  // The uninstaller copy, as its shortcut starts it.
  ASSERT_EQ(Run(Quoted(uninstaller) + " uninstall 'Brevion Notes'", "Yes\n"), 0) << output;
  EXPECT_NE(output.find("This program will uninstall Brevion Notes. Are you sure you wish to continue?"),
            std::string::npos);
  EXPECT_NE(output.find("The program has been uninstalled."), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(install));
  EXPECT_FALSE(fs::exists(log));
  EXPECT_FALSE(fs::exists(sandbox.dir() + "home/Desktop/Brevion Notes.desktop"));
  EXPECT_FALSE(fs::exists(Root() + "/usr/share/applications/Brevion Notes"));
  EXPECT_FALSE(fs::exists(entry));
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(DataFolder())) left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"uninst3.exe"});
}

// Per user: the user's folders and entry, not one file below the root; the
// command line's choice wins over the script's default.
TEST_F(LifecycleCli, SilentInstallForTheCurrentUser) {
  const std::string installer = Build("notes-setup");
  const std::string home = sandbox.dir() + "home/";
  for (const char* scope : {"--scope=user", "/CURRENTUSER"}) {
    ASSERT_EQ(Run(Quoted(installer) + " --silent " + scope, ""), 0) << output;
    const std::string install = home + ".local/share/Brevion Notes/";
    EXPECT_TRUE(fs::exists(install + "notes.cmd")) << output;
    const std::string data = home + ".local/share/BrevionNotes/";
    EXPECT_EQ(ReadFile(data + "Brevion Notes.inst").substr(0, 4 + install.size() + 2), "dir|" + install + "\r\n");
    const std::string entry = home + ".local/share/brevion-apps/BrevionNotes.entry";
    EXPECT_NE(ReadFile(entry).find("InstallLocation=" + install + "\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(home + ".local/share/applications/Brevion Notes/Brevion Notes.desktop"));
    EXPECT_FALSE(fs::exists(Root() + "/usr")) << "nothing for every user";
    EXPECT_FALSE(fs::exists(Root() + "/var"));

    ASSERT_EQ(Run(Quoted(data + "uninst3.exe") + " uninstall 'Brevion Notes' /S", ""), 0) << output;
    EXPECT_FALSE(fs::exists(install));
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(fs::exists(home + ".local/share/mime/packages/brevion-bvnote.xml"));
  }
  EXPECT_EQ(Run(Quoted(installer) + " --silent --scope=everyone", ""), 2) << output;
  EXPECT_NE(output.find("--scope takes machine or user"), std::string::npos) << output;
}

// --no-shortcuts=desktop leaves out the desktop shortcut and only that.
TEST_F(LifecycleCli, OneKindOfShortcutIsLeftOut) {
  const std::string installer = Build("notes-setup");
  ASSERT_EQ(Run(Quoted(installer) + " --silent --no-shortcuts=desktop --dir=" + Quoted(sandbox.dir() + "apps/N"), ""), 0)
      << output;
  EXPECT_FALSE(fs::exists(sandbox.dir() + "home/Desktop/Brevion Notes.desktop"));
  EXPECT_TRUE(fs::exists(Root() + "/usr/share/applications/Brevion Notes")) << output;
}

// InstallScope=ask: the Options panel offers both scopes, every user first;
// choosing "just for me" installs into the user's folders.
TEST_F(LifecycleCli, AskedScopeIsChosenOnTheOptionsPanel) {
  const fs::path project = sandbox.path() / "project";
  fs::copy(kExampleProject, project, fs::copy_options::recursive);
  std::string script = ReadFile((project / "files" / "install.dat").string());
  script.insert(script.find("#variables") + 10, "\r\nInstallScope=ask");
  sandbox.Write("project/files/install.dat", script);
  const std::string package = sandbox.dir() + "ask-setup";
  ASSERT_EQ(Run(Quoted(program) + " build " + Quoted(package) + " " + Quoted(project.string()) + " normal", ""), 0)
      << output;
  ASSERT_EQ(Run(Quoted(package), "1\ni accept\nROptionsScopeUser=1\nNext\nClose\n"), 0) << output;
  EXPECT_NE(output.find("[x] Install for all users"), std::string::npos) << output;
  EXPECT_TRUE(fs::exists(sandbox.dir() + "home/.local/share/Brevion Notes/notes.cmd")) << output;
  EXPECT_FALSE(fs::exists(DataFolder())) << "nothing for every user";
}

TEST_F(LifecycleCli, InstallModeNamesThePackageAndNoCloseLeavesItUninstalled) {
  const std::string installer = Build("notes.bin");
  // Exit on the Intro page: cancelled before installing.
  ASSERT_EQ(Run(Quoted(program) + " install " + Quoted(installer), "2\n"), 2) << output;
  EXPECT_FALSE(fs::exists(DataFolder()));
  // A log that is not there: nothing happens, and the program says that it
  // is not installed, in words and in its exit status.
  ASSERT_EQ(Run(Quoted(program) + " uninstall " + Quoted(sandbox.dir() + "none.inst"), "Yes\n"), 10) << output;
  EXPECT_NE(output.find("none is not installed"), std::string::npos) << output;
  EXPECT_NE(output.find(sandbox.dir() + "none.inst does not exist"), std::string::npos) << output;
  EXPECT_EQ(output.find("has been uninstalled"), std::string::npos) << output;
  // Without a name: the usage, nothing touched (not the program's own file).
  ASSERT_EQ(Run(Quoted(program) + " uninstall", "Yes\n"), 2) << output;
  EXPECT_NE(output.find("Usage:"), std::string::npos) << output;
  EXPECT_TRUE(fs::exists(program));
}

TEST_F(LifecycleCli, FailedBuildSaysSoAndEndsWithBadProject) {
  fs::create_directories(sandbox.path() / "empty" / "files");
  EXPECT_EQ(Run(Quoted(program) + " build " + Quoted(sandbox.dir() + "x.bin") + " " + Quoted(sandbox.dir() + "empty") +
                    " normal",
                ""),
            6);
  EXPECT_NE(output.find("Installer creation failed."), std::string::npos) << output;
  EXPECT_EQ(output.find("ready to go"), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(sandbox.dir() + "x.bin"));
}

}  // namespace

namespace {

// A display name with a dot ("Notes 2.0") is still found by the uninstall
// shortcut's command line, and a user's file saved in the folder survives.
TEST_F(LifecycleCli, ADisplayNameWithADotIsUninstalledThroughItsShortcut) {
  const fs::path project = sandbox.path() / "project";
  fs::copy(kExampleProject, project, fs::copy_options::recursive);
  std::string script = ReadFile((project / "files" / "install.dat").string());
  script.replace(script.find("DisplayName=Brevion Notes"), 25, "DisplayName=Notes 2.0");
  sandbox.Write("project/files/install.dat", script);
  const std::string package = sandbox.dir() + "notes2-setup";
  ASSERT_EQ(Run(Quoted(program) + " build " + Quoted(package) + " " + Quoted(project.string()) + " normal", ""), 0)
      << output;
  const std::string install = sandbox.dir() + "apps/Notes2/";
  ASSERT_EQ(Run(Quoted(package) + " --silent --dir=" + Quoted(install), ""), 0) << output;
  sandbox.Write("apps/Notes2/samples/mine.bvnote", "the user's note");
  ASSERT_EQ(Run(Quoted(DataFolder() + "uninst3.exe") + " --silent uninstall \"Notes 2.0\"", ""), 0) << output;
  EXPECT_FALSE(fs::exists(DataFolder() + "Notes 2.0.inst"));
  EXPECT_FALSE(fs::exists(install + "notes.cmd"));
  EXPECT_EQ(ReadFile(install + "samples/mine.bvnote"), "the user's note");
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(install)) left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, (std::vector<std::string>{"samples", "mine.bvnote"}));
}

}  // namespace
