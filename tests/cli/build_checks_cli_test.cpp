// The builder's checks of a project through the built program: one sound
// project, one mistake per case, the exact "install.dat:LINE:" line on
// standard error and the exit code; --werror; a byte-order mark.
// Needs BREVION_BUILD_DIR (set by CTest) and a POSIX shell; skipped otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "support/built_program.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Quoted;
using testsupport::ReadFile;

// Line 1 to 9; the cases below change one of them.
const std::string kScript =
    "#variables\n"                       // 1
    "ProgramName=Checked\n"              // 2
    "ProgramExe=app.sh\n"                // 3
    "ProgramIcon=app.ico\n"              // 4
    "install_dir=/opt/checked/\n"        // 5
    "#shortcuts\n"                       // 6
    "dp|$install_dir$app.sh||Checked|\n" // 7
    "#associations\n"                    // 8
    "$install_dir$app.sh|.chk|\n";       // 9

class BuildChecksCli : public ::testing::Test {
 protected:
  void SetUp() override {
    program = testsupport::BuiltProgram();
    if (program.empty()) GTEST_SKIP() << "BREVION_BUILD_DIR does not name a build with the program";
    project.Write("files/install_dir/app.sh", "echo app\n");
    project.Write("files/install_dir/app.ico", "icon");
    project.Write("files/temp_dir/license.htm", "<p>licence</p>");
  }

  // Builds the project into `package` with `extra` arguments; keeps
  // standard error.
  int Build(const std::string& package = "setup.bin", const std::string& extra = "normal") {
    const std::string errFile = (logs.path() / "err.txt").string();
    const std::string line = Quoted(program) + " build " + Quoted(out.dir() + package) + " " +
                             Quoted(project.dir()) + " " + extra + " < /dev/null > /dev/null 2> " + Quoted(errFile);
    const int status = std::system(line.c_str());
    err = ReadFile(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Script(size_t line, const std::string& text) const {
    std::string script = kScript;
    size_t start = 0;
    for (size_t i = 1; i < line; ++i) start = script.find('\n', start) + 1;
    return script.replace(start, script.find('\n', start) - start, text);
  }

  std::string program, err;
  testsupport::TempDir project, out, logs;
};

TEST_F(BuildChecksCli, ASoundProjectBuildsWithoutAWord) {
  project.Write("files/install.dat", kScript);
  EXPECT_EQ(Build(), 0) << err;
  EXPECT_EQ(err, "");
  // A byte-order mark before "#variables" hides nothing.
  project.Write("files/install.dat", "\xEF\xBB\xBF" + Script(4, "ProgramIcon=missing.ico"));
  EXPECT_EQ(Build(), 6);
  EXPECT_NE(err.find("install.dat:4: error: ProgramIcon missing.ico is not in the package"), std::string::npos) << err;
}

TEST_F(BuildChecksCli, EachMistakeIsReportedWithItsLine) {
  struct Case {
    size_t line;
    std::string text;
    int status;
    std::string report;
  };
  const std::vector<Case> cases = {
      {1, "#Variables", 6,
       "install.dat:1: error: unknown section \"#Variables\": the sections are #variables, #shortcuts, "
       "#associations and #registry (a comment begins with \"# \")"},
      {3, "ProgramExe=app.exe", 6,
       "install.dat:3: error: ProgramExe app.exe is not in the package (no files/install_dir/app.exe)"},
      {7, "dp|$install_dir$bin/app||Checked|", 6,
       "install.dat:7: error: the shortcut's target $install_dir$bin/app is not in the package "
       "(no files/install_dir/bin/app)"},
      {9, "$install_dir$gone.sh|.chk|", 6,
       "install.dat:9: error: the association's program $install_dir$gone.sh is not in the package "
       "(no files/install_dir/gone.sh)"},
      {2, "ProgramNmae=Checked", 0,
       "install.dat:2: warning: unknown variable \"ProgramNmae\": the installer does not read it; did you mean "
       "ProgramName?"},
      {2, "ReadmeAvailable=true", 0,
       "install.dat:2: warning: ReadmeAvailable=true, but the package holds no Readme.htm or Readme.txt for the "
       "install folder"},
  };
  for (const Case& c : cases) {
    project.Write("files/install.dat", Script(c.line, c.text));
    EXPECT_EQ(Build(), c.status) << c.text << "\n" << err;
    EXPECT_TRUE(err.starts_with(c.report + "\n")) << c.text << "\n" << err;
    EXPECT_EQ(fs::exists(out.dir() + "setup.bin"), c.status == 0) << c.text;
    fs::remove(out.dir() + "setup.bin");
  }
  // A variable of the publisher's own, used as $name$, is no typo.
  project.Write("files/install.dat", Script(2, "Maker=Example") + "#registry\n$maker$\n");
  EXPECT_EQ(Build(), 0);
  EXPECT_EQ(err, "");
}

TEST_F(BuildChecksCli, WarningsStopTheBuildWithWerror) {
  project.Write("files/install.dat", Script(2, "ProgramNmae=Checked"));
  EXPECT_EQ(Build("setup.bin", "normal --werror"), 6);
  EXPECT_TRUE(err.starts_with("install.dat:2: error: unknown variable \"ProgramNmae\"")) << err;
  EXPECT_NE(err.find("No installer was written: the project " + project.dir() + " has 1 error."), std::string::npos)
      << err;
  EXPECT_FALSE(fs::exists(out.dir() + "setup.bin"));
}

TEST_F(BuildChecksCli, ProjectAndArgumentMistakesNameTheirPath) {
  project.Write("files/install.dat", kScript);
  EXPECT_EQ(Build("setup.bin", "zlibnorml"), 6);
  EXPECT_NE(err.find("brevion build: error: unknown compression mode \"zlibnorml\"; the modes are ppmfastest, "),
            std::string::npos)
      << err;
  EXPECT_EQ(Build("setup.exe"), 6) << "no Windows program beside the builder";
  EXPECT_NE(err.find(out.dir() + "setup.exe: error: an installer named \".exe\" needs the Windows program "),
            std::string::npos)
      << err;
  fs::remove(project.dir() + "files/temp_dir/license.htm");
  fs::remove(project.dir() + "files/install.dat");
  EXPECT_EQ(Build(), 0);
  EXPECT_NE(err.find(project.dir() + "files/install.dat: warning: no install.dat: "), std::string::npos) << err;
  EXPECT_NE(err.find(project.dir() + "files/temp_dir/license.htm: warning: no license.htm: "), std::string::npos)
      << err;
  fs::remove_all(project.dir() + "files");
  EXPECT_EQ(Build(), 6);
  EXPECT_TRUE(err.starts_with(project.dir() + "files/: error: the project has no \"files\" folder")) << err;
}

}  // namespace
