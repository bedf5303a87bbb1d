#include "compression/stream.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace compression {
namespace {

TEST(MemoryStreamTest, ReadWriteSeekAndSize) {
  MemoryStream stream;
  EXPECT_EQ(stream.Write("hello world", 11), 11);
  EXPECT_EQ(stream.Size(), 11);
  EXPECT_EQ(stream.Seek(-5, SeekOrigin::End), 6);
  char buffer[16] = {};
  EXPECT_EQ(stream.Read(buffer, 16), 5);
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(stream.Read(buffer, 16), 0);
  EXPECT_EQ(stream.Seek(-100, SeekOrigin::Current), 0);

  // Writing beyond the end fills the gap with zeros.
  stream.Seek(13, SeekOrigin::Beginning);
  stream.Write("!", 1);
  EXPECT_EQ(stream.ToString(), std::string("hello world\0\0!", 14));

  stream.SetSize(5);
  EXPECT_EQ(stream.Position(), 5);
  EXPECT_EQ(stream.ToString(), "hello");
}

TEST(MemoryStreamTest, ExactTransfersThrowTheStreamTexts) {
  MemoryStream stream(std::string("abc"));
  char buffer[4];
  try {
    stream.ReadExact(buffer, 4);
    FAIL();
  } catch (const StreamError& error) {
    EXPECT_STREQ(error.what(), "Stream read error");
  }
  MemoryStream source(std::string("12345"));
  MemoryStream target;
  EXPECT_EQ(target.CopyFrom(source, 5), 5);
  EXPECT_EQ(target.ToString(), "12345");
  source.Seek(0, SeekOrigin::Beginning);
  EXPECT_THROW(target.CopyFrom(source, 6), StreamError);
}

TEST(FileStreamTest, CreateWriteReadBackAndResize) {
  testsupport::TempDir dir;
  const std::string path = (dir.path() / "file.bin").string();
  {
    FileStream file(path, FileStream::Mode::Create);
    file.WriteExact("0123456789", 10);
    EXPECT_EQ(file.Size(), 10);
    // Switching from writing to reading needs no explicit seek by the caller.
    file.Seek(2, SeekOrigin::Beginning);
    char buffer[3] = {};
    file.ReadExact(buffer, 3);
    EXPECT_EQ(std::string(buffer, 3), "234");
    file.WriteExact("xy", 2);
    EXPECT_EQ(file.Position(), 7);
    file.SetSize(8);
    EXPECT_EQ(file.Size(), 8);
  }
  EXPECT_EQ(testsupport::ReadFile(path), "01234xy7");

  FileStream reader(path, FileStream::Mode::Read);
  char buffer[20];
  EXPECT_EQ(reader.Read(buffer, 20), 8);
  try {
    reader.WriteExact("z", 1);
    FAIL();
  } catch (const StreamError& error) {
    EXPECT_STREQ(error.what(), "Stream write error");
  }
  EXPECT_THROW(reader.SetSize(0), StreamError);
  EXPECT_EQ(testsupport::ReadFile(path), "01234xy7");
}

TEST(FileStreamTest, OpeningAMissingFileFails) {
  testsupport::TempDir dir;
  const std::string path = (dir.path() / "missing.bin").string();
  try {
    FileStream file(path, FileStream::Mode::Read);
    FAIL();
  } catch (const StreamError& error) {
    EXPECT_EQ(std::string(error.what()).rfind("Cannot open file \"" + path + "\".", 0), 0u) << error.what();
  }
  EXPECT_THROW(FileStream(path, FileStream::Mode::ReadWrite), StreamError);
}

TEST(FileStreamTest, OffsetsBeyondFourGigabytes) {
  testsupport::TempDir dir;
  const std::string path = (dir.path() / "sparse.bin").string();
  const int64_t far = (int64_t(1) << 32) + 12345;
  {
    FileStream file(path, FileStream::Mode::Create);
    // Extending with SetSize first keeps the file sparse where the
    // file system allows.
    file.SetSize(far + 1);
    EXPECT_EQ(file.Seek(far, SeekOrigin::Beginning), far);
    file.WriteExact("Z", 1);
    EXPECT_EQ(file.Size(), far + 1);
  }
  FileStream file(path, FileStream::Mode::Read);
  EXPECT_EQ(file.Size(), far + 1);
  file.Seek(-1, SeekOrigin::End);
  char c = 0;
  file.ReadExact(&c, 1);
  EXPECT_EQ(c, 'Z');
}

}  // namespace
}  // namespace compression
