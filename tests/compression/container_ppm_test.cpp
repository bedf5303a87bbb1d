// Containers and records packed with the PPM levels (3, 4, 6).
#include <gtest/gtest.h>

#include "compression/codecs.h"
#include "compression/container_layout.h"
#include "compression/container_streams.h"
#include "compression/stream_callbacks.h"
#include "test_content.h"

namespace compression {
namespace {

using compressiontest::SampleContent;

TEST(ContainerPpmTest, RoundTripsForEveryPpmName) {
  for (const char* mode : {"ppmfastest", "ppmnormal", "ppmmax", "normal", "high", "max", "Normal"}) {
    for (size_t size : {size_t(0), size_t(1), size_t(1048576), size_t(1048577)}) {
      SCOPED_TRACE(std::string(mode) + " " + std::to_string(size));
      const Buffer content = SampleContent(size, uint32_t(size) + 3);
      MemoryStream source(content);
      MemoryStream record;
      const int64_t written = CompressStreamCallback(source, record, mode);
      record.Seek(0, SeekOrigin::Beginning);
      MemoryStream out;
      EXPECT_EQ(ExpandStreamCallback(record, out) + 8, written);
      EXPECT_TRUE(out.Data() == content);
    }
  }
  const Buffer large = SampleContent(5 << 20, 9);
  MemoryStream source(large);
  MemoryStream record;
  CompressStreamCallback(source, record, "normal");
  record.Seek(0, SeekOrigin::Beginning);
  MemoryStream out;
  ExpandStreamCallback(record, out);
  EXPECT_TRUE(out.Data() == large);
}

TEST(ContainerPpmTest, PayloadCarriesTheInfoWordAndFailsCleanly) {
  const Buffer content = SampleContent(1118);
  const std::pair<uint8_t, uint32_t> levels[] = {{3, 0x6184}, {4, 0x663C}, {6, 0x6091}};
  for (auto [level, infoWord] : levels) {
    Buffer payload, output;
    ASSERT_TRUE(PrepareBuffer(content.data(), content.size(), level, payload));
    EXPECT_EQ(layout::LoadU32(payload.data()), infoWord);
    // Any PPM level reads any PPM payload: the info word carries the model.
    ASSERT_TRUE(UnpackBuffer(payload.data(), payload.size(), 6, int64_t(content.size()), output));
    EXPECT_EQ(output, content);
    EXPECT_FALSE(UnpackBuffer(payload.data(), payload.size(), level, int64_t(content.size()) - 1, output));
    Buffer damaged = payload;
    damaged[1] ^= 0xF0;  // variant nibble
    EXPECT_FALSE(UnpackBuffer(damaged.data(), damaged.size(), level, int64_t(content.size()), output));
  }
}

TEST(ContainerPpmTest, OneBlockAtLevel3) {
  const Buffer content = SampleContent(1118);
  MemoryStream data;
  TECLStream container(&data, "", 3, 0, true);
  container.Write(content.data(), int64_t(content.size()));
  const BlockHeader block = BlockHeader::FromBytes(data.Data().data() + 128);
  EXPECT_EQ(block.nextOffset, 144 + block.compressedSize);
  EXPECT_EQ(block.nextOffset, data.Size());
  TECLStream reader(&data, "", 0, 0, false);
  Buffer out(content.size());
  EXPECT_EQ(reader.Read(out.data(), int64_t(out.size())), int64_t(content.size()));
  EXPECT_EQ(out, content);
}

}  // namespace
}  // namespace compression
