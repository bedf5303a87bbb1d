#include "compression/codecs.h"

#include <bzlib.h>
#include <zlib.h>

#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

#include "compression/block_pool.h"
#include "compression/ppm/ppm_codec.h"
#include "compression/spare_objects.h"

namespace compression {

namespace {

enum class Family { Stored, Zlib, Bzip2, Ppm, None };

struct LevelInfo {
  Family family;
  int parameter;  // zlib level, bzip2 factor or PPM model order
  int memoryMb;   // PPM model memory
  int32_t blockSize;
};

constexpr int32_t kHalfMiB = 524288;
constexpr int32_t kOneMiB = 1048576;
constexpr int32_t kOneAndHalfMiB = 1572864;

constexpr std::array<LevelInfo, 10> kLevels = {{
    {Family::Stored, 0, 0, kOneMiB},
    {Family::Zlib, 1, 0, kHalfMiB},
    {Family::Zlib, 5, 0, kOneMiB},
    {Family::Ppm, 5, 25, kOneMiB},
    {Family::Ppm, 13, 100, kOneAndHalfMiB},
    {Family::Zlib, 9, 0, kOneAndHalfMiB},
    {Family::Ppm, 2, 10, kHalfMiB},
    {Family::Bzip2, 2, 0, kHalfMiB},
    {Family::Bzip2, 6, 0, kOneMiB},
    {Family::Bzip2, 9, 0, kOneAndHalfMiB},
}};

LevelInfo InfoForLevel(uint8_t level) {
  if (level < kLevels.size()) return kLevels[level];
  return {Family::None, 0, 0, kOneMiB};
}

struct ModeName {
  std::string_view name;
  uint8_t level;
};

// Tested in this order; the first exact match wins.
constexpr std::array<ModeName, 15> kModeNames = {{
    {"ppmfastest", 6},
    {"ppmnormal", 3},
    {"ppmmax", 4},
    {"zlibfastest", 1},
    {"zlibormal", 2},
    {"zlibmax", 5},
    {"bzipfastest", 7},
    {"bzipnormal", 8},
    {"bzipmax", 9},
    {"none", 0},
    {"lowest", 1},
    {"low", 8},
    {"normal", 3},
    {"high", 4},
    {"max", 4},
}};

// Codecs take 32-bit lengths; blocks are far smaller, this only keeps a
// hostile length from wrapping.
constexpr size_t kMaxCodecLength = std::numeric_limits<int32_t>::max() / 2;

// Output space for packing: the input plus a tenth plus a small margin,
// rounded down to whole 256-byte pages.
size_t InitialPackCapacity(size_t length) { return (length + length / 10 + 12 + 255) / 256 * 256; }

// When the packer runs out of room the buffer grows; by half its size (at
// least 256 bytes) so that incompressible input costs few rounds.
size_t GrownCapacity(size_t capacity) { return capacity + std::max<size_t>(256, capacity / 2); }

bool PackZlib(const uint8_t* bytes, size_t length, int zlibLevel, Buffer& payload) {
  z_stream stream{};
  if (deflateInit(&stream, zlibLevel) != Z_OK) return false;
  payload.resize(InitialPackCapacity(length));
  stream.next_in = const_cast<Bytef*>(bytes);
  stream.avail_in = static_cast<uInt>(length);
  int result = Z_OK;
  for (;;) {
    stream.next_out = payload.data() + stream.total_out;
    stream.avail_out = static_cast<uInt>(payload.size() - stream.total_out);
    result = deflate(&stream, Z_FINISH);
    if (result == Z_STREAM_END || (result < 0 && result != Z_BUF_ERROR)) break;
    payload.resize(GrownCapacity(payload.size()));
  }
  const size_t produced = stream.total_out;
  deflateEnd(&stream);
  if (result != Z_STREAM_END) return false;
  payload.resize(produced);
  return true;
}

bool PackBzip2(const uint8_t* bytes, size_t length, int factor, Buffer& payload) {
  bz_stream stream{};
  if (BZ2_bzCompressInit(&stream, factor, 0, 0) != BZ_OK) return false;
  payload.resize(InitialPackCapacity(length));
  stream.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes));
  stream.avail_in = static_cast<unsigned>(length);
  size_t produced = 0;
  int result = BZ_OK;
  for (;;) {
    stream.next_out = reinterpret_cast<char*>(payload.data() + produced);
    stream.avail_out = static_cast<unsigned>(payload.size() - produced);
    const unsigned before = stream.avail_out;
    result = BZ2_bzCompress(&stream, BZ_FINISH);
    produced += before - stream.avail_out;
    if (result == BZ_STREAM_END || result < 0) break;
    payload.resize(GrownCapacity(payload.size()));
  }
  BZ2_bzCompressEnd(&stream);
  if (result != BZ_STREAM_END) return false;
  payload.resize(produced);
  return true;
}

// PPM codecs lent to the threads that code blocks: a codec's model memory
// (up to 100 MB) is kept between blocks instead of being obtained again for
// every block.
class LentPpmCodec {
 public:
  LentPpmCodec() : codec_(Idle().Take()) {
    if (!codec_) codec_ = std::make_unique<ppm::Codec>();
  }
  ~LentPpmCodec() { Idle().Give(std::move(codec_)); }
  LentPpmCodec(const LentPpmCodec&) = delete;
  LentPpmCodec& operator=(const LentPpmCodec&) = delete;
  ppm::Codec* operator->() { return codec_.get(); }

 private:
  // One for each thread that may code at once. Never destroyed: a worker
  // may still return a codec while static objects are torn down.
  static SpareObjects<ppm::Codec>& Idle() {
    static auto* idle = new SpareObjects<ppm::Codec>(kMaxWorkers + 1);
    return *idle;
  }

  std::unique_ptr<ppm::Codec> codec_;
};

bool PackPpm(const uint8_t* bytes, size_t length, const LevelInfo& info, Buffer& payload) {
  payload.resize(length + length / 20 + 50);
  const size_t produced =
      LentPpmCodec()->Encode(bytes, length, payload.data(), payload.size(), info.parameter, info.memoryMb);
  payload.resize(produced);
  return produced > 0;
}

bool PackWith(const uint8_t* bytes, size_t length, const LevelInfo& info, Buffer& payload) {
  switch (info.family) {
    case Family::Stored:
      payload.assign(bytes, bytes + length);
      return true;
    case Family::Zlib:
      return PackZlib(bytes, length, info.parameter, payload);
    case Family::Bzip2:
      return PackBzip2(bytes, length, info.parameter, payload);
    case Family::Ppm:
      return PackPpm(bytes, length, info, payload);
    case Family::None:
      break;
  }
  return false;
}

// The output buffers below hold one byte more than expected: a codec that
// fills it has proved that the data would overrun the expected length.

bool UnpackZlib(const uint8_t* payload, size_t payloadLength, size_t expected, BlockBuffer& output) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  output.resize(expected + 1);
  stream.next_in = const_cast<Bytef*>(payload);
  stream.avail_in = static_cast<uInt>(payloadLength);
  stream.next_out = output.data();
  stream.avail_out = static_cast<uInt>(output.size());
  int result = Z_OK;
  for (;;) {
    const uInt inBefore = stream.avail_in, outBefore = stream.avail_out;
    result = inflate(&stream, Z_NO_FLUSH);
    if (result == Z_STREAM_END || (result < 0 && result != Z_BUF_ERROR)) break;
    if (stream.avail_out == 0) break;  // more than expected
    if (stream.avail_in == inBefore && stream.avail_out == outBefore) break;  // no progress
  }
  const size_t produced = stream.total_out;
  inflateEnd(&stream);
  if (result != Z_STREAM_END || produced == 0 || produced > expected) return false;
  output.resize(produced);
  return true;
}

bool UnpackBzip2(const uint8_t* payload, size_t payloadLength, size_t expected, BlockBuffer& output) {
  bz_stream stream{};
  if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return false;
  output.resize(expected + 1);
  stream.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(payload));
  stream.avail_in = static_cast<unsigned>(payloadLength);
  stream.next_out = reinterpret_cast<char*>(output.data());
  stream.avail_out = static_cast<unsigned>(output.size());
  int result = BZ_OK;
  for (;;) {
    const unsigned inBefore = stream.avail_in, outBefore = stream.avail_out;
    result = BZ2_bzDecompress(&stream);
    if (result == BZ_STREAM_END || result < 0) break;
    if (stream.avail_out == 0) break;
    if (stream.avail_in == inBefore && stream.avail_out == outBefore) break;
  }
  const size_t produced = output.size() - stream.avail_out;
  BZ2_bzDecompressEnd(&stream);
  if (result != BZ_STREAM_END || produced == 0 || produced > expected) return false;
  output.resize(produced);
  return true;
}

bool UnpackPpm(const uint8_t* payload, size_t payloadLength, size_t expected, BlockBuffer& output) {
  output.resize(expected);
  const ptrdiff_t produced = LentPpmCodec()->Decode(payload, payloadLength, output.data(), expected);
  if (produced <= 0 || static_cast<size_t>(produced) > expected) return false;
  output.resize(static_cast<size_t>(produced));
  return true;
}

bool UnpackWith(const uint8_t* payload, size_t payloadLength, const LevelInfo& info, size_t expected,
                BlockBuffer& output) {
  switch (info.family) {
    case Family::Stored:
      output.assign(payload, payload + payloadLength);
      return true;
    case Family::Zlib:
      return UnpackZlib(payload, payloadLength, expected, output);
    case Family::Bzip2:
      return UnpackBzip2(payload, payloadLength, expected, output);
    case Family::Ppm:
      return UnpackPpm(payload, payloadLength, expected, output);
    case Family::None:
      break;
  }
  return false;
}

}  // namespace

uint8_t CompressionLevelFromName(const std::string& name) {
  std::string lower = name;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (const ModeName& mode : kModeNames) {
    if (lower == mode.name) return mode.level;
  }
  return kStoredLevel;
}

bool IsCompressionModeName(const std::string& name) {
  std::string lower = name;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (const ModeName& mode : kModeNames) {
    if (lower == mode.name) return true;
  }
  return false;
}

std::string CompressionModeNames() {
  std::string text;
  for (const ModeName& mode : kModeNames) {
    if (!text.empty()) text += ", ";
    text += mode.name;
  }
  return text;
}

int32_t BlockSizeForLevel(uint8_t level) { return InfoForLevel(level).blockSize; }

bool PrepareBuffer(const uint8_t* bytes, size_t length, uint8_t level, Buffer& payload) {
  payload.clear();
  if (length == 0 || length > kMaxCodecLength) return false;
  bool ok = false;
  try {
    ok = PackWith(bytes, length, InfoForLevel(level), payload);
  } catch (...) {  // e.g. std::bad_alloc: a failed block, not a crash
    ok = false;
  }
  if (!ok || payload.empty()) {
    Buffer().swap(payload);
    return false;
  }
  return true;
}

bool UnpackBuffer(const uint8_t* payload, size_t payloadLength, uint8_t level, int64_t expectedLength,
                  BlockBuffer& output) {
  output.clear();
  if (expectedLength < 1 || level > kMaxLevelCode) return false;
  if (static_cast<uint64_t>(expectedLength) > kMaxCodecLength || payloadLength > kMaxCodecLength) return false;
  bool ok = false;
  try {
    ok = UnpackWith(payload, payloadLength, InfoForLevel(level), static_cast<size_t>(expectedLength), output);
  } catch (...) {
    ok = false;
  }
  if (!ok) BlockBuffer().swap(output);
  return ok;
}

bool UnpackBuffer(const uint8_t* payload, size_t payloadLength, uint8_t level, int64_t expectedLength,
                  Buffer& output) {
  BlockBuffer block;
  const bool ok = UnpackBuffer(payload, payloadLength, level, expectedLength, block);
  output.assign(block.begin(), block.end());
  return ok;
}

}  // namespace compression
