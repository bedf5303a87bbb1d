// The built program on a disk that fills up for real: the shell limits the
// size of any file it writes (ulimit -f, with SIGXFSZ ignored so that the
// write fails instead of killing it). No partial archive or file remains,
// an archive that had the name before stays, and the exit code says an I/O
// failure. Needs BREVION_BUILD_DIR (set by CTest) and a POSIX shell.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

class DiskFullCli : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* build = std::getenv("BREVION_BUILD_DIR");
    if (!build || !fs::exists(fs::path(build) / "brevion")) GTEST_SKIP() << "BREVION_BUILD_DIR names no program";
    program = (fs::path(build) / "brevion").string();
    // 1.5 MB of text that does not compress to nothing.
    std::string text;
    for (int i = 0; text.size() < 1'500'000; ++i) text += std::to_string(i * 2654435761u % 1000003) + " ";
    source.Write("big.txt", text);
    source.Write("small.txt", "small");
  }

  // Runs the program with `arguments` and `input` on standard input, every
  // file it writes limited to `kilobytes`.
  int Run(int kilobytes, const std::string& arguments, const std::string& input) {
    const std::string script = work.Write(
        "run.sh", "trap '' XFSZ\nulimit -f " + std::to_string(kilobytes) + "\nprintf '%s' " + Quoted(input) + " | " +
                      Quoted(program) + " " + arguments + " > " + Quoted(work.dir() + "out.log") + " 2>&1\n");
    const int status = std::system(("bash " + Quoted(script)).c_str());
    output = ReadFile(work.dir() + "out.log");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string program, output;
  testsupport::TempDir source, work, out;
};

TEST_F(DiskFullCli, ArchivingOntoAFullDiskLeavesTheOldArchive) {
  out.Write("backup.bvarc", "the previous backup");
  EXPECT_EQ(Run(200, "archive " + Quoted(out.dir()) + " " + Quoted(source.dir()), "backup\n"), 5) << output;
  EXPECT_EQ(ReadFile(out.dir() + "backup.bvarc"), "the previous backup");
  EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), {}), 1) << "no partial archive beside it";
  EXPECT_NE(output.find("Stream write error"), std::string::npos) << output;
  // With room the same command succeeds.
  EXPECT_EQ(Run(100000, "archive " + Quoted(out.dir()) + " " + Quoted(source.dir()), "backup\n"), 0) << output;
  EXPECT_NE(ReadFile(out.dir() + "backup.bvarc"), "the previous backup");
}

TEST_F(DiskFullCli, ExtractingOntoAFullDiskLeavesNoPartialFile) {
  ASSERT_EQ(Run(100000, "archive " + Quoted(out.dir()) + " " + Quoted(source.dir()), "a\n"), 0) << output;
  const std::string target = work.dir() + "target";
  fs::create_directory(target);
  EXPECT_EQ(Run(500, Quoted(out.dir() + "a.bvarc"), target + "\n"), 5) << output;
  EXPECT_NE(output.find("big.txt could not be extracted: Stream write error"), std::string::npos) << output;
  EXPECT_TRUE(fs::is_empty(target)) << "neither big.txt in part nor a temporary file";
}

}  // namespace
