#include "compression/stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <random>
#include <vector>

#include "support/temp_dir.h"
#include "system/file_dates.h"

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

TEST(FileStreamTest, SetSizeCutsAndExtendsWithZerosWhileOthersHaveTheFileOpen) {
  testsupport::TempDir dir;
  const std::string path = dir.Write("grow.bin", "abcdef");
  FileStream reader(path, FileStream::Mode::Read);
  FileStream file(path, FileStream::Mode::ReadWrite);
  file.SetSize(3);
  EXPECT_EQ(testsupport::ReadFile(path), "abc");
  file.SetSize(5);
  EXPECT_EQ(testsupport::ReadFile(path), std::string("abc\0\0", 5));
  EXPECT_EQ(file.Size(), 5);
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

// The file stream buffers reads and writes in one buffer and positions
// itself without the system: any sequence of operations must leave the
// same bytes, positions and sizes as the memory stream, across the buffer's
// edges and with pieces larger than the buffer.
TEST(FileStreamTest, BehavesLikeTheMemoryStreamUnderMixedOperations) {
  testsupport::TempDir dir;
  const std::string path = (dir.path() / "mixed.bin").string();
  MemoryStream model;
  std::mt19937 random(7);
  std::vector<uint8_t> bytes(3 << 20), got(3 << 20), expected(3 << 20);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(random());
  const auto length = [&] {
    const int64_t sizes[] = {1, 7, 4096, 65537, (1 << 20) - 3, 1 << 20, (5 << 19) + 11};
    return sizes[random() % 7];
  };
  {
    FileStream file(path, FileStream::Mode::Create);
    for (int step = 0; step < 400; ++step) {
      switch (random() % 5) {
        case 0:
        case 1: {
          const int64_t n = length();
          const int64_t from = static_cast<int64_t>(random() % (bytes.size() - n));
          ASSERT_EQ(file.Write(bytes.data() + from, n), model.Write(bytes.data() + from, n)) << step;
          break;
        }
        case 2: {
          const int64_t n = length();
          ASSERT_EQ(file.Read(got.data(), n), model.Read(expected.data(), n)) << step;
          ASSERT_EQ(0, std::memcmp(got.data(), expected.data(), static_cast<size_t>(n))) << step;
          break;
        }
        case 3: {
          const int64_t to = static_cast<int64_t>(random() % (model.Size() + 2));
          ASSERT_EQ(file.Seek(to, SeekOrigin::Beginning), model.Seek(to, SeekOrigin::Beginning));
          break;
        }
        default:
          ASSERT_EQ(file.Size(), model.Size()) << step;
          ASSERT_EQ(file.Position(), model.Position()) << step;
      }
    }
    file.Flush();
  }
  EXPECT_TRUE(testsupport::ReadFile(path) == model.ToString());
}

TEST(FileStreamTest, CreateNewNeverTouchesWhatHasTheName) {
  testsupport::TempDir dir;
  const std::string existing = dir.Write("existing.txt", "kept");
  try {
    FileStream file(existing, FileStream::Mode::CreateNew);
    FAIL();
  } catch (const StreamError& error) {
    EXPECT_NE(std::string(error.what()).find("Cannot open file"), std::string::npos);
  }
  EXPECT_EQ(testsupport::ReadFile(existing), "kept");
#ifndef _WIN32
  // Nor what a link of that name points to, dangling or not.
  std::filesystem::create_symlink(existing, dir.path() / "link");
  std::filesystem::create_symlink(dir.path() / "nowhere", dir.path() / "dangling");
  EXPECT_THROW(FileStream((dir.path() / "link").string(), FileStream::Mode::CreateNew), StreamError);
  EXPECT_THROW(FileStream((dir.path() / "dangling").string(), FileStream::Mode::CreateNew), StreamError);
  EXPECT_EQ(testsupport::ReadFile(existing), "kept");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "nowhere"));
#endif
  FileStream fresh((dir.path() / "new.txt").string(), FileStream::Mode::CreateNew);
  fresh.WriteExact("new", 3);
}

// Between two files the system may copy by itself; positions, bytes and
// errors must be those of the copy through memory.
TEST(FileStreamTest, CopyBetweenFilesKeepsPositionsAndReportsAShortSource) {
  testsupport::TempDir dir;
  std::string content(3 << 20, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 2654435761u >> 11);
  const std::string sourcePath = dir.Write("source.bin", content);
  FileStream source(sourcePath, FileStream::Mode::Read);
  const std::string targetPath = (dir.path() / "target.bin").string();
  {
    FileStream target(targetPath, FileStream::Mode::Create);
    target.WriteExact("head", 4);  // still in the buffer when the copy starts
    source.Seek(10, SeekOrigin::Beginning);
    EXPECT_EQ(target.CopyFrom(source, 2 << 20), 2 << 20);
    EXPECT_EQ(source.Position(), 10 + (2 << 20));
    EXPECT_EQ(target.Position(), 4 + (2 << 20));
    target.WriteExact("tail", 4);
    source.Seek(-5, SeekOrigin::End);
    try {
      target.CopyFrom(source, 6);
      FAIL();
    } catch (const StreamError& error) {
      EXPECT_STREQ(error.what(), "Stream read error");
    }
  }
  const std::string copied = testsupport::ReadFile(targetPath);
  ASSERT_GE(copied.size(), 8u + (2 << 20));
  EXPECT_TRUE(copied.substr(0, 4 + (2 << 20) + 4) == "head" + content.substr(10, 2 << 20) + "tail");
}

TEST(FileStreamTest, ModificationTimeOutlastsTheBufferedBytes) {
  testsupport::TempDir dir;
  const std::string path = (dir.path() / "dated.txt").string();
  const auto stamp = sys::FileTimeFromDosDateTime(sys::PackDosDateTime({2011, 6, 15, 10, 20, 30}));
  ASSERT_TRUE(stamp);
  {
    FileStream file(path, FileStream::Mode::CreateNew);
    file.WriteExact("buffered", 8);
    EXPECT_TRUE(file.SetModifiedTime(stamp->unixSeconds));
  }
  EXPECT_EQ(testsupport::ReadFile(path), "buffered");
  EXPECT_EQ(sys::GetFileModifiedTime(path)->unixSeconds, stamp->unixSeconds);
}

}  // namespace
}  // namespace compression
