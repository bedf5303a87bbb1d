// Command-line options: what is taken out of the arguments, and the
// printing options --list and --test over real archives; the exit codes the
// archive roles give for their failures.
#include "app/options.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/roles.h"
#include "app/exit_codes.h"
#include "archive/archive.h"
#include "archive/checksum.h"
#include "support/temp_dir.h"
#include "system/file_dates.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/text_writer.h"

namespace {

using app::OptionAction;
using Args = std::vector<std::string>;

TEST(OptionsParse, OptionsComeOutAndPositionalArgumentsKeepTheirOrder) {
  const app::CommandOptions options =
      app::ParseOptions({"build", "--threads=3", "out.exe", "--case-collisions=rename", "project", "normal"});
  EXPECT_EQ(options.action, OptionAction::RunRole);
  EXPECT_EQ(options.threads, 3);
  EXPECT_EQ(options.caseCollisions, archive::CaseCollisions::Rename);
  EXPECT_EQ(options.positional, (Args{"build", "out.exe", "project", "normal"}));

  EXPECT_EQ(app::ParseOptions({}).positional, Args{});
  EXPECT_FALSE(app::ParseOptions({}).threads.has_value());
}

TEST(OptionsParse, PathsThatOnlyContainDashesStayPositional) {
  for (const std::string path : {"/tmp/a--b.bvarc", "my--archive.bvarc", "-x.bvarc", "C:\\--\\x.bvarc"}) {
    const app::CommandOptions options = app::ParseOptions({path});
    EXPECT_EQ(options.action, OptionAction::RunRole) << path;
    EXPECT_EQ(options.positional, Args{path});
  }
  // After "--" even option words are positional.
  const app::CommandOptions options = app::ParseOptions({"--", "--list", "--bogus"});
  EXPECT_EQ(options.action, OptionAction::RunRole);
  EXPECT_EQ(options.positional, (Args{"--list", "--bogus"}));
}

TEST(OptionsParse, ActionWordsAndTheirArchive) {
  for (const std::string word : {"--help", "-h", "/?"}) EXPECT_EQ(app::ParseOptions({word}).action, OptionAction::Help);
  EXPECT_EQ(app::ParseOptions({"--version"}).action, OptionAction::Version);
  const app::CommandOptions list = app::ParseOptions({"--list", "--odd--name.bvarc", "extra"});
  EXPECT_EQ(list.action, OptionAction::List);
  EXPECT_EQ(list.archive, "--odd--name.bvarc") << "the word after --list is the archive, whatever it looks like";
  EXPECT_EQ(list.positional, Args{"extra"});
  EXPECT_EQ(app::ParseOptions({"--test", "a.bvarc"}).archive, "a.bvarc");
  EXPECT_EQ(app::ParseOptions({"--version", "--help"}).action, OptionAction::Version) << "the first action wins";
  // Option words in any letter case.
  for (const std::string word : {"-H", "--HELP", "/HELP"}) EXPECT_EQ(app::ParseOptions({word}).action, OptionAction::Help);
}

TEST(OptionsParse, BadArgumentsExitWithTwo) {
  const std::vector<Args> bad = {{"--bogus"},      {"install", "/FOO"},   {"--list"},         {"--test", ""},
                                 {"--threads"},    {"--threads="},        {"--threads=x"},    {"--threads=-1"},
                                 {"--threads=2x"}, {"--threads=99999999999"}, {"--case-collisions=ignore"},
                                 {"--max-size="},  {"--max-size=-1"},      {"--max-size=1T"},  {"--max-size=99999999999G"},
                                 {"--memory=0"},   {"--memory=12T"},       {"--memory=-5M"},   {"--memory=M"},
                                 {"--codepage=x"}, {"--codepage=987654"}};
  for (const Args& arguments : bad) {
    const app::CommandOptions options = app::ParseOptions(arguments);
    EXPECT_EQ(options.action, OptionAction::BadArguments) << arguments.front();
    sys::StringWriter out, err;
    EXPECT_EQ(app::RunOption(options, out, err), app::kExitBadArguments);
    EXPECT_EQ(out.Text(), "");
    EXPECT_NE(err.Text().find(options.error), std::string::npos);
    EXPECT_FALSE(options.error.empty());
  }
  EXPECT_EQ(app::ParseOptions({"--threads=0"}).threads, 0) << "0 goes back to the automatic count";
  EXPECT_EQ(app::ParseOptions({"--max-size=0"}).maxSize, 0);
  EXPECT_EQ(app::ParseOptions({"--max-size=3k"}).maxSize, 3072);
  EXPECT_EQ(app::ParseOptions({"--max-size=2G"}).maxSize, int64_t{2} << 30);
  for (const auto& [text, bytes] : {std::pair{"--memory=512M", int64_t{512} << 20}, {"--memory=2g", int64_t{2} << 30},
                                    {"--memory=1000", int64_t{1000}}, {"--memory=64k", int64_t{64} << 10}}) {
    EXPECT_EQ(app::ParseOptions({text}).memoryBudget, bytes) << text;
  }
  EXPECT_EQ(app::ParseOptions({"--codepage=1251"}).codePage, 1251);
}

// The unattended options in both spellings, taken out wherever they stand.
TEST(OptionsParse, UnattendedOptionsInBothSpellings) {
#ifdef _WIN32
  const std::string folder = "C:\\Example", log = "C:\\setup.log";
#else
  const std::string folder = "/opt/example", log = "/tmp/setup.log";
#endif
  const app::CommandOptions dashes =
      app::ParseOptions({"uninstall", "--silent", "--dir=" + folder, "Notes", "--no-shortcuts", "--log=" + log});
  EXPECT_EQ(dashes.action, OptionAction::RunRole);
  EXPECT_EQ(dashes.positional, (Args{"uninstall", "Notes"}));
  EXPECT_TRUE(dashes.unattended.silent);
  EXPECT_EQ(dashes.unattended.folder, folder);
  EXPECT_TRUE(dashes.unattended.noDesktopShortcut && dashes.unattended.noStartMenuShortcut);
  EXPECT_EQ(dashes.unattended.logFile, log);

  for (const std::string word : {"/S", "/SILENT", "/VERYSILENT"}) {
    EXPECT_TRUE(app::ParseOptions({word}).unattended.silent) << word;
    EXPECT_TRUE(app::ParseOptions({word}).positional.empty()) << word;
  }
  for (const std::string word : {"/D=", "/DIR="}) EXPECT_EQ(app::ParseOptions({word + folder}).unattended.folder, folder);
  EXPECT_EQ(app::ParseOptions({"/LOG=" + log}).unattended.logFile, log);

  const app::CommandOptions none = app::ParseOptions({"install", "setup.bin"});
  EXPECT_FALSE(none.unattended.silent);
  EXPECT_FALSE(none.unattended.folder.has_value());
  EXPECT_FALSE(none.unattended.noDesktopShortcut || none.unattended.noStartMenuShortcut);
  // One kind of shortcut left out; anything else is refused.
  const app::UnattendedOptions desktop = app::ParseOptions({"--no-shortcuts=Desktop"}).unattended;
  EXPECT_TRUE(desktop.noDesktopShortcut && !desktop.noStartMenuShortcut);
  const app::UnattendedOptions startMenu = app::ParseOptions({"--no-shortcuts=startmenu"}).unattended;
  EXPECT_TRUE(!startMenu.noDesktopShortcut && startMenu.noStartMenuShortcut);
  EXPECT_EQ(app::ParseOptions({"--no-shortcuts=all"}).action, OptionAction::BadArguments);
  EXPECT_EQ(none.unattended.logFile, "");
  // After "--" every word is positional.
  EXPECT_EQ(app::ParseOptions({"--", "/S"}).positional, Args{"/S"});
}

TEST(OptionsParse, UnattendedOptionsNeedTheirValues) {
  const std::vector<Args> bad = {{"--dir="},       {"/D="},      {"--dir"},     {"--log="},      {"/LOG="},
                                 {"--log"},        {"--dir=relative/folder"},   {"/D=Example"}, {"--Silentt"},
                                 {"--no-shortcut"}};
  for (const Args& arguments : bad) {
    const app::CommandOptions options = app::ParseOptions(arguments);
    EXPECT_EQ(options.action, OptionAction::BadArguments) << arguments.front();
    EXPECT_FALSE(options.error.empty()) << arguments.front();
  }
  EXPECT_NE(app::ParseOptions({"--dir=relative"}).error.find("full path"), std::string::npos);
}

TEST(OptionsParse, HelpListsEveryRoleAndOption) {
  sys::StringWriter out, err;
  EXPECT_EQ(app::RunOption(app::ParseOptions({"-h"}), out, err), app::kExitSuccess);
  for (const char* word : {"install", "uninstall", "build", "archive", "ARCHIVE", "--help", "--version", "--list",
                           "--test", "--threads=N", "--max-size=BYTES", "--silent", "/S", "--dir=FOLDER", "/D=FOLDER",
                           "--no-shortcuts", "--log=FILE", "/LOG=FILE", "--case-collisions=error|rename|keep-first"}) {
    EXPECT_NE(out.Text().find(word), std::string::npos) << word;
  }
  EXPECT_TRUE(out.Text().starts_with(app::VersionText() + "\n"));
  EXPECT_TRUE(app::VersionText().starts_with("Brevion Installer "));
}

// An archive of a raw ".png" file and a compressed text file in a sub-folder,
// both dated 2024-05-17 13:45.
class OptionsArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    archive::ArchiveSetStreamCodec("normal");
    std::string text;
    for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i % 7) + "\n";
    for (const std::string& file : {source.Write("raw.png", "0123456789"), source.Write("sub/notes.txt", text)}) {
      sys::ApplyAttributeLetters(file, "a");
      sys::SetFileDosDateTime(file, sys::PackDosDateTime({2024, 5, 17, 13, 45, 20}));
    }
    path = work.dir() + "test.bvarc";
    ASSERT_TRUE(archive::ArchiveCreateFromFolder(path, source.dir(), archive::kAllEntriesFilter, nullptr, nullptr, ""));
  }

  // Overwrites one byte of the archive's copy `name` and returns its path.
  std::string DamagedCopy(const std::string& name, int64_t fromEnd) {
    std::string bytes = testsupport::ReadFile(path);
    bytes[bytes.size() - fromEnd] ^= 0x5A;
    return work.Write(name, bytes);
  }

  testsupport::TempDir source, work;
  std::string path;
};

TEST_F(OptionsArchive, ListPrintsOneLinePerEntry) {
  sys::StringWriter out;
  ASSERT_EQ(app::ListArchive(path, out), app::kExitSuccess);
  std::istringstream lines(out.Text());
  std::string header, raw, compressed, extra;
  std::getline(lines, header);
  std::getline(lines, raw);
  std::getline(lines, compressed);
  EXPECT_FALSE(std::getline(lines, extra)) << out.Text();
  EXPECT_EQ(header, "Name\tSize\tStored\tDate\tAttributes\tCompression");
  EXPECT_EQ(raw, "raw.png\t10\t19\t2024-05-17 13:45\ta\tstored") << "flags byte and length before the bytes";
  ASSERT_TRUE(compressed.starts_with("sub\\notes.txt\t1400\t")) << compressed;
  EXPECT_TRUE(compressed.ends_with("\t2024-05-17 13:45\ta\tcompressed")) << compressed;
  const int64_t stored = std::stoll(compressed.substr(compressed.find('\t', 14) + 1));
  EXPECT_LT(stored, 1400) << "the repetitive text shrinks";
}

TEST_F(OptionsArchive, TestSaysOkAndWritesNothing) {
  sys::StringWriter out;
  EXPECT_EQ(app::TestArchive(path, out), app::kExitSuccess);
  EXPECT_EQ(out.Text(), "OK\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(work.path()), {}), 1);
}

TEST_F(OptionsArchive, TestAndListReportDamageAndMissingFiles) {
  const std::string damaged = DamagedCopy("bad.bvarc", 200);
  sys::StringWriter out;
  EXPECT_EQ(app::TestArchive(damaged, out), app::kExitDamaged);
  EXPECT_EQ(out.Text(), archive::DamagedArchiveMessage(damaged) + "\n");

  const std::string truncated = work.Write("short.bvarc", "not an archive");
  sys::StringWriter listOut;
  EXPECT_EQ(app::ListArchive(truncated, listOut), app::kExitDamaged);
  EXPECT_EQ(listOut.Text(), archive::DamagedArchiveMessage(truncated) + "\n");

  for (auto run : {&app::TestArchive, &app::ListArchive}) {
    sys::StringWriter missing;
    EXPECT_EQ(run(work.dir() + "missing.bvarc", missing), app::kExitIoFailure);
    EXPECT_TRUE(missing.Text().starts_with("Cannot open file")) << missing.Text();
  }
}

// A damaged block under a valid checksum: only decoding finds it.
TEST_F(OptionsArchive, TestDecodesEveryEntry) {
  compression::FileStream file(path, compression::FileStream::Mode::Read);
  const archive::ArchiveIndex index = archive::ReadArchiveIndex(file, path);
  const int k = index.FindName("sub\\notes.txt");
  ASSERT_GE(k, 0);
  const int64_t inBlock = index.EntryOffset(k) + index.StoredLength(k) - 4;
  const std::string copy = DamagedCopy("resummed.bvarc", index.fileSize - inBlock);
  ASSERT_TRUE(archive::ArchiveWriteChecksum(copy, nullptr, nullptr).completed);

  sys::StringWriter out;
  EXPECT_EQ(app::TestArchive(copy, out), app::kExitDamaged);
  EXPECT_TRUE(out.Text().starts_with("sub\\notes.txt: ")) << out.Text();
}

TEST_F(OptionsArchive, ArchiveRolesTellDamageFromMissingFiles) {
  app::Roles roles;
  EXPECT_TRUE(roles.ExtractArchive(path, work.dir() + "out"));
  EXPECT_EQ(roles.ExitCode({}), app::kExitSuccess);
  EXPECT_FALSE(roles.ExtractArchive(DamagedCopy("bad.bvarc", 200), work.dir() + "out"));
  EXPECT_EQ(roles.ExitCode({}), app::kExitDamaged);
  EXPECT_FALSE(roles.ExtractArchive(work.dir() + "missing.bvarc", work.dir() + "out"));
  EXPECT_EQ(roles.ExitCode({}), app::kExitIoFailure);

  EXPECT_FALSE(roles.CreateArchive(work.dir() + "a.bvarc", work.dir() + "no such folder"));
  EXPECT_EQ(roles.ExitCode({}), app::kExitIoFailure);
  std::filesystem::create_directory(work.path() / "empty");
  EXPECT_FALSE(roles.CreateArchive(work.dir() + "a.bvarc", work.dir() + "empty"));
  EXPECT_EQ(roles.ExitCode({}), app::kExitFailure);
  EXPECT_TRUE(roles.CreateArchive(work.dir() + "a.bvarc", source.dir()));
  EXPECT_EQ(roles.ExitCode({}), app::kExitSuccess);
}

}  // namespace

namespace {

// Switches as administrators type them: any letter case, the spellings of
// other setup programs, /D= with unquoted spaces, and refusals that name
// the word.
TEST(OptionsParse, SwitchSpellings) {
#ifdef _WIN32
  const std::string spaced = "C:\\Program Files\\My App";
#else
  const std::string spaced = "/opt/Program Files/My App";
#endif
  for (const std::string word : {"/s", "/S", "/silent", "/VERYSILENT", "/VerySilent", "--SILENT", "/q"}) {
    const app::CommandOptions options = app::ParseOptions({word});
    EXPECT_TRUE(options.unattended.silent) << word;
    EXPECT_TRUE(options.positional.empty()) << word;
  }
  for (const std::string word : {"/SUPPRESSMSGBOXES", "/norestart", "/SP-", "/NOCANCEL"}) {
    const app::CommandOptions options = app::ParseOptions({"install", word});
    EXPECT_EQ(options.action, OptionAction::RunRole) << word;
    EXPECT_EQ(options.positional, Args{"install"}) << word;
  }
  // "/D=" takes the rest of the line, spaces included, as the folder.
  const size_t space = spaced.find(' ');
  const app::CommandOptions nsis =
      app::ParseOptions({"/S", "/d=" + spaced.substr(0, space), spaced.substr(space + 1, spaced.rfind(' ') - space - 1),
                         spaced.substr(spaced.rfind(' ') + 1)});
  EXPECT_EQ(nsis.unattended.folder, spaced);
  // ... up to a switch written after it, which still counts.
  const app::CommandOptions followed = app::ParseOptions({"/D=" + spaced.substr(0, space),
                                                          spaced.substr(space + 1), "/LOG=x.log"});
  EXPECT_EQ(followed.unattended.folder, spaced);
  EXPECT_EQ(followed.unattended.logFile, "x.log");
  EXPECT_EQ(app::ParseOptions({"/dir=" + spaced}).unattended.folder, spaced);
  EXPECT_EQ(app::ParseOptions({"/log=x.log"}).unattended.logFile, "x.log");
  const app::CommandOptions bareLog = app::ParseOptions({"/LOG"});
  EXPECT_TRUE(bareLog.unattended.logAnnounced);
  EXPECT_TRUE(bareLog.unattended.logFile.starts_with(sys::SpecialFolderPath("temp"))) << bareLog.unattended.logFile;
  EXPECT_TRUE(app::ParseOptions({"build", "a", "b", "--WERROR"}).warningsAreErrors);

  struct Refused {
    Args arguments;
    std::string error;
  };
  const std::vector<Refused> refused = {
      {{"/FOO"}, "unknown option /FOO"},
      {{"install", "-z"}, "unknown option -z"},
      {{"frobnicate"}, "unknown command \"frobnicate\""},
      {{"Build", "x", "y"}, "unknown command \"Build\" (the roles are written in lower case: build)"},
  };
  for (const Refused& r : refused) {
    const app::CommandOptions options = app::ParseOptions(r.arguments);
    EXPECT_EQ(options.action, OptionAction::BadArguments) << r.error;
    EXPECT_EQ(options.error, r.error);
    sys::StringWriter out, err;
    EXPECT_EQ(app::RunOption(options, out, err), app::kExitBadArguments);
    EXPECT_NE(err.Text().find("\n" + app::UsageLine() + "\n"), std::string::npos) << err.Text();
  }
  // A first word naming an existing file, or written as a path, is an archive.
  testsupport::TempDir dir;
  const std::string plain = dir.Write("notes", "x");
  EXPECT_EQ(app::ParseOptions({plain}).action, OptionAction::RunRole);
  EXPECT_EQ(app::ParseOptions({"missing.bvarc"}).action, OptionAction::RunRole);
}

}  // namespace
