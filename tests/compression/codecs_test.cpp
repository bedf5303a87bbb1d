#include "compression/codecs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compression/container_crc.h"
#include "test_content.h"

namespace compression {
namespace {

using compressiontest::SampleContent;

const uint8_t kZlibAndBzip2Levels[] = {1, 2, 5, 7, 8, 9};

TEST(ContainerCrc32Test, KnownValuesAndPiecewiseUpdates) {
  const std::string abc = "abc";
  EXPECT_EQ(ContainerCrc32(reinterpret_cast<const uint8_t*>(abc.data()), abc.size()), 0xCA6598D0u);
  EXPECT_EQ(ContainerCrc32(nullptr, 0), 0u);
  const std::vector<uint8_t> zeros(1000, 0);
  EXPECT_EQ(ContainerCrc32(zeros.data(), zeros.size()), 0u);

  // The sliced fast path must agree with the byte-at-a-time definition for
  // every length and alignment.
  const Buffer data = SampleContent(300, 7);
  for (size_t start = 0; start < 9; ++start) {
    for (size_t length = 0; length + start <= data.size(); length += 13) {
      uint32_t expected = 0;
      for (size_t i = start; i < start + length; ++i) {
        expected ^= data[i];
        for (int bit = 0; bit < 8; ++bit) expected = (expected & 1) ? (expected >> 1) ^ 0xEDB88320u : expected >> 1;
      }
      ASSERT_EQ(ContainerCrc32(data.data() + start, length), expected) << start << " " << length;
      const size_t half = length / 2;
      ASSERT_EQ(ContainerCrc32(data.data() + start + half, length - half, ContainerCrc32(data.data() + start, half)),
                expected);
    }
  }
}

TEST(CompressionLevelTest, ModeNamesAndBlockSizes) {
  const std::pair<const char*, int> names[] = {
      {"ppmfastest", 6}, {"ppmnormal", 3}, {"ppmmax", 4},   {"zlibfastest", 1}, {"zlibormal", 2},
      {"zlibmax", 5},    {"bzipfastest", 7}, {"bzipnormal", 8}, {"bzipmax", 9},  {"none", 0},
      {"lowest", 1},     {"low", 8},        {"normal", 3},   {"high", 4},        {"max", 4},
      {"NORMAL", 3},     {"NoRmAl", 3},     {"ZlibMax", 5},  {"", 0},            {"zlibnormal", 0},
      {" normal", 0},    {"normal ", 0},    {"fast", 0},     {"\xC4normal", 0}};
  for (const auto& [name, level] : names) EXPECT_EQ(CompressionLevelFromName(name), level) << name;

  const int32_t blockSizes[] = {1048576, 524288, 1048576, 1048576, 1572864,
                                1572864, 524288, 524288,  1048576, 1572864};
  for (int level = 0; level < 10; ++level) EXPECT_EQ(BlockSizeForLevel(uint8_t(level)), blockSizes[level]);
  EXPECT_EQ(BlockSizeForLevel(10), 1048576);
  EXPECT_EQ(BlockSizeForLevel(255), 1048576);
}

TEST(PrepareBufferTest, EmptyInputAndUnknownLevelsFail) {
  const Buffer data = SampleContent(100);
  Buffer payload{1, 2, 3};
  for (int level = 0; level < 256; ++level) {
    EXPECT_FALSE(PrepareBuffer(data.data(), 0, uint8_t(level), payload)) << level;
    EXPECT_TRUE(payload.empty());
  }
  EXPECT_FALSE(PrepareBuffer(data.data(), data.size(), 10, payload));
  EXPECT_FALSE(PrepareBuffer(data.data(), data.size(), 255, payload));
  Buffer output;
  EXPECT_FALSE(UnpackBuffer(data.data(), data.size(), 10, 100, output));
  EXPECT_FALSE(UnpackBuffer(data.data(), data.size(), 0, 0, output));
}

TEST(PrepareBufferTest, StoredCopiesTheBytes) {
  const Buffer data = SampleContent(1000);
  Buffer payload, output;
  ASSERT_TRUE(PrepareBuffer(data.data(), data.size(), 0, payload));
  EXPECT_EQ(payload, data);
  ASSERT_TRUE(UnpackBuffer(payload.data(), payload.size(), 0, 1000, output));
  EXPECT_EQ(output, data);
}

TEST(PrepareBufferTest, ZlibAndBzip2RoundTripIncludingIncompressibleData) {
  Buffer noise(200000);
  uint32_t state = 99;
  for (uint8_t& byte : noise) byte = uint8_t((state = state * 1103515245u + 12345u) >> 23);
  for (const Buffer& data : {SampleContent(1), SampleContent(300000), noise}) {
    for (uint8_t level : kZlibAndBzip2Levels) {
      Buffer payload, output;
      ASSERT_TRUE(PrepareBuffer(data.data(), data.size(), level, payload)) << int(level);
      ASSERT_TRUE(UnpackBuffer(payload.data(), payload.size(), level, int64_t(data.size()), output));
      EXPECT_EQ(output, data) << int(level);
    }
  }
}

TEST(PrepareBufferTest, PayloadFormatsAndFamilyInterchange) {
  const Buffer data = SampleContent(50000);
  Buffer zlib9, output;
  ASSERT_TRUE(PrepareBuffer(data.data(), data.size(), 5, zlib9));
  EXPECT_EQ(zlib9[0], 0x78);  // zlib header, 32 KiB window
  for (uint8_t level : {1, 2, 5}) {
    ASSERT_TRUE(UnpackBuffer(zlib9.data(), zlib9.size(), level, int64_t(data.size()), output));
    EXPECT_EQ(output, data);
  }
  for (auto [level, digit] : {std::pair<uint8_t, char>{7, '2'}, {8, '6'}, {9, '9'}}) {
    Buffer bzip2;
    ASSERT_TRUE(PrepareBuffer(data.data(), data.size(), level, bzip2));
    EXPECT_EQ(std::string(bzip2.begin(), bzip2.begin() + 4), std::string("BZh") + digit);
    ASSERT_TRUE(UnpackBuffer(bzip2.data(), bzip2.size(), 7, int64_t(data.size()), output));
    EXPECT_EQ(output, data);
  }
  // A zlib payload is not a bzip2 one.
  EXPECT_FALSE(UnpackBuffer(zlib9.data(), zlib9.size(), 8, int64_t(data.size()), output));
}

TEST(UnpackBufferTest, DamagedOrOversizedPayloadsFail) {
  const Buffer data = SampleContent(20000);
  for (uint8_t level : kZlibAndBzip2Levels) {
    Buffer payload, output;
    ASSERT_TRUE(PrepareBuffer(data.data(), data.size(), level, payload));
    // Output beyond the expected length.
    EXPECT_FALSE(UnpackBuffer(payload.data(), payload.size(), level, int64_t(data.size()) - 1, output)) << int(level);
    EXPECT_TRUE(output.empty());
    // Cut-off payload: the codec stops making progress.
    EXPECT_FALSE(UnpackBuffer(payload.data(), payload.size() / 2, level, int64_t(data.size()), output));
    // Corrupted bytes in the middle (the stream checksums catch them).
    Buffer damaged = payload;
    for (size_t i = damaged.size() / 3; i < damaged.size() / 3 + 8; ++i) damaged[i] ^= 0x5A;
    EXPECT_FALSE(UnpackBuffer(damaged.data(), damaged.size(), level, int64_t(data.size()), output));
    // A larger expected length is not the codec's concern.
    ASSERT_TRUE(UnpackBuffer(payload.data(), payload.size(), level, int64_t(data.size()) + 10, output));
    EXPECT_EQ(output.size(), data.size());
    EXPECT_FALSE(UnpackBuffer(payload.data(), payload.size(), level, 0, output));
  }
  Buffer output;
  EXPECT_FALSE(UnpackBuffer(nullptr, 0, 1, 100, output));
  EXPECT_FALSE(UnpackBuffer(nullptr, 0, 7, 100, output));
}

}  // namespace
}  // namespace compression
