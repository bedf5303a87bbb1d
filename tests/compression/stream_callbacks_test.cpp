#include "compression/stream_callbacks.h"

#include <gtest/gtest.h>

#include "compression/container_layout.h"
#include "compression/container_streams.h"
#include "support/temp_dir.h"
#include "test_content.h"

namespace compression {
namespace {

using compressiontest::AsString;
using compressiontest::SampleContent;

int64_t PrefixAt(const MemoryStream& record, size_t at = 0) {
  int64_t n = 0;
  for (int i = 7; i >= 0; --i) n = (n << 8) | record.Data()[at + size_t(i)];
  return n;
}

// Compresses `content` under `mode` into a record, expands it again and
// checks the return values and the bytes.
void ExpectRoundTrip(const Buffer& content, const std::string& mode) {
  SCOPED_TRACE(mode + ", " + std::to_string(content.size()) + " bytes");
  MemoryStream source(content);
  MemoryStream record;
  const int64_t written = CompressStreamCallback(source, record, mode);
  EXPECT_EQ(written, record.Size());
  const int64_t n = PrefixAt(record);
  EXPECT_EQ(written, n + 8);

  record.Seek(0, SeekOrigin::Beginning);
  MemoryStream out;
  EXPECT_EQ(ExpandStreamCallback(record, out), n);
  EXPECT_EQ(record.Position(), n + 8);
  EXPECT_TRUE(out.Data() == content);
}

TEST(StreamCallbacksTest, RoundTripsForEveryZlibBzip2AndStoredName) {
  const char* const modes[] = {"zlibfastest", "zlibormal", "zlibmax", "bzipfastest", "bzipnormal",
                               "bzipmax",     "none",      "lowest",  "low",         "unknown"};
  const size_t sizes[] = {0, 1, 1048576, 1048577};
  for (const char* mode : modes) {
    for (size_t size : sizes) ExpectRoundTrip(SampleContent(size, uint32_t(size)), mode);
  }
  const Buffer large = SampleContent(5 << 20, 77);
  // One of each family at a size of several blocks.
  for (const char* mode : {"zlibfastest", "bzipfastest", "none"}) ExpectRoundTrip(large, mode);
}

TEST(StreamCallbacksTest, RecordLayoutAndLevelsChosenByName) {
  const Buffer content = SampleContent(1048577, 5);
  MemoryStream source(content);
  source.Seek(1000, SeekOrigin::Beginning);
  MemoryStream record;
  record.Write("xyz", 3);
  const int64_t written = CompressStreamCallback(source, record, "ZlibOrmal");
  EXPECT_EQ(source.Position(), 1000);
  EXPECT_EQ(written + 3, record.Size());
  const uint8_t* container = record.Data().data() + 3 + 8;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(container), 4), "AACS");
  EXPECT_EQ(container[layout::kLevelCodeOffset], 2);
  EXPECT_EQ(layout::LoadI32(container + layout::kBlockCountOffset), 2);
  EXPECT_EQ(layout::LoadI32(container + layout::kBlockSizeOffset), 1048576);
}

TEST(StreamCallbacksTest, StoredModeWritesTheFileItself) {
  MemoryStream source(std::string("plain bytes"));
  MemoryStream record;
  EXPECT_EQ(CompressStreamCallback(source, record, "none"), 19);
  EXPECT_EQ(record.ToString(), std::string("\x0b\0\0\0\0\0\0\0plain bytes", 19));
}

TEST(StreamCallbacksTest, StoredFileThatLooksLikeAContainerSurvives) {
  // A file that is itself a container, stored with "none", must come back
  // as those bytes and not as the content they describe.
  MemoryStream inner;
  {
    MemoryStream content(SampleContent(4000));
    MemoryStream record;
    CompressStreamCallback(content, record, "zlibmax");
    record.Seek(8, SeekOrigin::Beginning);
    inner.CopyFrom(record, record.Size() - 8);
  }
  ExpectRoundTrip(inner.Data(), "none");
}

TEST(StreamCallbacksTest, EmptyStoredRecordExpandsToNothing) {
  MemoryStream empty;
  MemoryStream archive;
  archive.Write("HEAD", 4);
  EXPECT_EQ(CompressStreamCallback(empty, archive, "none"), 8);
  archive.Write("more records after it", 21);
  archive.Seek(4, SeekOrigin::Beginning);
  MemoryStream out;
  EXPECT_EQ(ExpandStreamCallback(archive, out), 0);
  EXPECT_EQ(out.Size(), 0);
  EXPECT_EQ(archive.Position(), 12);
}

TEST(StreamCallbacksTest, ShortOrDamagedRecordsFail) {
  MemoryStream source(SampleContent(5000));
  MemoryStream record;
  CompressStreamCallback(source, record, "zlibfastest");
  std::vector<uint8_t> bytes = record.Data();

  MemoryStream cut(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1));
  MemoryStream out;
  try {
    ExpandStreamCallback(cut, out);
    FAIL();
  } catch (const StreamError& error) {
    EXPECT_STREQ(error.what(), "Stream read error");
  }
  MemoryStream prefixOnly(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 5));
  EXPECT_THROW(ExpandStreamCallback(prefixOnly, out), StreamError);
  std::vector<uint8_t> negative = bytes;
  negative[7] = 0x80;
  MemoryStream negativeRecord(negative);
  EXPECT_THROW(ExpandStreamCallback(negativeRecord, out), StreamError);

  std::vector<uint8_t> damaged = bytes;
  damaged[8 + 128 + 8] ^= 0xFF;  // checksum
  MemoryStream damagedRecord(damaged);
  try {
    ExpandStreamCallback(damagedRecord, out);
    FAIL();
  } catch (const ContainerError& error) {
    EXPECT_STREQ(error.what(), "TECLStream.LoadBlock - decompression crc error.");
  }
}

TEST(StreamCallbacksTest, FilesInAndOut) {
  testsupport::TempDir dir;
  const Buffer content = SampleContent(1500000, 21);
  const std::string sourcePath = dir.Write("in.bin", AsString(content));
  const std::string recordPath = (dir.path() / "record.bin").string();
  {
    FileStream source(sourcePath, FileStream::Mode::Read);
    FileStream record(recordPath, FileStream::Mode::Create);
    CompressStreamCallback(source, record, "bzipnormal");
  }
  FileStream record(recordPath, FileStream::Mode::Read);
  const std::string outPath = (dir.path() / "out.bin").string();
  {
    FileStream out(outPath, FileStream::Mode::Create);
    ExpandStreamCallback(record, out);
  }
  EXPECT_EQ(testsupport::ReadFile(outPath), AsString(content));
}

}  // namespace
}  // namespace compression
