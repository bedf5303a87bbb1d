// The command-line options through the built program: what they print and
// the exit codes, with an archive made by the archive engine in the test.
// Needs BREVION_BUILD_DIR (set by CTest) and a POSIX shell; skipped otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/archive.h"
#include "support/built_program.h"
#include "support/temp_dir.h"
#include "system/file_dates.h"
#include "system/files.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::Quoted;



class OptionsCli : public ::testing::Test {
 protected:
  void SetUp() override {
    program = testsupport::BuiltProgram();
    if (program.empty()) GTEST_SKIP() << "BREVION_BUILD_DIR does not name a build with the program";
  }

  // Runs the program with `arguments` (already quoted) and `input` piped in;
  // keeps standard output and error apart.
  int Run(const std::string& arguments, const std::string& input = "") {
    const std::string outFile = (logs.path() / "out.log").string(), errFile = (logs.path() / "err.log").string();
    const std::string line = "printf '%s' " + Quoted(input) + " | " + Quoted(program) + " " + arguments + " > " +
                             Quoted(outFile) + " 2> " + Quoted(errFile);
    const int status = std::system(line.c_str());
    out = ReadFile(outFile);
    err = ReadFile(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // One raw file dated 2024-05-17 13:45, packed by the archive engine.
  std::string MakeArchive() {
    archive::ArchiveSetStreamCodec("normal");
    const std::string file = source.Write("photo.png", "0123456789");
    sys::ApplyAttributeLetters(file, "a");
    sys::SetFileDosDateTime(file, sys::PackDosDateTime({2024, 5, 17, 13, 45, 0}));
    const std::string path = work.dir() + "small--set.bvarc";
    EXPECT_TRUE(archive::ArchiveCreateFromFolder(path, source.dir(), archive::kAllEntriesFilter, nullptr, nullptr, ""));
    return path;
  }

  std::string DamagedCopy(const std::string& path) {
    std::string bytes = ReadFile(path);
    bytes[3] ^= 0x5A;  // inside the file's bytes, covered by the checksum
    return work.Write("damaged.bvarc", bytes);
  }

  std::string program, out, err;
  testsupport::TempDir source, work, logs;
};

TEST_F(OptionsCli, HelpAndVersionPrintAndSucceed) {
  for (const char* word : {"--help", "-h", "'/?'"}) {
    EXPECT_EQ(Run(word), 0) << word;
    EXPECT_NE(out.find("Usage:"), std::string::npos) << word;
    EXPECT_NE(out.find("--list ARCHIVE"), std::string::npos) << word;
    EXPECT_EQ(err, "");
  }
  EXPECT_EQ(Run("--version"), 0);
  ASSERT_TRUE(out.starts_with("Brevion Installer ")) << out;
  EXPECT_EQ(out.find_first_not_of("0123456789.", 18), out.size() - 1) << out;
  EXPECT_TRUE(out.ends_with("\n"));
}

TEST_F(OptionsCli, BadArgumentsExitWithTwoAndNothingRuns) {
  EXPECT_EQ(Run("--bogus"), 2);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("unknown option --bogus"), std::string::npos) << err;
  EXPECT_EQ(Run("--list"), 2);
  EXPECT_NE(err.find("--list needs the path of an archive"), std::string::npos) << err;
  EXPECT_EQ(Run("--test"), 2);
  EXPECT_EQ(Run("archive " + Quoted(work.dir()) + " " + Quoted(source.dir()) + " --threads=many"), 2);
  EXPECT_TRUE(fs::is_empty(work.path())) << "the role never started";
}

TEST_F(OptionsCli, ListPrintsTheEntries) {
  const std::string archive = MakeArchive();
  EXPECT_EQ(Run("--threads=2 --list " + Quoted(archive)), 0) << out << err;
  EXPECT_EQ(out,
            "Name\tSize\tStored\tDate\tAttributes\tCompression\n"
            "photo.png\t10\t19\t2024-05-17 13:45\ta\tstored\n");
}

TEST_F(OptionsCli, TestVerifiesAndTellsDamageAndMissingFilesApart) {
  const std::string archive = MakeArchive();
  EXPECT_EQ(Run("--test " + Quoted(archive)), 0);
  EXPECT_EQ(out, "OK\n");
  const std::string damaged = DamagedCopy(archive);
  EXPECT_EQ(Run("--test " + Quoted(damaged)), 4);
  EXPECT_EQ(out, "There are error(s) in the file " + damaged + ".\n");
  EXPECT_EQ(Run("--test " + Quoted(work.dir() + "missing.bvarc")), 5);
  EXPECT_TRUE(out.starts_with("Cannot open file")) << out;
}

// The extract role: an archive named with "--" inside is still a path, and
// its failures give their own exit codes.
TEST_F(OptionsCli, ExtractRoleExitCodes) {
  const std::string archive = MakeArchive();
  const std::string target = work.dir() + "out";
  fs::create_directory(target);
  EXPECT_EQ(Run(Quoted(archive), target + "\n"), 0) << out << err;
  EXPECT_EQ(ReadFile(target + "/photo.png"), "0123456789");
  EXPECT_EQ(Run(Quoted(DamagedCopy(archive)), target + "\n"), 4) << out << err;
  EXPECT_EQ(Run(Quoted(work.dir() + "missing.bvarc"), target + "\n"), 5) << out << err;
  EXPECT_EQ(Run(Quoted(archive), ""), 3) << "no folder chosen: cancelled";
  EXPECT_EQ(Run("archive " + Quoted(work.dir()) + " " + Quoted(source.dir()), ""), 3) << "no name given: cancelled";
  // A silent run shows no window: its error names the file on standard error.
  const std::string missingFolder = work.dir() + "no such folder";
  EXPECT_EQ(Run("--silent archive " + Quoted(missingFolder) + " " + Quoted(source.dir()) + " --name=x"), 5);
  EXPECT_NE(err.find(missingFolder), std::string::npos) << err;
}

// Both archive roles in one line: --name= answers the name, and an
// extraction of an archive named without a folder proposes the current
// folder (Enter takes it).
TEST_F(OptionsCli, ArchiveRolesInOneLine) {
  MakeArchive();  // puts photo.png into the source folder
  EXPECT_EQ(Run("archive " + Quoted(work.dir()) + " " + Quoted(source.dir()) + " --name=photos.zip"), 0) << err;
  const std::string archive = work.dir() + "photos.bvarc";
  ASSERT_TRUE(fs::exists(archive));
  EXPECT_EQ(out.find("Archive File Name:"), std::string::npos) << "nothing asked";
  const std::string here = work.dir() + "here/";
  fs::create_directory(here);
  const std::string line = "cd " + Quoted(here) + " && cp " + Quoted(archive) + " . && printf '\\n' | " +
                           Quoted(program) + " photos.bvarc > /dev/null 2>&1";
  ASSERT_EQ(std::system(line.c_str()), 0);
  EXPECT_EQ(ReadFile(here + "photo.png"), "0123456789") << "the current folder was proposed and taken";
}

}  // namespace
