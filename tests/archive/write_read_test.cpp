// Writing archives and reading them back through the engine's own readers.
#include <gtest/gtest.h>

#include "archive/archive_index.h"
#include "archive/archive_layout.h"
#include "archive/checksum.h"
#include "archive/entry_flags.h"
#include "archive_test_support.h"

using namespace std::string_literals;
#include "compression/stream.h"
#include "system/paths.h"
#include "system/platform.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>

namespace archive::testing {
namespace {

using testsupport::ReadFile;

StringList Texts(const std::vector<SourceItem>& items) {
  StringList texts;
  for (const SourceItem& item : items) texts.push_back(item.Text());
  return texts;
}

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
  ArchiveSetStreamCodec("none");
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

  compression::FileStream file(sys::platform::NativePath(archivePath), compression::FileStream::Mode::Read);
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
  compression::FileStream file(sys::platform::NativePath(archivePath), compression::FileStream::Mode::Read);
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
  const ExpandedItems forward = ExpandItems(base, StringList{"alpha", "Beta.txt"}, kAllEntriesFilter);
  const ExpandedItems backward = ExpandItems(base, StringList{"Beta.txt", "alpha"}, kAllEntriesFilter);
  EXPECT_EQ(Texts(forward.files), Texts(backward.files));
  EXPECT_EQ(Texts(forward.folders), Texts(backward.folders));
  if (ReadFile(dir.dir() + "project/alpha/A.txt") == "3") {  // a file system that tells the two apart
    EXPECT_EQ(Texts(forward.files), (StringList{"alpha\\A.txt", "alpha\\a.txt", "alpha\\b.txt", "Beta.txt"}));
  }
}

// The build's item "install\=temp_dir\" stores the folder's files under
// temp_dir\; extraction of a folder selects by prefix or exact folder.
TEST_F(ArchiveTest, FolderItemWithStoredNameAndFolderExtraction) {
  WriteDated("project/install/license.txt", "licence");
  WriteDated("project/install/sub/page.htm", "page");
  WriteDated("project/install.dat", "line one\r\nline two\n");
  const std::string base = dir.dir() + "project";
  const ExpandedItems expanded =
      ExpandItems(base, StringList{"install\\=temp_dir\\", "install.dat"}, kAllEntriesFilter);
  EXPECT_EQ(Texts(expanded.folders), (StringList{"install\\=temp_dir\\", "install\\sub=temp_dir\\sub"}));
  EXPECT_EQ(Texts(expanded.files), (StringList{"install.dat", "install\\license.txt=temp_dir\\license.txt",
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

bool OnPosix() { return sys::platform::kPathSeparator == '/'; }

#ifndef _WIN32
// The names of the archive at `path`, as its index holds them.
StringList NamesIn(const std::string& path) {
  compression::FileStream file(sys::platform::NativePath(path), compression::FileStream::Mode::Read);
  return ReadArchiveIndex(file, path).names;
}

// A pipe opened for reading waits for a writer forever, so these are left
// out by name without being opened; the rest of the folder is packed and
// the run succeeds with one warning each.
TEST_F(ArchiveTest, SourcesThatCannotBePackedAreLeftOutByNameNeverOpened) {
  WriteDated("src/good.txt", "good");
  WriteDated("src/sub/kept.txt", "kept");
  WriteDated("src/top\\slash.txt", "x");
  WriteDated("src/sub/in\\slash.txt", "y");
  const std::string src = dir.dir() + "src/";
  ASSERT_EQ(mkfifo((src + "sub/pipe").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/null", src + "device");
  std::filesystem::create_symlink("nothing-here", src + "dangling");
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = src + "sock";
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(ArchiveCreateFromFolder(archivePath, src, kAllEntriesFilter, nullptr, nullptr, "")) << Module().lastError;
  close(sock);
  EXPECT_FALSE(Module().abort);
  EXPECT_EQ(NamesIn(archivePath), (StringList{"good.txt", "sub\\kept.txt"}));
  const StringList& warnings = Module().warnings;
  ASSERT_EQ(warnings.size(), 6u) << WarningsSummary(warnings);
  for (const char* name : {"top\\slash.txt", "in\\slash.txt", "sub/pipe", "device", "dangling", "sock"}) {
    EXPECT_EQ(std::count_if(warnings.begin(), warnings.end(),
                            [&](const std::string& w) { return w.find(std::string(name) + " ") != std::string::npos; }),
              1)
        << name;
  }
  EXPECT_NE(WarningsSummary(warnings).find("Completed with 6 warnings:\n"), std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);  // src and a.bvarc: no ~bvpart
}

// "=" inside a name found in a folder is part of the name; an item given by
// a caller splits at its first "=" only when the text before it exists.
TEST_F(ArchiveTest, EqualsInANameIsPartOfTheName) {
  WriteDated("src/a=c.txt", "top");
  WriteDated("src/sub/a=b.txt", "inner");
  WriteDated("src/plain.txt", "plain");
  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(ArchiveCreateFromFolder(archivePath, dir.dir() + "src", kAllEntriesFilter, nullptr, nullptr, ""))
      << Module().lastError;
  EXPECT_EQ(NamesIn(archivePath), (StringList{"a=c.txt", "plain.txt", "sub\\a=b.txt"}));
  ASSERT_TRUE(ArchiveExtractAll(archivePath, dir.dir() + "out", nullptr, nullptr)) << Module().lastError;
  EXPECT_EQ(ReadFile(dir.dir() + "out/a=c.txt"), "top");
  EXPECT_EQ(ReadFile(dir.dir() + "out/sub/a=b.txt"), "inner");

  struct Case {
    const char* item;
    StringList names;
  };
  for (const Case& c : {Case{"a=c.txt", {"a=c.txt"}}, Case{"sub\\a=b.txt", {"sub\\a=b.txt"}},
                        Case{"plain.txt=renamed.txt", {"renamed.txt"}}, Case{"sub=moved", {"moved\\a=b.txt"}}}) {
    SCOPED_TRACE(c.item);
    ASSERT_TRUE(ArchiveCreate(archivePath, dir.dir() + "src", c.item, kAllEntriesFilter, "", nullptr, nullptr))
        << Module().lastError;
    EXPECT_EQ(NamesIn(archivePath), c.names);
  }
}

// Execute permission and privacy travel as the letters "x" and "p"; what
// comes back is what went in (with the usual umask), never wider.
TEST_F(ArchiveTest, PermissionsComeBackNeverWider) {
  struct Case {
    const char* name;
    mode_t mode;
    const char* letters;
  };
  const Case files[] = {{"plain.txt", 0644, "a"},   {"private.txt", 0600, "ap"}, {"program", 0755, "ax"},
                        {"own-tool", 0700, "axp"}, {"readonly.txt", 0444, "ar"}, {"secret/inner.txt", 0600, "ap"}};
  const Case folders[] = {{"open", 0755, "d"}, {"secret", 0700, "dp"}};
  const mode_t oldMask = umask(022);
  std::filesystem::create_directories(dir.path() / "src" / "open");
  for (const Case& c : files) WriteDated(std::string("src/") + c.name, c.name);
  for (const Case& c : files) chmod((dir.dir() + "src/" + c.name).c_str(), c.mode);
  for (const Case& c : folders) chmod((dir.dir() + "src/" + c.name).c_str(), c.mode);

  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(ArchiveCreateFromFolder(archivePath, dir.dir() + "src", kAllEntriesFilter, nullptr, nullptr, ""));
  compression::FileStream file(sys::platform::NativePath(archivePath), compression::FileStream::Mode::Read);
  const ArchiveIndex index = ReadArchiveIndex(file, archivePath);
  const std::string target = dir.dir() + "out/";
  ASSERT_TRUE(ArchiveExtractAll(archivePath, target, nullptr, nullptr)) << Module().lastError;
  umask(oldMask);
  const auto modeOf = [](const std::string& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 0777;
  };
  for (const Case& c : files) {
    const std::string stored = sys::ToBackslashes(c.name);
    const auto at = std::find(index.names.begin(), index.names.end(), stored) - index.names.begin();
    ASSERT_LT(static_cast<size_t>(at), index.names.size()) << c.name;
    EXPECT_EQ(index.nameAttributes[at], c.letters) << c.name;
    EXPECT_EQ(modeOf(target + c.name), c.mode) << c.name;
  }
  for (const Case& c : folders) {
    const std::string stored = std::string(c.name) + "\\";  // a top-level folder item
    const auto at = std::find(index.folders.begin(), index.folders.end(), stored) - index.folders.begin();
    ASSERT_LT(static_cast<size_t>(at), index.folders.size()) << c.name;
    EXPECT_EQ(index.folderAttributes[at], c.letters) << c.name;
    EXPECT_EQ(modeOf(target + c.name), c.mode) << c.name;
  }
  chmod((dir.dir() + "src/readonly.txt").c_str(), 0644);
  chmod((target + "readonly.txt").c_str(), 0644);
}
#endif  // POSIX: pipes, sockets, "\" in names, permission bits

// Names beyond ASCII are stored as UTF-8 with the letter "u" and come back
// as they were; a POSIX name that is not UTF-8 goes in as legacy text.
TEST_F(ArchiveTest, NamesBeyondAsciiAreStoredAsUtf8WithTheLetterU) {
  if (!OnPosix()) GTEST_SKIP() << "names on Windows pass through its wide calls";
  WriteDated("src/caf\xC3\xA9.txt", "utf8");
  WriteDated("src/\xE6\x97\xA5\xE6\x9C\xAC/\xC5\xBC\xC3\xB3\xC5\x82w.txt", "deep");
  WriteDated("src/latin\xE9.txt", "legacy");
  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(ArchiveCreateFromFolder(archivePath, dir.dir() + "src", kAllEntriesFilter, nullptr, nullptr, ""));
  const std::string bytes = ReadFile(archivePath);
  EXPECT_NE(bytes.find("@f|caf\xC3\xA9.txt|latin\xE9.txt|\xE6\x97\xA5\xE6\x9C\xAC\\\xC5\xBC\xC3\xB3\xC5\x82w.txt|"
                       "@fa|au|a|au|@d|\xE6\x97\xA5\xE6\x9C\xAC\\|@da|du"),
            std::string::npos);
  ASSERT_TRUE(ArchiveExtractAll(archivePath, dir.dir() + "out", nullptr, nullptr)) << Module().lastError;
  EXPECT_EQ(ReadFile(dir.dir() + "out/caf\xC3\xA9.txt"), "utf8");
  EXPECT_EQ(ReadFile(dir.dir() + "out/\xE6\x97\xA5\xE6\x9C\xAC/\xC5\xBC\xC3\xB3\xC5\x82w.txt"), "deep");
  EXPECT_EQ(ReadFile(dir.dir() + "out/latin\xC3\xA9.txt"), "legacy");  // read as Windows-1252
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
