// The platform's whole-file operations (read, write, size, resize, real
// path) and the text writer the printing options use.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>

#include "compression/stream.h"
#include "support/temp_dir.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/text_writer.h"

namespace {

namespace fs = std::filesystem;
namespace platform = sys::platform;
using namespace std::string_literals;

// Every byte value, line ends of every kind and a NUL in the middle.
std::string AwkwardBytes() {
  std::string bytes = "one\r\ntwo\rthree\n\0four"s;
  for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
  return bytes;
}

TEST(WholeFiles, WriteThenReadGivesTheSameBytesAndReplacesLongerContent) {
  testsupport::TempDir temp;
  const std::string path = temp.dir() + "data.bin";
  const std::string bytes = AwkwardBytes();
  ASSERT_TRUE(platform::WriteWholeFile(path, bytes));
  EXPECT_EQ(platform::ReadWholeFile(path), bytes);
  EXPECT_EQ(platform::RegularFileSize(path), static_cast<int64_t>(bytes.size()));

  ASSERT_TRUE(platform::WriteWholeFile(path, "short"));
  EXPECT_EQ(testsupport::ReadFile(path), "short") << "an existing file is emptied first";
  ASSERT_TRUE(platform::WriteWholeFile(path, ""));
  EXPECT_EQ(platform::ReadWholeFile(path), std::string());
  EXPECT_EQ(platform::RegularFileSize(path), 0);
}

TEST(WholeFiles, FoldersAndMissingPathsAreNotFiles) {
  testsupport::TempDir temp;
  EXPECT_EQ(platform::ReadWholeFile(temp.dir() + "missing"), std::nullopt);
  EXPECT_EQ(platform::RegularFileSize(temp.dir() + "missing"), std::nullopt);
  EXPECT_EQ(platform::RegularFileSize(temp.dir()), std::nullopt);
  EXPECT_EQ(platform::ReadWholeFile(temp.dir()), std::nullopt);
  EXPECT_FALSE(platform::WriteWholeFile(temp.dir(), "x")) << "a folder is not overwritten";
  EXPECT_FALSE(platform::WriteWholeFile(temp.dir() + "no/such/folder.txt", "x"));
  EXPECT_FALSE(fs::exists(temp.path() / "missing"));
}

// RealPath compared after both sides went through the same resolution, so
// that a temporary folder reached through a link itself still compares.
TEST(WholeFiles, RealPathResolvesDotsAndKeepsTheMissingTail) {
  testsupport::TempDir temp;
  temp.Write("a/b/file.txt", "x");
  const std::string a = platform::RealPath(temp.dir() + "a");
  ASSERT_FALSE(a.empty());
  const std::string sep(1, sys::PathSeparator());
  EXPECT_EQ(platform::RealPath(temp.dir() + "a" + sep + "b" + sep + ".." + sep + "." + sep), a);
  EXPECT_EQ(platform::RealPath(temp.dir() + "a" + sep + "missing" + sep + "deeper"),
            a + sep + "missing" + sep + "deeper");
  EXPECT_EQ(platform::RealPath(temp.dir() + "a" + sep + "missing" + sep + ".." + sep + "b"), a + sep + "b");
  EXPECT_EQ(platform::RealPath(sys::ToBackslashes(temp.dir() + "a")), a) << "backslashes are separators too";
}

TEST(WholeFiles, RealPathFollowsLinksInTheExistingPart) {
  testsupport::TempDir temp;
  temp.Write("target/inner/file.txt", "x");
  std::error_code error;
  fs::create_directory_symlink(temp.path() / "target", temp.path() / "link", error);
  if (error) GTEST_SKIP() << "symbolic links cannot be made here";
  const std::string sep(1, sys::PathSeparator());
  const std::string target = platform::RealPath(temp.dir() + "target");
  EXPECT_EQ(platform::RealPath(temp.dir() + "link"), target);
  EXPECT_EQ(platform::RealPath(temp.dir() + "link" + sep + "inner" + sep + "new"),
            target + sep + "inner" + sep + "new");
}

TEST(TextWriter, PrintsTextCharactersAndNumbersAsTheyAre) {
  sys::StringWriter out;
  const std::string text = "a\tb";
  out << "x" << text << std::string_view("|") << '\n' << 0 << ' ' << -42 << ' ' << uint8_t{200} << ' '
      << std::numeric_limits<int64_t>::min() << ' ' << std::numeric_limits<uint64_t>::max() << ' ' << true
      << false;
  EXPECT_EQ(out.Text(), "xa\tb|\n0 -42 200 -9223372036854775808 18446744073709551615 10");
}

TEST(TextWriter, FileWriterWritesBytesUnchanged) {
  testsupport::TempDir temp;
  const std::string path = temp.dir() + "out.txt";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  {
    sys::FileWriter out(file);
    out << "line\r\n" << std::string("\0z", 2) << 7;
    EXPECT_TRUE(out.Flush());
  }
  std::fclose(file);
  EXPECT_EQ(testsupport::ReadFile(path), "line\r\n\0z7"s);
}

}  // namespace
