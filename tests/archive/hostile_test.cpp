// Archives built to do harm or damaged in transit: they are refused with a
// message, and nothing is written outside the target (mostly nothing at all).
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive_layout.h"
#include "archive/checksum.h"
#include "archive_test_support.h"
#include "compression/stream.h"

namespace archive::testing {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

// Raw entries, each "\x80" + length + bytes, named as given; with a valid
// checksum so that only the names or layout can be at fault.
std::string WriteHandMadeArchive(const testsupport::TempDir& dir, const StringList& names,
                                 const StringList& folders = {}) {
  std::string entries;
  std::string table;
  StringList letters(names.size(), "a");
  for (size_t i = 0; i < names.size(); ++i) {
    table += Int64Bytes(static_cast<int64_t>(entries.size())) + Int64Bytes(kDate2020);
    entries += std::string("\x80") + Int64Bytes(3) + "bad";
  }
  table += Int64Bytes(static_cast<int64_t>(entries.size()));
  std::string directory = "@f";
  for (const std::string& name : names) directory += "|" + name;
  directory += "|@fa";
  for (const std::string& l : letters) directory += "|" + l;
  directory += "|@d";
  for (const std::string& f : folders) directory += "|" + f;
  directory += "|@da";
  for (size_t i = 0; i < folders.size(); ++i) directory += "|d";
  const std::string bytes = entries + directory + table + Int64Bytes(static_cast<int64_t>(2 * names.size() + 1)) +
                            Int64Bytes(static_cast<int64_t>(directory.size())) + Int64Bytes(0) + Int64Bytes(1);
  const std::string path = dir.Write("hostile.bvarc", bytes);
  EXPECT_TRUE(ArchiveWriteChecksum(path, nullptr, nullptr).completed);
  return path;
}

size_t FilesBelow(const fs::path& folder) {
  size_t count = 0;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::end(it); it.increment(error)) {
    if (!it->is_directory()) ++count;
  }
  return count;
}

TEST_F(ArchiveTest, NamesThatLeaveTheTargetAreRefusedBeforeAnythingIsWritten) {
  const std::vector<std::pair<StringList, StringList>> cases = {
      {{"good.txt", "..\\escape.txt"}, {}},
      {{"good.txt", "sub\\..\\..\\escape.txt"}, {}},
      {{"good.txt", "\\absolute.txt"}, {}},
      {{"good.txt", "\\\\server\\share\\x.txt"}, {}},
      {{"good.txt", "C:\\x.txt"}, {}},
      {{"good.txt", "c:x.txt"}, {}},
      {{"good.txt", "../escape.txt"}, {}},
      {{"good.txt"}, {"..\\outside"}},
  };
  for (const auto& [names, folders] : cases) {
    testsupport::TempDir work;
    const std::string archivePath = WriteHandMadeArchive(work, names, folders);
    const std::string target = work.dir() + "target/inner";
    EXPECT_FALSE(ArchiveExtractAll(archivePath, target, nullptr, nullptr)) << names.back();
    EXPECT_EQ(FilesBelow(work.path()), 1u) << names.back();  // the archive alone
    EXPECT_FALSE(fs::exists(work.path() / "target" / "outside"));
    EXPECT_NE(Module().lastError.find("outside the target folder"), std::string::npos) << Module().lastError;
    EXPECT_NE(Module().lastError.find(names.size() > 1 ? names.back() : folders.back()), std::string::npos);
    EXPECT_TRUE(Module().abort);
  }
}

TEST_F(ArchiveTest, DamagedArchivesAreRefusedWithTheDamageMessage) {
  WriteDated("src/a.txt", std::string(3000, 'a'));
  WriteDated("src/b.txt", "bbbb");
  const std::string good = dir.dir() + "good.bvarc";
  ASSERT_TRUE(ArchiveCreateFromFolder(good, dir.dir() + "src", kAllEntriesFilter, nullptr, nullptr, ""));
  const std::string bytes = ReadFile(good);
  const size_t size = bytes.size();

  struct Case {
    const char* what;
    std::string content;
    bool rechecksum;  // give it a matching checksum, so only the layout is wrong
  };
  auto patched = [&](size_t at, const std::string& with) { return std::string(bytes).replace(at, with.size(), with); };
  const std::vector<Case> cases = {
      {"flipped byte", patched(20, "\x7f"), false},
      {"truncated", bytes.substr(0, size - 40), false},
      {"table count past the start", patched(size - 32, Int64Bytes(1LL << 40)), true},
      {"directory size past the start", patched(size - 24, Int64Bytes(size)), true},
      {"entry length past its end", patched(1 + 0, Int64Bytes(1 << 20)).substr(0), true},
      {"empty file", "", false},
  };
  for (const Case& c : cases) {
    testsupport::TempDir work;
    const std::string path = work.Write("bad.bvarc", c.content);
    if (c.rechecksum) ArchiveWriteChecksum(path, nullptr, nullptr);
    Module().abort = false;
    EXPECT_FALSE(ArchiveExtractAll(path, work.dir() + "target", nullptr, nullptr)) << c.what;
    EXPECT_EQ(Module().lastError, "There are error(s) in the file " + path + ".") << c.what;
    EXPECT_FALSE(sys::FileExists(work.dir() + "target/b.txt")) << c.what;
    EXPECT_EQ(FilesBelow(work.path()), 1u) << c.what;
  }
}

TEST_F(ArchiveTest, SingleEntryReadsCheckBoundsToo) {
  WriteDated("src/a.txt", "aaaa");
  const std::string good = dir.dir() + "good.bvarc";
  ASSERT_TRUE(ArchiveCreateFromFolder(good, dir.dir() + "src", kAllEntriesFilter, nullptr, nullptr, ""));
  std::string bytes = ReadFile(good);
  // The raw entry's own length field claims far more than its stored length.
  ArchiveSetCodec("zlibmax", nullptr, nullptr);
  bytes.replace(1, 8, Int64Bytes(1'000'000));
  const std::string bad = dir.Write("bad.bvarc", bytes);
  compression::MemoryStream out;
  std::string letters;
  EXPECT_THROW(ArchiveReadEntry(bad, "a.txt", out, letters), DamagedArchive);
  EXPECT_THROW(ArchiveExtractEntry(bad, "a.txt", dir.dir() + "x.txt", 0), DamagedArchive);
  EXPECT_FALSE(sys::FileExists(dir.dir() + "x.txt"));
  EXPECT_THROW(ArchiveExtractEntry(dir.dir() + "missing.bvarc", "a.txt", dir.dir() + "x.txt", 0),
               compression::StreamError);
  const std::string tiny = dir.Write("tiny.bvarc", "short");
  StringList folders;
  EXPECT_THROW(ArchiveListFolders(tiny, "\\", folders), DamagedArchive);
}

// A corrupted compressed entry fails to decode: the user's existing file is
// left exactly as it was and no temporary file remains.
TEST_F(ArchiveTest, DecodeErrorNeverDestroysTheExistingFile) {
  WriteDated("src/doc.txt", std::string(20000, 'd') + "end");
  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(ArchiveCreateFromFolder(archivePath, dir.dir() + "src", kAllEntriesFilter, nullptr, nullptr, ""));
  std::string bytes = ReadFile(archivePath);
  compression::FileStream file(NativePath(archivePath), compression::FileStream::Mode::Read);
  const ArchiveIndex index = ReadArchiveIndex(file, archivePath);
  const size_t lastPayloadByte = static_cast<size_t>(index.EntryOffset(0) + index.StoredLength(0) - 1);
  bytes[lastPayloadByte] = static_cast<char>(bytes[lastPayloadByte] ^ 0x55);
  const std::string corrupt = dir.Write("corrupt.bvarc", bytes);
  ASSERT_TRUE(ArchiveWriteChecksum(corrupt, nullptr, nullptr).completed);

  const std::string existing = WriteDated("dest/doc.txt", "precious", kDate2021);
  Module().OverwriteExisting = kYesToAll;
  EXPECT_FALSE(ArchiveExtractAll(corrupt, dir.dir() + "dest", nullptr, nullptr));
  EXPECT_EQ(ReadFile(existing), "precious");
  EXPECT_EQ(FilesBelow(dir.path() / "dest"), 1u);
  EXPECT_NE(Module().lastError.find("doc.txt could not be extracted"), std::string::npos) << Module().lastError;
}

TEST_F(ArchiveTest, NeverWritesThroughASymbolicLinkInTheTarget) {
  WriteDated("src/sub/victim.txt", "from archive");
  WriteDated("src/top.txt", "top");
  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(ArchiveCreateFromFolder(archivePath, dir.dir() + "src", kAllEntriesFilter, nullptr, nullptr, ""));
  fs::create_directories(dir.path() / "elsewhere");
  fs::create_directories(dir.path() / "dest");
  std::error_code error;
  fs::create_directory_symlink(dir.path() / "elsewhere", dir.path() / "dest" / "sub", error);
  if (error) GTEST_SKIP() << "symbolic links cannot be made here";
  Module().OverwriteExisting = kYesToAll;
  EXPECT_FALSE(ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr));
  EXPECT_FALSE(fs::exists(dir.path() / "elsewhere" / "victim.txt"));
  EXPECT_NE(Module().lastError.find("symbolic link"), std::string::npos);

  // A link in place of the file itself is not followed either.
  fs::remove(dir.path() / "dest" / "sub");
  const std::string outside = WriteDated("outside.txt", "keep");
  fs::create_symlink(outside, dir.path() / "dest" / "top.txt");
  EXPECT_FALSE(ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr));
  EXPECT_EQ(ReadFile(outside), "keep");
}

}  // namespace
}  // namespace archive::testing
