// The archive and extract modes end to end: the built program run from a
// shell with its answers piped in. Needs BREVION_BUILD_DIR (set by CTest)
// and a POSIX shell; skipped otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "app/exit_codes.h"
#include "support/built_program.h"
#include "support/temp_dir.h"
#include "system/file_dates.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::Quoted;


// Runs `command` with `input` on its standard input; returns the raw status of std::system.
int RunWithInput(const std::string& input, const std::string& command, const fs::path& log) {
  const std::string line = "printf '%s' '" + input + "' | " + command + " > '" + log.string() + "' 2>&1";
  const int status = std::system(line.c_str());
  return status;  // 0 when the program ended with status 0
}

class ArchiveCli : public ::testing::Test {
 protected:
  void SetUp() override {
    program = testsupport::BuiltProgram();
    if (program.empty()) GTEST_SKIP() << "BREVION_BUILD_DIR does not name a build with the program";
    dir.Write("src/readme.txt", "read me\r\n");
    dir.Write("src/empty.txt", "");
    dir.Write("src/photo.jpg", std::string(3000, '\xff'));
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919) >> 3);
    dir.Write("src/deep/er/data.bin", binary);
    sys::SetFileDosDateTime(dir.dir() + "src/readme.txt", 0x50B153CA);
    sys::SetFileDosDateTime(dir.dir() + "src/deep/er/data.bin", 0x52221883);
    fs::create_directories(dir.path() / "out");
  }

  std::string program;
  testsupport::TempDir dir;
  testsupport::TempDir logs;
};

TEST_F(ArchiveCli, ArchiveThenExtractReproducesTheFolder) {
  const std::string out = dir.dir() + "out";
  ASSERT_EQ(RunWithInput("name\n", "'" + program + "' archive '" + out + "' '" + dir.dir() + "src'", logs.path() / "a.log"), 0)
      << ReadFile(logs.path() / "a.log");
  const std::string archiveFile = out + "/name.bvarc";
  ASSERT_TRUE(fs::exists(archiveFile)) << ReadFile(logs.path() / "a.log");
  EXPECT_NE(ReadFile(logs.path() / "a.log").find("Archiving Successful"), std::string::npos);

  const std::string dest = dir.dir() + "dest";
  ASSERT_EQ(RunWithInput(dest + "\n", "'" + program + "' '" + archiveFile + "'", logs.path() / "x.log"), 0)
      << ReadFile(logs.path() / "x.log");
  EXPECT_NE(ReadFile(logs.path() / "x.log").find("Files extracted successfully"), std::string::npos);
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path() / "src")) {
    const fs::path relative = fs::relative(entry.path(), dir.path() / "src");
    const fs::path copy = fs::path(dest) / relative;
    ASSERT_TRUE(fs::exists(copy)) << relative;
    if (entry.is_directory()) continue;
    ++files;
    EXPECT_EQ(ReadFile(copy), ReadFile(entry.path())) << relative;
    EXPECT_EQ(sys::FileDosDateTime(copy.string()), sys::FileDosDateTime(entry.path().string())) << relative;
  }
  EXPECT_EQ(files, 4u);
}

TEST_F(ArchiveCli, CancelledNameOrChooserDoesNothing) {
  const std::string out = dir.dir() + "out";
  // No name given: the user cancelled (exit status 3).
  const int cancelled = 3 << 8;
  EXPECT_EQ(RunWithInput("", "'" + program + "' archive '" + out + "' '" + dir.dir() + "src'", logs.path() / "a.log"), cancelled);
  EXPECT_EQ(RunWithInput("\n", "'" + program + "' archive '" + out + "' '" + dir.dir() + "src'", logs.path() / "b.log"), cancelled);
  EXPECT_TRUE(fs::is_empty(dir.path() / "out"));

  // A chooser with no answer extracts nothing.
  ASSERT_EQ(RunWithInput("name\n", "'" + program + "' archive '" + out + "' '" + dir.dir() + "src'", logs.path() / "c.log"), 0);
  const auto before = std::distance(fs::recursive_directory_iterator(dir.path()), {});
  RunWithInput("", "'" + program + "' '" + out + "/name.bvarc'", logs.path() / "d.log");
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.path()), {}), before);
}

#ifndef _WIN32
// A source that cannot be packed is named, the rest is packed, and the run
// ends with its own exit code rather than plain success.
TEST_F(ArchiveCli, LeftOutSourcesEndWithWarningsAndTheirOwnExitCode) {
  ASSERT_EQ(mkfifo((dir.dir() + "src/pipe").c_str(), 0644), 0);
  const std::string out = dir.dir() + "out";
  const int status =
      RunWithInput("name\n", "'" + program + "' archive '" + out + "' '" + dir.dir() + "src'", logs.path() / "a.log");
  const std::string log = ReadFile(logs.path() / "a.log");
  EXPECT_EQ(status, app::kExitWarnings << 8) << log;
  EXPECT_NE(log.find("Completed with 1 warning:"), std::string::npos) << log;
  EXPECT_NE(log.find(dir.dir() + "src/pipe is a pipe, socket or device"), std::string::npos) << log;
  EXPECT_TRUE(fs::exists(out + "/name.bvarc"));
}
#endif

}  // namespace
