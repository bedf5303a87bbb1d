// Writing archives and reading them back through the engine's own readers.
#include <gtest/gtest.h>

#include "archive/archive_index.h"
#include "archive/archive_layout.h"
#include "archive/checksum.h"
#include "archive/entry_flags.h"
#include "archive_test_support.h"

using namespace std::string_literals;
#include "compression/stream.h"

namespace archive::testing {
namespace {

using testsupport::ReadFile;

TEST(EntryFlags, LettersAndAttributes) {
  EXPECT_EQ(EntryFlagsToLetters(0xF9), "dahrs");
  EXPECT_EQ(EntryFlagsToLetters(0x81), "a");
  EXPECT_EQ(EntryFlagsToLetters(0x01), "");
  testsupport::TempDir dir;
  const std::string file = dir.Write("f.txt", "x");
  EXPECT_TRUE(ApplyEntryFlags(file, 0xA0));
  EXPECT_EQ(EntryFlagsFromFile(file) & layout::kFlagReadOnly, layout::kFlagReadOnly);
  EXPECT_TRUE(ApplyEntryFlags(file, 0x80));
  EXPECT_EQ(EntryFlagsFromFile(file) & layout::kFlagReadOnly, 0);
  EXPECT_EQ(EntryFlagsFromFile(dir.dir() + "missing"), 0);
  EXPECT_FALSE(ApplyEntryFlags(dir.dir() + "missing", 0x80));
}

// A small folder written with the stored mode "none", so that every byte of
// the archive can be written down by hand.
TEST_F(ArchiveTest, WrittenArchiveMatchesTheHandComputedLayout) {
  ArchiveSetCodec("none", compression::CompressStreamCallback, compression::ExpandStreamCallback);
  const std::string stub = WriteDated("stub.exe", "MZstub");
  WriteDated("src/.hidden", "hid");
  WriteDated("src/empty.txt", "");
  WriteDated("src/empty.zip", "");
  WriteDated("src/PHOTO.JPG", "JPEGDATA");
  WriteDated("src/readonly.txt", "ro");
  WriteDated("src/sub/inner.txt", "in", kDate2021);
  sys::ApplyAttributeLetters(dir.dir() + "src/.hidden", "ah");
  sys::ApplyAttributeLetters(dir.dir() + "src/readonly.txt", "ar");
  const std::string archivePath = dir.dir() + "out.bvarc";

  ASSERT_TRUE(ArchiveCreateFromFolder(archivePath, dir.dir() + "src", kAllEntriesFilter, nullptr, nullptr, stub));

  const std::string directory =
      "@f|*|.hidden|empty.txt|empty.zip|PHOTO.JPG|readonly.txt|sub\\inner.txt"
      "|@fa|a|ah|a|a|a|ar|a|@d|sub\\|@da|d";
  std::string entries = "MZstub";                                       // 0: stub, 6 bytes
  entries += std::string("\x91") + Int64Bytes(3) + "hid";               // 6: hidden, compressed bit, 12
  entries += "\x80";                                                    // 18: empty .txt, 1
  entries += std::string("\x80") + Int64Bytes(0);                       // 19: empty .zip, raw, 9
  entries += std::string("\x80") + Int64Bytes(8) + "JPEGDATA";          // 28: .JPG raw, 17
  entries += std::string("\xA1") + Int64Bytes(2) + "ro";                // 45: read-only, 11
  entries += std::string("\x81") + Int64Bytes(2) + "in";                // 56: sub\inner.txt, 11
  std::string table;
  const int64_t offsets[] = {0, 6, 18, 19, 28, 45, 56};
  for (int i = 0; i < 7; ++i) table += Int64Bytes(offsets[i]) + Int64Bytes(i == 6 ? kDate2021 : kDate2020);
  table += Int64Bytes(67);
  const std::string body = entries + directory + table + Int64Bytes(15) + Int64Bytes(directory.size());

  const std::string written = ReadFile(archivePath);
  ASSERT_EQ(written.size(), body.size() + 16);
  EXPECT_EQ(written.substr(0, body.size()), body);
  EXPECT_EQ(written.substr(written.size() - 8), Int64Bytes(1));
  // The checksum, summed here independently of the engine.
  uint64_t sum = 0;
  for (size_t w = 0; w + 4 < written.size() / 4; ++w) {
    uint32_t word = 0;
    for (int b = 3; b >= 0; --b) word = word << 8 | static_cast<uint8_t>(written[w * 4 + b]);
    sum = (sum + word) % 0xFFFFFFFFull;
  }
  EXPECT_EQ(written.substr(written.size() - 16, 8), Int64Bytes(static_cast<int64_t>(sum)));

  // And back: every file with its bytes, date and attributes.
  const std::string target = dir.dir() + "dest";
  ASSERT_TRUE(ArchiveExtractAll(archivePath, target, nullptr, nullptr));
  EXPECT_FALSE(sys::FileExists(target + "/*"));
  for (const char* name : {".hidden", "empty.txt", "empty.zip", "PHOTO.JPG", "readonly.txt", "sub/inner.txt"}) {
    EXPECT_EQ(ReadFile(target + "/" + name), ReadFile(dir.dir() + "src/" + name)) << name;
    EXPECT_EQ(sys::FileDosDateTime(target + "/" + name), sys::FileDosDateTime(dir.dir() + "src/" + name)) << name;
  }
  EXPECT_EQ(sys::AttributeLetters(target + "/readonly.txt"), "ar");
  EXPECT_EQ(sys::AttributeLetters(target + "/.hidden"), sys::AttributeLetters(dir.dir() + "src/.hidden"));
}

TEST_F(ArchiveTest, CompressionPathAndRawPath) {
  const std::string text(5000, 'z');
  WriteDated("src/big.txt", text);
  WriteDated("src/photo.png", text);
  WriteDated("src/notes.txt", "");
  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(ArchiveCreateFromFolder(archivePath, dir.dir() + "src", kAllEntriesFilter, nullptr, nullptr, ""));

  compression::FileStream file(NativePath(archivePath), compression::FileStream::Mode::Read);
  const ArchiveIndex index = ReadArchiveIndex(file, archivePath);
  ASSERT_EQ(index.names, (StringList{"big.txt", "notes.txt", "photo.png"}));
  EXPECT_EQ(index.EntryOffset(0), 0);  // no stub: the first entry starts the file
  EXPECT_LT(index.StoredLength(0), 1000);  // compressed
  EXPECT_EQ(index.StoredLength(1), 1);     // the one-byte empty entry
  EXPECT_EQ(index.StoredLength(2), 5009);  // raw: flags, length, bytes
  const std::string bytes = ReadFile(archivePath);
  EXPECT_EQ(static_cast<uint8_t>(bytes[0]) & layout::kFlagCompressed, layout::kFlagCompressed);
  EXPECT_EQ(bytes.substr(9, 4), "AACS");

  compression::MemoryStream out;
  std::string letters;
  EXPECT_EQ(ArchiveReadEntry(archivePath, "BIG.TXT", out, letters), kDate2020);
  EXPECT_EQ(out.ToString(), text);
  EXPECT_EQ(letters, "a");
  compression::MemoryStream none;
  EXPECT_EQ(ArchiveReadEntry(archivePath, "absent", none, letters), 0);
  EXPECT_EQ(none.Size(), 0);
}

// A compress hook that stores nothing: the test is about which files reach it.
int64_t EmptyRecordHook(compression::Stream&, compression::Stream& archive, const std::string&) {
  const std::string length = Int64Bytes(0);
  archive.WriteExact(length.data(), 8);
  return 8;
}

TEST_F(ArchiveTest, FilesAboveSixtyFourMillionBytesAreStoredRaw) {
  std::filesystem::create_directories(dir.path() / "src");
  std::filesystem::resize_file(dir.Write("src/at_limit.bin", ""), 64'000'000);
  std::filesystem::resize_file(dir.Write("src/over_limit.bin", ""), 64'000'001);
  ArchiveSetCodec("normal", EmptyRecordHook, nullptr);
  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(ArchiveCreateFromFolder(archivePath, dir.dir() + "src", kAllEntriesFilter, nullptr, nullptr, ""));
  compression::FileStream file(NativePath(archivePath), compression::FileStream::Mode::Read);
  const ArchiveIndex index = ReadArchiveIndex(file, archivePath);
  ASSERT_EQ(index.names, (StringList{"at_limit.bin", "over_limit.bin"}));
  EXPECT_EQ(index.StoredLength(0), 9);  // flags + the hook's 8 bytes
  EXPECT_EQ(index.StoredLength(1), 64'000'001 + 9);
}

TEST_F(ArchiveTest, EmptyFolderWritesNothing) {
  std::filesystem::create_directories(dir.path() / "empty");
  const std::string archivePath = dir.dir() + "a.bvarc";
  EXPECT_FALSE(ArchiveCreateFromFolder(archivePath, dir.dir() + "empty", kAllEntriesFilter, nullptr, nullptr, ""));
  EXPECT_FALSE(sys::FileExists(archivePath));
}

// The entry order is the same whatever order the file system lists in:
// items given in either order, and names equal but for letter case, come
// out in one order.
TEST_F(ArchiveTest, ExpandedItemsHaveOneOrder) {
  WriteDated("project/Beta.txt", "1");
  WriteDated("project/alpha/b.txt", "2");
  WriteDated("project/alpha/A.txt", "3");
  WriteDated("project/alpha/a.txt", "4");
  const std::string base = dir.dir() + "project";
  const ExpandedItems forward = ExpandItems(base, {"alpha", "Beta.txt"}, kAllEntriesFilter);
  const ExpandedItems backward = ExpandItems(base, {"Beta.txt", "alpha"}, kAllEntriesFilter);
  EXPECT_EQ(forward.files, backward.files);
  EXPECT_EQ(forward.folders, backward.folders);
  if (ReadFile(dir.dir() + "project/alpha/A.txt") == "3") {  // a file system that tells the two apart
    EXPECT_EQ(forward.files, (StringList{"alpha\\A.txt", "alpha\\a.txt", "alpha\\b.txt", "Beta.txt"}));
  }
}

// The build's item "install\=temp_dir\" stores the folder's files under
// temp_dir\; extraction of a folder selects by prefix or exact folder.
TEST_F(ArchiveTest, FolderItemWithStoredNameAndFolderExtraction) {
  WriteDated("project/install/license.txt", "licence");
  WriteDated("project/install/sub/page.htm", "page");
  WriteDated("project/install.dat", "line one\r\nline two\n");
  const std::string base = dir.dir() + "project";
  const ExpandedItems expanded = ExpandItems(base, {"install\\=temp_dir\\", "install.dat"}, kAllEntriesFilter);
  EXPECT_EQ(expanded.folders, (StringList{"install\\=temp_dir\\", "install\\sub=temp_dir\\sub"}));
  EXPECT_EQ(expanded.files, (StringList{"install.dat", "install\\license.txt=temp_dir\\license.txt",
                                        "install\\sub\\page.htm=temp_dir\\sub\\page.htm"}));

  const std::string archivePath = dir.dir() + "pkg.bvarc";
  ASSERT_TRUE(ArchiveCreate(archivePath, base, "install\\=temp_dir\\|install.dat", kAllEntriesFilter, "", nullptr,
                            nullptr));
  StringList folders;
  EXPECT_EQ(ArchiveListFolders(archivePath, "\\", folders), 3);
  EXPECT_EQ(folders, (StringList{"temp_dir\\", "temp_dir\\sub"}));

  StringList lines;
  EXPECT_TRUE(ArchiveReadTextEntry(archivePath, "\\install.dat", lines));
  EXPECT_EQ(lines, (StringList{"line one", "line two"}));
  EXPECT_FALSE(ArchiveReadTextEntry(archivePath, "nothing.dat", lines));
  EXPECT_TRUE(lines.empty());

  const std::string flat = dir.dir() + "flat";
  ASSERT_TRUE(ArchiveExtractFolder(archivePath, "temp_dir", flat, false, nullptr, nullptr));
  EXPECT_EQ(ReadFile(flat + "/license.txt"), "licence");
  EXPECT_FALSE(sys::FileExists(flat + "/sub/page.htm"));
  EXPECT_FALSE(sys::FileExists(flat + "/install.dat"));

  const std::string deep = dir.dir() + "deep";
  ASSERT_TRUE(ArchiveExtractFolder(archivePath, "\\temp_dir\\", deep, true, nullptr, nullptr));
  EXPECT_EQ(ReadFile(deep + "/license.txt"), "licence");
  EXPECT_EQ(ReadFile(deep + "/sub/page.htm"), "page");
}

TEST_F(ArchiveTest, StubEntryWithTail) {
  WriteDated("stub.exe", "MZ-the-program");
  WriteDated("files/readme.txt", "read me");
  const std::string archivePath = dir.dir() + "setup.exe";
  ASSERT_TRUE(ArchiveCreate(archivePath, dir.dir() + "files", StringList{"readme.txt"}, kAllEntriesFilter,
                            dir.dir() + "stub.exe", nullptr, nullptr));
  const std::string uninstaller = dir.dir() + "uninstall.exe";
  ASSERT_TRUE(ArchiveExtractEntry(archivePath, "*", uninstaller, 5'258'792));
  EXPECT_EQ(ReadFile(uninstaller), std::string("MZ-the-program") + "\x28\x3e\x50\x00\x00\x00\x00\x00"s);
  EXPECT_EQ(sys::FileDosDateTime(uninstaller), kDate2020);
  EXPECT_FALSE(ArchiveExtractEntry(archivePath, "absent", dir.dir() + "none", 0));
  EXPECT_FALSE(sys::FileExists(dir.dir() + "none"));
  // The stub is not extracted with the files.
  ASSERT_TRUE(ArchiveExtractAll(archivePath, dir.dir() + "all", nullptr, nullptr));
  EXPECT_EQ(ReadFile(dir.dir() + "all/readme.txt"), "read me");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "all"), {}), 1);
}

TEST_F(ArchiveTest, UnreadableSourceFailsAndLeavesNoArchive) {
  WriteDated("files/a.txt", "a");
  const std::string archivePath = dir.dir() + "a.bvarc";
  EXPECT_FALSE(ArchiveCreate(archivePath, dir.dir() + "files", "a.txt|missing.txt", kAllEntriesFilter, "", nullptr,
                             nullptr));
  EXPECT_FALSE(sys::FileExists(archivePath));
  EXPECT_NE(Module().lastError.find("missing.txt"), std::string::npos) << Module().lastError;
  EXPECT_TRUE(Module().abort);
}

TEST_F(ArchiveTest, NamesThatCannotBeStoredAreRefusedWhenWriting) {
  WriteDated("files/a.txt", "a");
  const std::string archivePath = dir.dir() + "a.bvarc";
  for (const char* item : {"a.txt=..\\up.txt", "a.txt=", "a.txt=@fa", "a.txt=C:\\x.txt"}) {
    EXPECT_FALSE(ArchiveCreate(archivePath, dir.dir() + "files", item, kAllEntriesFilter, "", nullptr, nullptr))
        << item;
    EXPECT_FALSE(sys::FileExists(archivePath)) << item;
  }
}

struct CancelAfter {
  int calls = 0;
  int limit = 0;
};

bool CountingHook(void* context, const std::string&, int) {
  auto* cancel = static_cast<CancelAfter*>(context);
  return ++cancel->calls <= cancel->limit;
}

TEST_F(ArchiveTest, CancelledCreationDeletesThePartialArchive) {
  WriteDated("files/a.txt", "a");
  WriteDated("files/b.txt", "b");
  const std::string archivePath = dir.dir() + "a.bvarc";
  CancelAfter cancel{0, 1};
  EXPECT_FALSE(ArchiveCreateFromFolder(archivePath, dir.dir() + "files", kAllEntriesFilter, CountingHook, &cancel, ""));
  EXPECT_FALSE(sys::FileExists(archivePath));
  EXPECT_TRUE(Module().abort);
}

}  // namespace
}  // namespace archive::testing
