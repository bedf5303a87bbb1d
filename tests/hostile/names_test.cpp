// Archives whose stored names try to leave the target folder, name devices,
// pass the platform's length limits, or collide with each other. Unsafe
// names are refused before anything is written; the others give each stored
// file its own bytes or a reported failure, and nothing outside the target
// changes.
#include <gtest/gtest.h>

#include <sstream>

#include "app/exit_codes.h"
#include "app/options.h"
#include "archive/archive.h"
#include "hostile/hostile_support.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/text_writer.h"

namespace hostile {
namespace {

using archive::Module;
using testsupport::ReadFile;

class HostileNames : public archive::testing::ArchiveTest {
 protected:
  // Extracts `entries` (raw, content = name's index) into work/target/inner
  // and checks that nothing beside the target changed.
  bool Extract(const std::vector<StoredEntry>& entries, const std::vector<std::string>& folders = {}) {
    work.Write("beside.txt", "beside");
    const std::string path = WriteArchive(work, "names.bvarc", ArchiveBytes(entries, folders));
    const TreeSnapshot before = Without(Snapshot(work.path()), "target");
    const bool extracted = archive::ArchiveExtractAll(path, work.dir() + "target/inner", nullptr, nullptr);
    EXPECT_EQ(Without(Snapshot(work.path()), "target"), before);
    return extracted;
  }

  fs::path Target() const { return work.path() / "target" / "inner"; }

  testsupport::TempDir work;
};

std::vector<StoredEntry> GoodThen(const std::string& name) {
  return {{"good.txt", RawEntry("good")}, {name, RawEntry("bad")}};
}

TEST_F(HostileNames, NamesThatLeaveTheTargetAreRefusedBeforeAnythingIsWritten) {
  for (const std::string& name : std::vector<std::string>{
           "..\\escape.txt", "sub\\..\\..\\escape.txt", "..", "sub\\.\\x.txt", "...\\x.txt", ". \\x.txt",
        "\\absolute.txt", "\\\\server\\share\\x.txt", "C:\\x.txt", "c:x.txt", "x.txt:stream", "../escape.txt",
        "/etc/escape.txt", "a\\\\b.txt", std::string("nul\0byte.txt", 12)}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Extract(GoodThen(name)));
    EXPECT_FALSE(fs::exists(Target() / "good.txt"));  // refused before the good one too
    EXPECT_NE(Module().lastError.find("outside the target folder"), std::string::npos) << Module().lastError;
    EXPECT_TRUE(Module().abort);
    fs::remove_all(work.path() / "target");
  }
  // A folder name is checked the same way, before any folder is made.
  EXPECT_FALSE(Extract({{"good.txt", RawEntry("good")}}, {"..\\outside"}));
  EXPECT_FALSE(fs::exists(work.path() / "target" / "outside"));
  EXPECT_NE(Module().lastError.find("..\\outside"), std::string::npos);
}

// Windows sends the bytes of "CON" or "aux.txt" to a device, not into the
// target: refused there. Elsewhere they are ordinary names.
TEST_F(HostileNames, DeviceNamesAreRefusedWhereThePlatformReservesThem) {
  const std::vector<std::string> devices = {"CON", "nul", "aux.txt", "sub\\COM1", "Lpt9.log", "prn .txt", "CONOUT$"};
  for (const std::string& name : devices) {
    SCOPED_TRACE(name);
    const bool extracted = Extract(GoodThen(name));
    if (OnWindows()) {
      EXPECT_FALSE(extracted);
      EXPECT_NE(Module().lastError.find("outside the target folder"), std::string::npos) << Module().lastError;
      EXPECT_FALSE(fs::exists(Target() / "good.txt"));
    } else {
      EXPECT_TRUE(extracted) << Module().lastError;
      EXPECT_EQ(ReadFile(Target() / sys::ToNativeSeparators(name)), "bad");
    }
    fs::remove_all(work.path() / "target");
  }
  // Names that only begin like a device are ordinary everywhere.
  EXPECT_TRUE(Extract({{"console.txt", RawEntry("1")}, {"COM10", RawEntry("2")}, {"nully", RawEntry("3")}}))
      << Module().lastError;
  EXPECT_EQ(ReadFile(Target() / "COM10"), "2");
}

TEST_F(HostileNames, VeryLongNamesAreExtractedOrReportedNeverCut) {
  // The longest name most file systems take: the temporary file beside it
  // must not push it over the limit.
  const std::string longest(OnWindows() ? 120 : 255, 'n');
  EXPECT_TRUE(Extract({{longest, RawEntry("long")}})) << Module().lastError;
  EXPECT_EQ(ReadFile(Target() / longest), "long");
  // Deep trees are removed through the program's own file layer, which
  // reaches past the classic Windows path limit.
  sys::DeleteFolderTree(work.dir() + "target");

  // Too long for one level, and too long as a whole path (Windows takes
  // 32767 characters in the extended form): reported, and no file under a
  // shortened name, no temporary file left.
  std::string deep;
  while (deep.size() < 33000) deep += "a-level-with-a-longer-name\\";
  for (const std::string& name : {std::string(300, 'x'), deep + "file.txt"}) {
    SCOPED_TRACE(name.substr(0, 20));
    EXPECT_FALSE(Extract({{"first.txt", RawEntry("first")}, {name, RawEntry("too long")}}));
    EXPECT_NE(Module().lastError.find(" could not be "), std::string::npos) << Module().lastError;
    EXPECT_EQ(ReadFile(Target() / "first.txt"), "first");  // written before: stays
    for (const auto& [path, content] : Snapshot(work.path() / "target")) {
      EXPECT_TRUE(content == "<dir>" || path.ends_with("first.txt")) << path;
    }
    sys::DeleteFolderTree(work.dir() + "target");
  }
}

// Names that differ only in letter case are distinct files where the file
// system keeps case apart: each gets its own bytes. Where it does not, the
// second is an existing file for the overwrite rules.
TEST_F(HostileNames, NamesDifferingInCaseKeepTheirOwnBytes) {
  Module().OverwriteExisting = archive::kNoToAll;
  EXPECT_TRUE(Extract({{"README", RawEntry("upper")}, {"readme", RawEntry("lower")}, {"ReadMe", RawEntry("mixed")}}))
      << Module().lastError;
  EXPECT_EQ(ReadFile(Target() / "README"), "upper");
  if (!OnWindows()) {
    EXPECT_EQ(ReadFile(Target() / "readme"), "lower");
    EXPECT_EQ(ReadFile(Target() / "ReadMe"), "mixed");
  }
  // The single-entry read picks the exact spelling too, and falls back to
  // any letter case.
  compression::MemoryStream out;
  std::string letters;
  const std::string path = work.dir() + "names.bvarc";
  archive::ArchiveReadEntry(path, "readme", out, letters);
  EXPECT_EQ(out.ToString(), "lower");
  compression::MemoryStream fallback;
  archive::ArchiveReadEntry(path, "rEADME", fallback, letters);
  EXPECT_EQ(fallback.ToString(), "upper");
}

// The same name twice: the first entry is the one a lookup finds; the second
// occurrence meets an existing file and follows the overwrite answers.
TEST_F(HostileNames, DuplicateNamesFollowTheOverwriteRules) {
  const std::vector<StoredEntry> twice = {{"dup.txt", RawEntry("first")}, {"dup.txt", RawEntry("second")}};
  EXPECT_TRUE(Extract(twice));  // no window to ask: "No", the file stays
  EXPECT_EQ(ReadFile(Target() / "dup.txt"), "first");
  Module().OverwriteExisting = archive::kYesToAll;
  EXPECT_TRUE(Extract(twice));
  EXPECT_EQ(ReadFile(Target() / "dup.txt"), "first");
  EXPECT_EQ(Snapshot(Target()).size(), 1u);
}

// Characters that some platforms refuse in names: written or reported.
TEST_F(HostileNames, ForbiddenCharactersAreWrittenOrReported) {
  for (const std::string name : {"a?b.txt", "a*b.txt", "a<b>.txt", "a\"b\".txt", "tab\there.txt", "trailing. "}) {
    SCOPED_TRACE(name);
    if (Extract({{name, RawEntry("odd")}})) {
      EXPECT_EQ(Snapshot(Target()).size(), 1u);
    } else {
      EXPECT_FALSE(Module().lastError.empty());
      for (const auto& [path, content] : Snapshot(work.path() / "target")) EXPECT_EQ(content, "<dir>") << path;
    }
    fs::remove_all(work.path() / "target");
  }
}

// The listing reads the index and each entry's headers once: a hundred
// thousand entries list in moments, an entry whose container claims
// gigabytes costs no more than its own bytes, and names holding escape
// sequences are printed escaped.
TEST_F(HostileNames, ListingReadsOnlyTheIndexAndEscapesNames) {
  std::vector<StoredEntry> entries;
  for (int i = 0; i < 100000; ++i) entries.push_back({"f" + std::to_string(i), RawEntry("x")});
  entries.push_back({"esc\x1b]0;owned\x07\x1b[2J\xc2\x9b.txt", RawEntry("y"), "au"});
  // A container header claiming 40 GiB in blocks that are not there.
  std::string container = "AACS" + std::string(124, '\0');
  container[4] = 0, container[5] = 0, container[6] = 0, container[7] = 0x40;   // block size 1 GiB
  container[12] = 40;                                                          // 40 blocks
  entries.push_back({"huge.bin", CompressedEntry(container + std::string(32, '\0'))});
  const std::string path = WriteArchive(work, "many.bvarc", ArchiveBytes(entries));
  sys::StringWriter out;
  ASSERT_EQ(app::ListArchive(path, out), app::kExitSuccess);
  std::istringstream lines(out.Text());
  std::string line;
  size_t count = 0;
  while (std::getline(lines, line)) ++count;
  EXPECT_EQ(count, entries.size() + 1);
  EXPECT_EQ(out.Text().find('\x1b'), std::string::npos);
  EXPECT_NE(out.Text().find("esc\\x1b]0;owned\\x07\\x1b[2J\\u009b.txt\t1\t"), std::string::npos);
  EXPECT_NE(out.Text().find("huge.bin\t0\t"), std::string::npos);
}

// A stored folder whose path the file system cannot hold is an error that
// names it, not a success with the folder missing.
TEST_F(HostileNames, AFolderTooLongToCreateIsAnErrorNamingIt) {
  std::string deep;
  while (deep.size() < 4200) deep += "a-level-with-a-longer-name\\";
  deep += "last";
  EXPECT_FALSE(Extract({{"first.txt", RawEntry("first")}}, {deep}));
  EXPECT_NE(Module().lastError.find("could not be created"), std::string::npos) << Module().lastError;
  EXPECT_NE(Module().lastError.find("last"), std::string::npos) << Module().lastError;
  EXPECT_TRUE(Module().abort);
}

// Names stored without the letter "u" are legacy 8-bit text: read as
// Windows-1252 unless another code page is chosen; names with "u" are UTF-8.
TEST_F(HostileNames, NamesWithoutTheLetterUAreReadInTheLegacyCodePage) {
  if (OnWindows()) GTEST_SKIP() << "Windows reads legacy names in its own ANSI code page";
  const std::vector<StoredEntry> entries = {{"caf\xE9.txt", RawEntry("legacy")},
                                            {"\x8A-page.txt", RawEntry("page")},
                                            {"na\xC3\xAFve.txt", RawEntry("utf8"), "au"}};
  EXPECT_TRUE(Extract(entries)) << Module().lastError;
  EXPECT_EQ(ReadFile(Target() / "caf\xC3\xA9.txt"), "legacy");
  EXPECT_EQ(ReadFile(Target() / "\xC5\xA0-page.txt"), "page");  // 0x8A: S with caron
  EXPECT_EQ(ReadFile(Target() / "na\xC3\xAFve.txt"), "utf8");
  fs::remove_all(work.path() / "target");
  Module().legacyCodePage = 1251;
  EXPECT_TRUE(Extract(entries)) << Module().lastError;
  EXPECT_EQ(ReadFile(Target() / "\xD0\x89-page.txt"), "page");  // 0x8A: Cyrillic LJE
  EXPECT_EQ(ReadFile(Target() / "na\xC3\xAFve.txt"), "utf8");
}

}  // namespace
}  // namespace hostile
