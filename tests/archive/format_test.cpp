// The byte format: directory grammar, the checksum, reading the index, and
// refusing indexes that point outside the file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_index.h"
#include "archive/archive_layout.h"
#include "archive/checksum.h"
#include "archive/names.h"
#include "support/temp_dir.h"
#include "system/byte_order.h"
#include "system/files.h"

namespace archive {
namespace {

using testsupport::TempDir;

std::string Int64Bytes(int64_t value) {
  uint8_t bytes[8];
  sys::StoreI64(bytes, value);
  return std::string(reinterpret_cast<char*>(bytes), 8);
}

std::string Word(uint32_t value) { return Int64Bytes(value).substr(0, 4); }

// An archive assembled by hand: entries, then directory, table and trailer.
std::string BuildArchive(const std::string& entries, const std::string& directory,
                         const std::vector<int64_t>& table, int64_t checksum = 0) {
  std::string file = entries + directory;
  for (int64_t v : table) file += Int64Bytes(v);
  file += Int64Bytes(static_cast<int64_t>(table.size())) + Int64Bytes(static_cast<int64_t>(directory.size()));
  file += Int64Bytes(checksum) + Int64Bytes(layout::kFormatVersion);
  return file;
}

TEST(ParseDirectory, SplitsTheFourListsBetweenTheirMarkers) {
  StringList names, nameAttributes, folderAttributes, folders;
  ParseDirectory("@f|*|a.txt|@fa|a|a|@d|@da", names, nameAttributes, folderAttributes, folders);
  EXPECT_EQ(names, (StringList{"*", "a.txt"}));
  EXPECT_EQ(nameAttributes, (StringList{"a", "a"}));
  EXPECT_TRUE(folders.empty());
  EXPECT_TRUE(folderAttributes.empty());

  ParseDirectory("@f|x|@fa|a|@d|install_dir\\|temp_dir\\|@da|ad|d", names, nameAttributes,
                 folderAttributes, folders);
  EXPECT_EQ(folders, (StringList{"install_dir\\", "temp_dir\\"}));
  EXPECT_EQ(folderAttributes, (StringList{"ad", "d"}));
}

// The letters added after a, d, h, r, s (u, x, p) are only more letters to
// the grammar: the lists come out as for any other letter strings, and the
// letter helpers read their known letters by presence.
TEST(ParseDirectory, LettersBeyondTheFiveKnownOnesPassThrough) {
  StringList names, nameAttributes, folderAttributes, folders;
  ParseDirectory("@f|bin\\prog|caf\xC3\xA9.txt|@fa|ax|arup|@d|bin\\|@da|dp", names, nameAttributes, folderAttributes,
                 folders);
  EXPECT_EQ(names, (StringList{"bin\\prog", "caf\xC3\xA9.txt"}));
  EXPECT_EQ(nameAttributes, (StringList{"ax", "arup"}));
  EXPECT_EQ(folders, StringList{"bin\\"});
  EXPECT_EQ(folderAttributes, StringList{"dp"});
  EXPECT_EQ(sys::AttributeMask("arup"), sys::AttributeMask("ar"));
}

TEST(ParseDirectory, FourItemsOrFewerGiveNothingAndSurplusLettersAreDropped) {
  StringList names{"stale"}, nameAttributes{"stale"}, folderAttributes, folders;
  ParseDirectory("@f|@fa|@d|@da", names, nameAttributes, folderAttributes, folders);
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(nameAttributes.empty());
  ParseDirectory("@f|a|@fa|||@d|@da", names, nameAttributes, folderAttributes, folders);
  EXPECT_EQ(names, StringList{"a"});
  EXPECT_EQ(nameAttributes, StringList{""});  // the empty letter strings, one too many
  ParseDirectory("@f|a|@fa|a|@d|f|@da|d|x|y", names, nameAttributes, folderAttributes, folders);
  EXPECT_EQ(folderAttributes, (StringList{"d", "x"}));  // only one surplus item is dropped
}

TEST(Checksum, SumsModuloTwoToTheThirtyTwoMinusOne) {
  std::string bytes = Word(0xFFFFFFF0) + Word(0x0F);  // reaches 2^32 - 1 exactly
  EXPECT_EQ(SumWords(reinterpret_cast<const uint8_t*>(bytes.data()), 2), 0u);
  bytes = Word(0xFFFFFFFF) + Word(0xFFFFFFFF) + Word(7);
  EXPECT_EQ(SumWords(reinterpret_cast<const uint8_t*>(bytes.data()), 3), 7u);
  // Many large words: the wide accumulators must not lose carries.
  std::string many;
  for (int i = 0; i < 1001; ++i) many += Word(0xFFFFFFFE);
  const uint64_t expected = (1001ull * 0xFFFFFFFEull) % 0xFFFFFFFFull;
  EXPECT_EQ(SumWords(reinterpret_cast<const uint8_t*>(many.data()), 1001), expected);
}

TEST(Checksum, CoversAllButTheLastFourWordsAndTheTailBytes) {
  TempDir dir;
  // 7 whole words + 3 tail bytes: words 0..2 are covered.
  std::string content = Word(1) + Word(2) + Word(3) + Int64Bytes(0) + Int64Bytes(1) + "xyz";
  const std::string path = dir.Write("a.bvarc", content);
  ChecksumPass pass = ArchiveWriteChecksum(path, nullptr, nullptr);
  ASSERT_TRUE(pass.completed);
  EXPECT_EQ(pass.sum, 6u);
  // The stored field sits 16 bytes before the end.
  std::string written = testsupport::ReadFile(path);
  EXPECT_EQ(written.substr(written.size() - 16, 8), Int64Bytes(6));
  EXPECT_TRUE(ArchiveVerify(path, nullptr, nullptr));

  written.back() = 'Q';  // an uncovered tail byte
  dir.Write("a.bvarc", written);
  EXPECT_TRUE(ArchiveVerify(path, nullptr, nullptr));
  written[1] = 1;  // a covered byte
  dir.Write("a.bvarc", written);
  EXPECT_FALSE(ArchiveVerify(path, nullptr, nullptr));
}

struct HookLog {
  std::vector<int> percents;
  std::vector<std::string> texts;
  int cancelAt = -1;
};

bool LogHook(void* context, const std::string& text, int percent) {
  auto* log = static_cast<HookLog*>(context);
  log->percents.push_back(percent);
  log->texts.push_back(text);
  return percent != log->cancelAt;
}

TEST(Checksum, ReportsFiveStopsAndOneHundredAndHonoursCancel) {
  TempDir dir;
  const std::string path = dir.Write("a.bvarc", std::string(4000, '\x11'));
  HookLog log;
  EXPECT_TRUE(ArchiveWriteChecksum(path, LogHook, &log).completed);
  EXPECT_EQ(log.percents, (std::vector<int>{0, 20, 40, 60, 80, 100}));
  EXPECT_EQ(log.texts.front(), "Creating Verification Data");

  HookLog verifyLog;
  verifyLog.cancelAt = 40;
  const std::string before = testsupport::ReadFile(path);
  EXPECT_FALSE(ArchiveVerify(path, LogHook, &verifyLog));
  EXPECT_EQ(verifyLog.texts.front(), "Verifying Data Integrity");
  EXPECT_EQ(verifyLog.percents.back(), 40);

  HookLog writeLog;
  writeLog.cancelAt = 60;
  dir.Write("b.bvarc", std::string(4000, '\x22'));
  EXPECT_FALSE(ArchiveWriteChecksum(dir.dir() + "b.bvarc", LogHook, &writeLog).completed);
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "b.bvarc"), std::string(4000, '\x22'));
}

// A file that passed is not summed again while it stays as it was, but any
// rewrite of it, even in place and to the same size, is summed again.
TEST(Checksum, APassedFileIsSummedAgainOnceRewritten) {
  TempDir dir;
  const std::string path = dir.Write("a.bvarc", std::string(4000, '\x11'));
  ASSERT_TRUE(ArchiveWriteChecksum(path, nullptr, nullptr).completed);
  // Only a file settled for a while is remembered.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  ASSERT_TRUE(ArchiveVerify(path, nullptr, nullptr));
  HookLog log;
  log.cancelAt = 60;
  EXPECT_FALSE(ArchiveVerify(path, LogHook, &log));
  EXPECT_EQ(log.percents, (std::vector<int>{0, 20, 40, 60}));
  EXPECT_TRUE(ArchiveVerify(path, nullptr, nullptr));

  std::string content = testsupport::ReadFile(path);
  content[5] = '\x12';
  dir.Write("a.bvarc", content);
  EXPECT_FALSE(ArchiveVerify(path, nullptr, nullptr));
}

TEST(Checksum, ShortAndMissingFilesFail) {
  TempDir dir;
  EXPECT_FALSE(ArchiveVerify(dir.Write("short", std::string(19, '\0')), nullptr, nullptr));
  EXPECT_FALSE(ArchiveVerify(dir.dir() + "missing", nullptr, nullptr));
  EXPECT_FALSE(ArchiveWriteChecksum(dir.dir() + "missing", nullptr, nullptr).completed);
}

TEST(ArchiveReadIndex, ReadsAndFiltersByFolder) {
  TempDir dir;
  const std::string directory =
      "@f|top.txt|temp_dir\\license.txt|temp_dir\\sub\\x.htm|@fa|a|ar|a|@d|temp_dir\\|temp_dir\\sub|@da|ad|d";
  const std::string entries = std::string(1, '\x80') + std::string(3, '\x80') + std::string(2, '\x80');
  const std::string path = dir.Write(
      "a.bvarc", BuildArchive(entries, directory, {0, 11, 1, 22, 4, 33, 6}));
  StringList names, nameAttributes, folders, folderAttributes;
  std::vector<int64_t> table;
  EXPECT_EQ(ArchiveReadIndex(path, "\\", true, names, nameAttributes, folders, folderAttributes, table), 3);
  EXPECT_EQ(table, (std::vector<int64_t>{0, 11, 1, 22, 4, 33, 6}));

  EXPECT_EQ(ArchiveReadIndex(path, "temp_dir", true, names, nameAttributes, folders, folderAttributes, table), 2);
  EXPECT_EQ(names, (StringList{"license.txt", "sub\\x.htm"}));
  EXPECT_EQ(nameAttributes, (StringList{"ar", "a"}));
  EXPECT_EQ(folders, (StringList{"", "sub"}));
  EXPECT_EQ(table.size(), 7u);  // unfiltered

  EXPECT_EQ(ArchiveReadIndex(path, "\\TEMP_DIR\\", false, names, nameAttributes, folders, folderAttributes, table), 1);
  EXPECT_EQ(names, StringList{"license.txt"});
}

// The index kept for a settled file is handed out again only while the file
// stays as it was: rewritten in place to the same size, it is read anew.
TEST(ArchiveReadIndex, AKeptIndexIsReadAgainOnceTheFileIsRewritten) {
  TempDir dir;
  const auto archiveNaming = [](const std::string& name) {
    return BuildArchive(std::string(10, '\x80'), "@f|" + name + "|b|@fa|a|a|@d|@da", {0, 0, 1, 0, 10});
  };
  const std::string path = dir.Write("a.bvarc", archiveNaming("one"));
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // kept only once settled
  StringList names, nameAttributes, folders, folderAttributes;
  std::vector<int64_t> table;
  for (int read = 0; read < 2; ++read) {
    ASSERT_EQ(ArchiveReadIndex(path, "\\", true, names, nameAttributes, folders, folderAttributes, table), 2);
    EXPECT_EQ(names, (StringList{"one", "b"}));
  }
  dir.Write("a.bvarc", archiveNaming("two"));
  ASSERT_EQ(ArchiveReadIndex(path, "\\", true, names, nameAttributes, folders, folderAttributes, table), 2);
  EXPECT_EQ(names, (StringList{"two", "b"}));
}

TEST(ArchiveReadIndex, RefusesIndexesThatPointOutsideTheFile) {
  TempDir dir;
  const std::string directory = "@f|a|b|@fa|a|a|@d|@da";
  const std::string entries(10, '\x80');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"table count beyond the file", BuildArchive(entries, directory, {0, 0, 1, 0, 10}).replace(
                                          10 + directory.size() + 40, 8, Int64Bytes(1LL << 60))},
      {"directory size beyond the file", BuildArchive(entries, directory, {0, 0, 1, 0, 10}).replace(
                                             10 + directory.size() + 48, 8, Int64Bytes(5000))},
      {"negative directory size", BuildArchive(entries, directory, {0, 0, 1, 0, 10}).replace(
                                      10 + directory.size() + 48, 8, Int64Bytes(-3))},
      {"counts that disagree", BuildArchive(entries, directory, {0, 0, 10})},
      {"entry past the directory", BuildArchive(entries, directory, {0, 0, 1, 0, 11})},
      {"entries out of order", BuildArchive(entries, directory, {0, 0, 5, 0, 3})},
      {"negative offset", BuildArchive(entries, directory, {-4, 0, 1, 0, 10})},
      {"empty stored entry", BuildArchive(entries, directory, {0, 0, 0, 0, 10})},
      {"too short", std::string(31, '\0')},
  };
  for (const auto& [what, bytes] : cases) {
    const std::string path = dir.Write("bad.bvarc", bytes);
    StringList names, nameAttributes, folders, folderAttributes;
    std::vector<int64_t> table;
    try {
      ArchiveReadIndex(path, "", true, names, nameAttributes, folders, folderAttributes, table);
      ADD_FAILURE() << what << ": accepted";
    } catch (const DamagedArchive& error) {
      EXPECT_EQ(std::string(error.what()), "There are error(s) in the file " + path + ".") << what;
    }
  }
}

TEST(StoredNames, OnlyRelativeNamesInsideTheTargetAreSafe) {
  for (const char* safe : {"a.txt", "install_dir\\help.htm", "temp_dir\\", "", "a..b\\c.d", ".profile"}) {
    EXPECT_TRUE(IsSafeStoredName(safe)) << safe;
  }
  for (const char* unsafe : {"..\\x", "a\\..\\..\\x", "\\abs", "\\\\server\\share\\x", "C:\\x", "c:x",
                             "a/../../x", "/etc/passwd", "a\\.\\b", "..", "a\\ . \\b", "a\\\\b"}) {
    EXPECT_FALSE(IsSafeStoredName(unsafe)) << unsafe;
  }
}

}  // namespace
}  // namespace archive
