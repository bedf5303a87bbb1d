#include "compression/container_streams.h"

#include <gtest/gtest.h>

#include <string>

#include "compression/container_crc.h"
#include "compression/container_layout.h"
#include "compression/stream_callbacks.h"
#include "support/temp_dir.h"
#include "test_content.h"

namespace compression {
namespace {

using compressiontest::AsString;
using compressiontest::SampleContent;
namespace L = layout;

constexpr int32_t kHalfMiB = 524288;

// Container bytes holding `content` packed at `level`.
MemoryStream MakeContainer(const Buffer& content, uint8_t level) {
  MemoryStream data;
  TECLStream container(&data, "", level, 0, true);
  MemoryStream source(content);
  container.LoadFromStream(source);
  return data;
}

std::string ReadAll(TECLStream& container) {
  std::string out(static_cast<size_t>(container.Size()), '\0');
  container.Seek(0, SeekOrigin::Beginning);
  out.resize(static_cast<size_t>(container.Read(out.data(), int64_t(out.size()))));
  return out;
}

// Runs `action` and returns the text of the exception it throws.
template <typename Action>
std::string ErrorText(Action action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(no exception)";
}

TEST(ContainerTest, FreshBlockModeContainerIsExactlyTheHeader) {
  MemoryStream data(std::string("old content"));
  TECLStream container(&data, "", 3, 0, true);
  std::string expected = std::string("AACS") + std::string("\x00\x00\x10\x00", 4) + std::string(8, '\0') +
                         "\x66\x66\x66\x40" + std::string("\x03\x00\x00", 3) + std::string(4, '\0') + '\0' +
                         std::string(100, '\0');
  EXPECT_EQ(data.ToString(), expected);
  EXPECT_EQ(container.Size(), 0);
  EXPECT_EQ(container.CompressedSize(), 128);
  EXPECT_EQ(container.Header().blockCount, 0);
  EXPECT_EQ(container.LevelCode(), 3);
  EXPECT_EQ(container.CopyBufferSize(), 1048576);
  char c;
  EXPECT_EQ(container.Read(&c, 1), 0);
}

TEST(ContainerTest, OneBlockOf1118BytesIsLaidDownAfterTheHeader) {
  const Buffer content = SampleContent(1118);
  MemoryStream data = MakeContainer(content, 2);
  const uint8_t* bytes = data.Data().data();
  EXPECT_EQ(L::LoadI32(bytes + L::kBlockCountOffset), 1);
  EXPECT_EQ(bytes[L::kLevelCodeOffset], 2);
  const BlockHeader block = BlockHeader::FromBytes(bytes + 128);
  EXPECT_EQ(block.uncompressedSize, 1118);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes) + 132, 4), std::string("\x5E\x04\x00\x00", 4));
  EXPECT_EQ(block.checksum, ContainerCrc32(content.data(), content.size()));
  EXPECT_EQ(block.nextOffset, 144 + block.compressedSize);
  EXPECT_EQ(block.nextOffset, data.Size());

  TECLStream reader(&data, "", 0, 0, false);
  EXPECT_EQ(reader.LevelCode(), 2);
  EXPECT_EQ(reader.Size(), 1118);
  EXPECT_EQ(reader.CompressedSize(), data.Size());
  EXPECT_EQ(ReadAll(reader), AsString(content));
}

TEST(ContainerTest, ExactBlockMultiplesEndWithAFullBlock) {
  for (size_t extra : {0, 1}) {
    const Buffer content = SampleContent(2 * kHalfMiB + extra, 3);
    MemoryStream data = MakeContainer(content, 1);
    TECLStream reader(&data, "", 0, 0, false);
    ASSERT_EQ(reader.Headers().Count(), 2 + int(extra));
    EXPECT_EQ(reader.Headers().Header(1).uncompressedSize, kHalfMiB);
    if (extra) {
      EXPECT_EQ(reader.Headers().Header(2).uncompressedSize, 1);
    }
    // Blocks are contiguous: each starts where the previous one's chain says.
    for (int i = 1; i < reader.Headers().Count(); ++i)
      EXPECT_EQ(int64_t(reader.Headers().Offset(i)), reader.Headers().Header(i - 1).nextOffset);
    EXPECT_EQ(reader.Headers().Header(reader.Headers().Count() - 1).nextOffset, data.Size());
    EXPECT_EQ(ReadAll(reader), AsString(content));
  }
}

TEST(ContainerTest, DataWithoutAWholeSignedHeaderReadsAsStored) {
  const std::string samples[] = {"", "short", "AACS" + std::string(100, 'x'), std::string(500, 'q'),
                                 "AACX" + std::string(200, '\0')};
  for (const std::string& sample : samples) {
    MemoryStream data(sample);
    TECLStream container(&data, "", 5, 0, false);
    EXPECT_TRUE(container.IsStoredMode());
    EXPECT_EQ(container.Size(), int64_t(sample.size()));
    EXPECT_EQ(ReadAll(container), sample);
  }
}

TEST(ContainerTest, StoredContentThatLooksLikeAContainerIsTakenForOneOnReload) {
  MemoryStream packed = MakeContainer(SampleContent(3000), 2);
  MemoryStream data;
  TECLStream container(&data, "", 0, 0, true);
  EXPECT_EQ(data.Size(), 0);
  container.Write(packed.Data().data(), packed.Size());
  EXPECT_EQ(container.Size(), 3000);
  EXPECT_EQ(container.LevelCode(), 2);
}

TEST(ContainerTest, SeekClampsAndReadStopsAtTheEnd) {
  const Buffer content = SampleContent(5000);
  MemoryStream data = MakeContainer(content, 2);
  TECLStream container(&data, "", 0, 0, false);
  EXPECT_EQ(container.Seek(-10, SeekOrigin::Beginning), 0);
  EXPECT_EQ(container.Seek(-6000, SeekOrigin::End), 0);
  EXPECT_EQ(container.Seek(-100, SeekOrigin::End), 4900);
  std::string buffer(300, '\0');
  EXPECT_EQ(container.Read(buffer.data(), 300), 100);
  EXPECT_EQ(buffer.substr(0, 100), AsString(content).substr(4900));
  EXPECT_EQ(container.Read(buffer.data(), 300), 0);
  container.Seek(7000, SeekOrigin::Beginning);
  EXPECT_EQ(container.Read(buffer.data(), 300), 0);
}

TEST(ContainerTest, SmallReadsAndWritesCrossingBlocks) {
  const Buffer content = SampleContent(kHalfMiB + 30000, 5);
  MemoryStream data;
  TECLStream container(&data, "", 1, 0, true);
  // Append the first block in one piece, then the rest in small pieces that
  // must merge with the partly filled last block.
  const size_t start = kHalfMiB - 4000;
  container.Write(content.data(), int64_t(start));
  for (size_t done = start; done < content.size(); done += 3000)
    container.Write(content.data() + done, int64_t(std::min<size_t>(3000, content.size() - done)));
  EXPECT_EQ(container.Size(), int64_t(content.size()));
  EXPECT_EQ(container.Headers().Count(), 2);

  TECLStream reader(&data, "", 0, 0, false);
  std::string out;
  char piece[777];
  for (int64_t n; (n = reader.Read(piece, sizeof piece)) > 0;) out.append(piece, size_t(n));
  EXPECT_EQ(out, AsString(content));
}

TEST(ContainerTest, OverwriteInsideAndSetSize) {
  Buffer content = SampleContent(2 * kHalfMiB + 100, 8);
  MemoryStream data = MakeContainer(content, 1);
  TECLStream container(&data, "", 0, 0, false);
  const std::string patch = "PATCHED ACROSS A BLOCK BOUNDARY";
  container.Seek(kHalfMiB - 10, SeekOrigin::Beginning);
  container.Write(patch.data(), int64_t(patch.size()));
  std::copy(patch.begin(), patch.end(), content.begin() + (kHalfMiB - 10));
  EXPECT_EQ(ReadAll(container), AsString(content));

  container.SetSize(kHalfMiB + 5);
  content.resize(kHalfMiB + 5);
  EXPECT_EQ(container.Headers().Count(), 2);
  EXPECT_EQ(container.Headers().Header(1).nextOffset, data.Size());
  container.SetSize(kHalfMiB + 20);
  content.resize(kHalfMiB + 20, 0);
  TECLStream reader(&data, "", 0, 0, false);
  EXPECT_EQ(ReadAll(reader), AsString(content));
  reader.SetSize(0);
  EXPECT_EQ(data.Size(), 128);
  EXPECT_EQ(reader.Size(), 0);
}

TEST(ContainerTest, CutOffLastBlockHeaderIsDroppedOnReload) {
  const Buffer content = SampleContent(3 * kHalfMiB, 4);
  MemoryStream data = MakeContainer(content, 1);
  const int64_t thirdBlock = TECLStream(&data, "", 0, 0, false).Headers().Offset(2);
  data.SetSize(thirdBlock + 10);

  TECLStream container(&data, "", 0, 0, false);
  EXPECT_EQ(container.Headers().Count(), 2);
  EXPECT_EQ(container.Size(), 2 * kHalfMiB);
  EXPECT_EQ(data.Size(), thirdBlock);
  EXPECT_EQ(L::LoadI32(data.Data().data() + L::kBlockCountOffset), 2);
  EXPECT_EQ(ReadAll(container), AsString(content).substr(0, 2 * kHalfMiB));
}

TEST(ContainerTest, CutOffPayloadEndsReadingEarly) {
  const Buffer content = SampleContent(2 * kHalfMiB, 4);
  MemoryStream data = MakeContainer(content, 1);
  data.SetSize(data.Size() - 1);
  TECLStream container(&data, "", 0, 0, false);
  EXPECT_EQ(container.Size(), 2 * kHalfMiB);
  EXPECT_EQ(ReadAll(container), AsString(content).substr(0, kHalfMiB));
  MemoryStream out;
  EXPECT_EQ(ErrorText([&] { container.SaveToStream(out); }), "Stream read error");
}

// Each damage to a valid container's bytes and the text that reading it
// must raise.
TEST(ContainerTest, DamagedContainersRaiseTheirTexts) {
  const Buffer content = SampleContent(1118);
  const MemoryStream good = MakeContainer(content, 2);
  const int64_t payloadSize = L::LoadI32(good.Data().data() + 128);
  struct Damage {
    const char* name;
    size_t offset;
    uint8_t flipMask;
    const char* text;
  };
  const Damage damages[] = {
      {"level code 12", L::kLevelCodeOffset, 2 ^ 12, "TECLStream.LoadBlock - decompression error."},
      {"level code 200", L::kLevelCodeOffset, 2 ^ 200, "TECLStream.LoadBlock - decompression error."},
      {"bzip2 level for zlib data", L::kLevelCodeOffset, 2 ^ 8, "TECLStream.LoadBlock - decompression error."},
      {"payload byte", 144 + size_t(payloadSize) / 2, 0xFF, "TECLStream.LoadBlock - decompression error."},
      {"uncompressed size 1119", 128 + L::kUncompressedSizeOffset, 0x5E ^ 0x5F,
       "TECLStream.LoadBlock - decompression error, invalid size."},
      {"uncompressed size 1117", 128 + L::kUncompressedSizeOffset, 0x5E ^ 0x5D,
       "TECLStream.LoadBlock - decompression error."},
      {"checksum byte", 128 + L::kChecksumOffset + 1, 0x01, "TECLStream.LoadBlock - decompression crc error."},
      {"block size 0", L::kBlockSizeOffset + 2, 0x10, "TECLStream.LoadBlock - decompression error."},
  };
  for (const Damage& damage : damages) {
    MemoryStream data = good;
    data.Data()[damage.offset] ^= damage.flipMask;
    TECLStream container(&data, "", 0, 0, false);
    EXPECT_EQ(ErrorText([&] { ReadAll(container); }), damage.text) << damage.name;
  }
}

TEST(ContainerTest, ProtectedContainerFailsBeforeAnyBlockIsRead) {
  MemoryStream data = MakeContainer(SampleContent(100), 2);
  data.Data()[L::kProtectedOffset] = 1;
  EXPECT_EQ(ErrorText([&] { TECLStream(&data, "", 0, 0, false); }), "TECLStream.LoadHeaders - no password specified.");

  // Re-parsed after an outside write through the data stream.
  MemoryStream other;
  TECLStream container(&other, "", 0, 0, true);
  container.DataStream().Write(data.Data().data(), data.Size());
  EXPECT_EQ(ErrorText([&] { container.Size(); }), "TECLStream.LoadHeaders - no password specified.");
}

TEST(ContainerTest, CreationFailuresAndPackingFailuresLeaveDataAlone) {
  EXPECT_EQ(ErrorText([] { TECLStream(nullptr, "", 2, 0, true); }), "TECLStream.Create - data stream = nil.");
  EXPECT_EQ(ErrorText([] { TECLBaseStream(nullptr); }), "TECLBaseStream.Create - Stream = nil.");

  testsupport::TempDir dir;
  const std::string path = dir.Write("readonly.bin", "existing");
  FileStream readOnly(path, FileStream::Mode::Read);
  EXPECT_EQ(ErrorText([&] { TECLStream(&readOnly, "", 2, 0, true); }),
            "TECLStream.Create - error writing to data stream. May be data stream in read only mode.");

  // Level code 10 has no codec: packing fails and nothing is written.
  MemoryStream data;
  TECLStream container(&data, "", 10, 0, true);
  const std::string before = data.ToString();
  const Buffer content = SampleContent(100);
  EXPECT_EQ(ErrorText([&] { container.Write(content.data(), 100); }),
            "TECLStream.PrepareBufferForWriting - compression error in PrepareBuffer.");
  EXPECT_EQ(data.ToString(), before);
}

TEST(ContainerTest, HostileChainsEndWithoutLoopingOrHugeAllocations) {
  MemoryStream data = MakeContainer(SampleContent(1118), 2);
  uint8_t* bytes = data.Data().data();
  L::StoreI32(bytes + L::kBlockCountOffset, 0x7FFFFFFF);
  L::StoreI32(bytes + 128 + L::kNextOffsetOffset, 128);  // points at itself
  {
    TECLStream container(&data, "", 0, 0, false);
    EXPECT_EQ(container.Headers().Count(), 1);
    EXPECT_EQ(ReadAll(container), AsString(SampleContent(1118)));
  }
  L::StoreI32(bytes + 128 + L::kCompressedSizeOffset, 0x7FFFFFF0);
  L::StoreI32(bytes + 128 + L::kUncompressedSizeOffset, 0x7FFFFFF0);
  TECLStream container(&data, "", 0, 0, false);
  char buffer[16];
  EXPECT_EQ(container.Read(buffer, 16), 0);
}

// Chains that a reader following next offsets would survive but that do
// not hold the content the container declares: expanding them must fail,
// even though every block they reach unpacks cleanly.
TEST(ContainerTest, ExpandingADamagedChainFails) {
  const Buffer content = SampleContent(3 * kHalfMiB - 1000, 9);
  MemoryStream good = MakeContainer(content, 1);
  const TECLStream reader(&good, "", 0, 0, false);
  const size_t block[3] = {reader.Headers().Offset(0), reader.Headers().Offset(1), reader.Headers().Offset(2)};
  struct Damage {
    const char* name;
    size_t offset;
    int32_t value;
  };
  const Damage damages[] = {
      {"second block loops back to the first", block[1] + L::kNextOffsetOffset, int32_t(block[0])},
      {"first block points at itself", block[0] + L::kNextOffsetOffset, int32_t(block[0])},
      {"first block points into its own payload", block[0] + L::kNextOffsetOffset, int32_t(block[0] + 40)},
      {"chain ends before the block count", L::kBlockCountOffset, 4},
      {"block count short of the chain", L::kBlockCountOffset, 2},
      {"chain points past the data", block[1] + L::kNextOffsetOffset, int32_t(good.Size() + 100)},
      {"negative block count", L::kBlockCountOffset, -3},
      {"negative compressed size", block[1] + L::kCompressedSizeOffset, -16},
      {"negative uncompressed size", block[2] + L::kUncompressedSizeOffset, -1},
      {"short block in the middle", block[1] + L::kUncompressedSizeOffset, kHalfMiB / 2},
      {"last block larger than a block", block[2] + L::kUncompressedSizeOffset, kHalfMiB + 1},
      {"payload beyond the data", block[2] + L::kCompressedSizeOffset, int32_t(good.Size())},
      {"negative reserved area", L::kReservedAreaSizeOffset, -128},
      {"header naming the stored level", L::kLevelCodeOffset,
       int32_t(L::LoadI32(good.Data().data() + L::kLevelCodeOffset) & ~0xFF)},
  };
  const auto expand = [](const MemoryStream& container) {
    MemoryStream record;
    uint8_t prefix[8] = {};
    const auto length = int64_t(container.Data().size());
    L::StoreI32(prefix, int32_t(length));
    record.Write(prefix, 8);
    record.Write(container.Data().data(), length);
    record.Seek(0, SeekOrigin::Beginning);
    MemoryStream out;
    ExpandStreamCallback(record, out);
    return out.ToString();
  };
  EXPECT_EQ(expand(good), AsString(content));
  for (const Damage& damage : damages) {
    MemoryStream data = good;
    L::StoreI32(data.Data().data() + damage.offset, damage.value);
    EXPECT_THROW(
        {
          try {
            expand(data);
          } catch (const DamagedContainer& error) {
            EXPECT_STREQ(error.what(), kErrorDamagedChain);
            throw;
          }
        },
        DamagedContainer)
        << damage.name;
  }
}

TEST(ContainerTest, ReservedAreaSitsBetweenHeaderAndBlocks) {
  MemoryStream data;
  TECLStream container(&data, "", 2, 40, true);
  EXPECT_EQ(data.Size(), 168);
  const Buffer content = SampleContent(3000);
  container.Write(content.data(), 3000);
  TECLStream reader(&data, "", 0, 0, false);
  EXPECT_EQ(reader.Headers().Offset(0), 168u);
  EXPECT_EQ(ReadAll(reader), AsString(content));
}

TEST(ContainerTest, WritingAfterADamagedChainFails) {
  // A damaged reserved area size sends the first block 1.4 GB away; the
  // write must fail instead of growing the data stream that far.
  MemoryStream data;
  TECLStream(&data, "", 2, 0, true);
  L::StoreI32(data.Data().data() + L::kReservedAreaSizeOffset, 0x53434141);
  L::StoreI32(data.Data().data() + L::kBlockCountOffset, 1);
  TECLStream container(&data, "", 0, 0, false);
  EXPECT_EQ(container.Headers().Count(), 0);
  EXPECT_EQ(ErrorText([&] { container.Write("tail", 4); }), kErrorDamagedChain);
  EXPECT_EQ(data.Size(), 128);

  // A block that claims more content than a block holds, after a block
  // size of 1: appending would have to lay down billions of blocks.
  MemoryStream claims = MakeContainer(SampleContent(100), 2);
  L::StoreI32(claims.Data().data() + L::kBlockSizeOffset, 1);
  TECLStream damaged(&claims, "", 0, 0, false);
  damaged.Seek(0, SeekOrigin::End);
  EXPECT_EQ(ErrorText([&] { damaged.Write("tail", 4); }), kErrorDamagedChain);
  EXPECT_EQ(ErrorText([&] { damaged.SetSize(10); }), kErrorDamagedChain);
}

TEST(ContainerTest, WholeContentCopiesThroughFiles) {
  testsupport::TempDir dir;
  const Buffer content = SampleContent(kHalfMiB * 2 + 999, 11);
  const std::string sourcePath = dir.Write("source.bin", AsString(content));
  const std::string containerPath = (dir.path() / "container.aacs").string();
  {
    FileStream source(sourcePath, FileStream::Mode::Read);
    source.Seek(17, SeekOrigin::Beginning);
    FileStream file(containerPath, FileStream::Mode::Create);
    TECLStream container(&file, "", 7, 0, true);
    double lastPercent = -1;
    container.OnProgress = [&](TECLBaseStream&, double percent) { lastPercent = percent; };
    container.LoadFromStream(source);
    EXPECT_EQ(source.Position(), 17);
    EXPECT_EQ(lastPercent, 100.0);
    EXPECT_EQ(container.Size(), int64_t(content.size()));
  }
  FileStream file(containerPath, FileStream::Mode::Read);
  TECLStream container(&file, "", 0, 0, false);
  EXPECT_EQ(container.LevelCode(), 7);
  MemoryStream out;
  out.Write("prefix", 6);
  container.SaveToStream(out);
  EXPECT_EQ(out.Position(), 6);
  EXPECT_EQ(out.ToString(), "prefix" + AsString(content));
}

TEST(ContainerTest, MemoryStreamVariantForwardsToItsContainer) {
  TECLMemoryStream memory("", 9, 0);
  EXPECT_EQ(memory.CompressedSize(), 128);
  const Buffer content = SampleContent(1572864 + 3, 12);
  MemoryStream source(content);
  memory.LoadFromStream(source);
  EXPECT_EQ(memory.Size(), int64_t(content.size()));
  EXPECT_EQ(memory.Inner().Headers().Count(), 2);
  EXPECT_EQ(memory.CompressedSize(), memory.DataStream().Size());
  MemoryStream out;
  memory.SaveToStream(out);
  EXPECT_EQ(out.Data(), content);
}

TEST(HeadersArrayTest, GrowsInDoublingStepsAndReleasesAtZero) {
  TECLHeadersArray table;
  table.SetCount(1);
  EXPECT_EQ(table.Capacity(), 100);
  table.Header(0).checksum = 5;
  table.SetCount(101);
  EXPECT_EQ(table.Capacity(), 300);
  EXPECT_EQ(table.Header(0).checksum, 5u);
  EXPECT_EQ(table.Header(100).checksum, 0u);
  table.SetCount(301);
  EXPECT_EQ(table.Capacity(), 700);
  table.SetCount(0);
  EXPECT_EQ(table.Capacity(), 0);
  table.SetCount(5000);
  EXPECT_EQ(table.Capacity(), 5000);
}

}  // namespace
}  // namespace compression
