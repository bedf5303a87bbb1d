// Unattended runs of the built program: silent install and uninstall of the
// example project with --dir, --no-shortcuts and --log, the exit codes of
// their failures, and the plain progress lines of a run whose output is not
// a terminal. Every special folder is redirected into a temporary folder.
// Needs BREVION_BUILD_DIR (set by CTest) and a POSIX shell; skipped otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "support/built_program.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::Quoted;

const std::string kExampleProject = testsupport::ExampleProject();



size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class UnattendedCli : public ::testing::Test {
 protected:
  void SetUp() override {
    program = testsupport::BuiltProgram();
    if (program.empty()) GTEST_SKIP() << "BREVION_BUILD_DIR does not name a build with the program";
    for (const char* folder : {"home", "tmp", "root", "cwd"}) fs::create_directories(sandbox.path() / folder);
    installer = sandbox.dir() + "notes-setup";
    ASSERT_EQ(Run(Quoted(program) + " build " + Quoted(installer) + " " + Quoted(kExampleProject) + " normal"), 0)
        << out << err;
  }

  // Runs `command` from a working folder inside the sandbox, with the
  // folders redirected and `input` piped in; keeps standard output and
  // error apart.
  int Run(const std::string& command, const std::string& input = "") {
    const std::string outFile = (logs.path() / "out.txt").string(), errFile = (logs.path() / "err.txt").string();
    const std::string line = "cd " + Quoted(sandbox.dir() + "cwd") + " && printf '%s' " + Quoted(input) +
                             " | env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_DESKTOP_DIR -u XDG_DOCUMENTS_DIR" +
                             " BREVION_ROOT=" + Quoted(Root()) + " HOME=" + Quoted(sandbox.dir() + "home") +
                             " TMPDIR=" + Quoted(sandbox.dir() + "tmp") + " " + command + " > " + Quoted(outFile) +
                             " 2> " + Quoted(errFile);
    const int status = std::system(line.c_str());
    out = ReadFile(outFile);
    err = ReadFile(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Root() const { return sandbox.dir() + "root"; }
  std::string DataFolder() const { return Root() + "/var/lib/BrevionNotes/"; }
  std::string UninstallLog() const { return DataFolder() + "Brevion Notes.inst"; }
  std::string Desktop() const { return sandbox.dir() + "home/Desktop/"; }

  std::string program, installer, out, err;
  testsupport::TempDir sandbox, logs;
};

TEST_F(UnattendedCli, SilentInstallAndUninstallWithTheirLog) {
  const std::string folder = sandbox.dir() + "apps/Notes";  // no closing separator: one is added
  const std::string log = sandbox.dir() + "setup.log";
  ASSERT_EQ(Run(Quoted(installer) + " --silent --dir=" + Quoted(folder) + " --log=" + Quoted(log)), 0) << out << err;
  EXPECT_EQ(out, "") << "a silent run prints nothing";
  EXPECT_EQ(err, "");
  for (const char* file : {"notes.cmd", "Readme.txt", "samples/first.bvnote"}) {
    EXPECT_EQ(ReadFile(folder + "/" + file), ReadFile(kExampleProject + "/files/install_dir/" + file)) << file;
  }
  EXPECT_TRUE(fs::exists(Desktop() + "Brevion Notes.desktop")) << "the default choices create the shortcuts";
  EXPECT_TRUE(ReadFile(UninstallLog()).starts_with("dir|" + folder + "/\r\n"));
  EXPECT_FALSE(fs::exists(folder + "/Readme.htm")) << "no readme page: the option is off by default";

  // One line per action, each with its date and time.
  const std::string text = ReadFile(log);
  const std::regex stamped(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  \S)");
  size_t lines = 0;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
    EXPECT_TRUE(std::regex_search(text.substr(start, end - start), stamped)) << text.substr(start, end - start);
    start = end + 2;
    ++lines;
  }
  EXPECT_GT(lines, 8u) << text;
  for (const std::string& part : std::vector<std::string>{"started: --silent", "Installation folder from --dir: " + folder + "/",
                                 "Extracting notes.cmd", "Extracting samples\\first.bvnote",
                                 "Created shortcut \"Brevion Notes\" in user_desktop",
                                 "Associated .bvnote with " + folder + "/notes.cmd",
                                 "Brevion Notes was successfully installed.", "Wrote the uninstaller ",
                                 "Finished with exit code 0 (success)"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }

  // The uninstaller copy, silent: Yes to the confirmation, no message shown.
  ASSERT_EQ(Run(Quoted(DataFolder() + "uninst3.exe") + " /S uninstall 'Brevion Notes' /LOG=" + Quoted(log)), 0)
      << out << err;
  EXPECT_EQ(out, "");
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_FALSE(fs::exists(Desktop() + "Brevion Notes.desktop"));
  EXPECT_FALSE(fs::exists(UninstallLog()));
  const std::string both = ReadFile(log);
  EXPECT_EQ(Count(both, "started:"), 2u) << "the log is appended to";
  EXPECT_NE(both.find("Removing the installed files of " + folder + "/"), std::string::npos) << both;
  EXPECT_NE(both.find("The program has been uninstalled."), std::string::npos) << both;

  // A second uninstall finds no log: the program is not installed.
  EXPECT_EQ(Run(Quoted(DataFolder() + "uninst3.exe") + " --silent uninstall 'Brevion Notes'"), 10);
  EXPECT_NE(err.find("Brevion Notes is not installed"), std::string::npos) << err;
  EXPECT_NE(err.find("not installed (exit code 10)"), std::string::npos) << err;
}

TEST_F(UnattendedCli, NoShortcutsLeavesTheUninstallLogWithoutAny) {
  const std::string folder = sandbox.dir() + "apps/Notes/";
  ASSERT_EQ(Run(Quoted(installer) + " /VERYSILENT --no-shortcuts /D=" + Quoted(folder)), 0) << out << err;
  EXPECT_TRUE(fs::exists(folder + "notes.cmd"));
  EXPECT_FALSE(fs::exists(Desktop() + "Brevion Notes.desktop"));
  // The applications folder holds the association's handler, no launcher.
  EXPECT_FALSE(fs::exists(Root() + "/usr/share/applications/Brevion Notes"));
  EXPECT_TRUE(fs::exists(Root() + "/usr/share/applications/brevion-bvnote.desktop"));
  const std::string log = ReadFile(UninstallLog());
  EXPECT_EQ(log.find("shortcut|"), std::string::npos) << log;
  EXPECT_EQ(Count(log, "\r\n"), 7u)
      << "the folder, the version, three folders made, the association and the entry: " << log;
}

TEST_F(UnattendedCli, AWindowsFolderIsRefusedOnLinuxUntilDirGivesOne) {
  // The script's folder is "C:\Program Files\Brevion Notes\": relative here.
  const std::string log = sandbox.dir() + "refused.log";
  EXPECT_EQ(Run(Quoted(installer) + " --silent --log=" + Quoted(log)), 3) << out << err;
  EXPECT_NE(err.find("is not a full path"), std::string::npos) << err;
  EXPECT_NE(err.find("--dir=FOLDER"), std::string::npos) << err;
  EXPECT_NE(ReadFile(log).find("Error: The installation folder \"C:\\Program Files\\Brevion Notes\\\""),
            std::string::npos);
  EXPECT_TRUE(fs::is_empty(sandbox.path() / "cwd")) << "nothing was written below the working folder";
  EXPECT_FALSE(fs::exists(UninstallLog()));

  // On the console the wizard refuses it too and stays on Options.
  EXPECT_EQ(Run(Quoted(installer), "Install\nI Accept\nNext\n"), 0) << out << err;
  EXPECT_NE(err.find("Error: The installation folder"), std::string::npos) << err;
  EXPECT_TRUE(fs::is_empty(sandbox.path() / "cwd"));
}

TEST_F(UnattendedCli, DamagedInstallerGivesItsCodeOnStandardErrorAndInTheLog) {
  std::string bytes = ReadFile(installer);
  bytes[bytes.size() / 2] ^= 0x5A;  // inside the package, covered by its checksum
  const std::string damaged = sandbox.Write("damaged-setup", bytes);
  fs::permissions(damaged, fs::perms::owner_all);
  const std::string log = sandbox.dir() + "damaged.log";
  EXPECT_EQ(Run(Quoted(damaged) + " --silent --dir=" + Quoted(sandbox.dir() + "x") + " --log=" + Quoted(log)), 1)
      << out << err;
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("This file does not contain a valid installation package."), std::string::npos) << err;
  EXPECT_NE(err.find("the installer could not start (exit code 1)"), std::string::npos) << err;
  const std::string text = ReadFile(log);
  EXPECT_NE(text.find("There are error(s) in the file"), std::string::npos) << text;
  EXPECT_NE(text.find("Finished with exit code 1"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(sandbox.dir() + "x"));

  // A damaged entry table (a byte of the last entry's offset) is a damaged
  // package too, not a builder started bare.
  bytes = ReadFile(installer);
  bytes[bytes.size() - 54] ^= 0x5A;
  const std::string badTable = sandbox.Write("bad-table-setup", bytes);
  fs::permissions(badTable, fs::perms::owner_all);
  EXPECT_EQ(Run(Quoted(badTable) + " --silent --dir=" + Quoted(sandbox.dir() + "x")), 1) << out << err;
  EXPECT_NE(err.find("This file does not contain a valid installation package."), std::string::npos) << err;
}

TEST_F(UnattendedCli, BadArgumentsAndAnUnwritableLogStopBeforeAnythingRuns) {
  EXPECT_EQ(Run(Quoted(installer) + " --silent --dir=apps/notes"), 2);
  EXPECT_NE(err.find("--dir needs a full path"), std::string::npos) << err;
  EXPECT_EQ(Run(Quoted(installer) + " --silent --log="), 2);
  EXPECT_EQ(Run(Quoted(installer) + " --silent --dir=" + Quoted(sandbox.dir() + "a") + " --log=" +
                Quoted(sandbox.dir() + "no/such/folder/x.log")),
            1);
  EXPECT_NE(err.find("cannot be written"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(sandbox.dir() + "a"));
}

TEST_F(UnattendedCli, AnInstallFolderThatCannotBeWrittenFailsTheInstall) {
  const std::string blocker = sandbox.Write("plain-file", "x");
  EXPECT_EQ(Run(Quoted(installer) + " --silent --dir=" + Quoted(blocker + "/Notes")), 4) << out << err;
  EXPECT_NE(err.find("failed while installing (exit code 4)"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(UninstallLog())) << "nothing is left of a failed installation";
  EXPECT_FALSE(fs::exists(Desktop() + "Brevion Notes.desktop")) << "no shortcuts to files that are not there";
}

TEST_F(UnattendedCli, ThePreventedFolderChangeKeepsTheScriptsFolder) {
  // A copy of the example whose script fixes an absolute folder.
  const std::string project = sandbox.dir() + "fixed";
  fs::copy(kExampleProject, project, fs::copy_options::recursive);
  const std::string fixed = sandbox.dir() + "fixed-folder/";
  std::string script = ReadFile(project + "/files/install.dat");
  script = std::regex_replace(script, std::regex(R"(install_dir=[^\r\n]*)"), "install_dir=" + fixed);
  script.insert(script.find("#shortcuts"), "PreventDirectoryChange=true\n");
  sandbox.Write("fixed/files/install.dat", script);
  const std::string setup = sandbox.dir() + "fixed-setup";
  ASSERT_EQ(Run(Quoted(program) + " build " + Quoted(setup) + " " + Quoted(project) + " normal"), 0) << out << err;

  const std::string log = sandbox.dir() + "fixed.log";
  EXPECT_EQ(Run(Quoted(setup) + " --silent --dir=" + Quoted(sandbox.dir() + "elsewhere") + " --log=" + Quoted(log)),
            0)
      << out << err;
  EXPECT_TRUE(fs::exists(fixed + "notes.cmd"));
  EXPECT_FALSE(fs::exists(sandbox.dir() + "elsewhere"));
  EXPECT_NE(err.find("is not used"), std::string::npos) << err;
  EXPECT_NE(ReadFile(log).find("Warning: This installer always installs into " + fixed), std::string::npos);
}

// Piped output gets one plain line per tenth, naming the current file.
TEST_F(UnattendedCli, ProgressOnAPipeIsPlainLines) {
  const std::string folder = sandbox.dir() + "apps/Notes/";
  ASSERT_EQ(Run(Quoted(installer) + " --dir=" + Quoted(folder), "Install\nI Accept\nNext\nClose\n"), 0) << out << err;
  EXPECT_TRUE(fs::exists(folder + "notes.cmd"));
  EXPECT_EQ(out.find('\r'), std::string::npos) << "nothing is redrawn in place";
  EXPECT_TRUE(std::regex_search(out, std::regex(R"((^|\n) +\d+%  \S)"))) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex(R"(\n100%  samples\\first\.bvnote\n)"))) << out;
  EXPECT_EQ(err, "");

  // The extract mode: the archive window's progress, the same way.
  const std::string archive = sandbox.dir() + "notes.bvarc";
  ASSERT_EQ(Run(Quoted(program) + " archive " + Quoted(sandbox.dir()) + " " + Quoted(folder), "notes\n"), 0) << err;
  const std::string target = sandbox.dir() + "extracted";
  EXPECT_EQ(Run(Quoted(program) + " --dir=" + Quoted(target) + " " + Quoted(archive)), 0) << out << err;
  EXPECT_TRUE(fs::exists(target + "/notes.cmd")) << "--dir names the folder: no question asked";
  EXPECT_TRUE(std::regex_search(out, std::regex(R"(\n100%  )"))) << out;
}

}  // namespace
