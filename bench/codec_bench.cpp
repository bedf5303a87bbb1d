// Packing and unpacking speed of every level code, block by block as the
// container does it, over the files given on the command line; and the
// speed of the block checksum.
//
//   bench_codec_bench FILE... [--levels 0,1,2,...]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "compression/codecs.h"
#include "compression/container_crc.h"

namespace {

using Clock = std::chrono::steady_clock;
using compression::Buffer;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

Buffer ReadWholeFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Buffer(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct LevelResult {
  bool ok = true;
  size_t packedBytes = 0;
  double packSeconds = 0;
  double unpackSeconds = 0;
};

// Packs and unpacks `data` in blocks of the level's size; checks each block.
LevelResult RunLevel(const Buffer& data, uint8_t level) {
  LevelResult result;
  const size_t blockSize = static_cast<size_t>(compression::BlockSizeForLevel(level));
  Buffer payload, output;
  for (size_t offset = 0; offset < data.size(); offset += blockSize) {
    const size_t length = std::min(blockSize, data.size() - offset);
    auto start = Clock::now();
    if (!compression::PrepareBuffer(data.data() + offset, length, level, payload)) return {false};
    result.packSeconds += SecondsSince(start);
    result.packedBytes += payload.size() + 16;
    start = Clock::now();
    if (!compression::UnpackBuffer(payload.data(), payload.size(), level, int64_t(length), output)) return {false};
    result.unpackSeconds += SecondsSince(start);
    if (output.size() != length || std::memcmp(output.data(), data.data() + offset, length) != 0) return {false};
  }
  return result;
}

double CrcGigabytesPerSecond() {
  Buffer data(64 << 20);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 2654435761u >> 24);
  uint32_t crc = 0;
  const auto start = Clock::now();
  const int rounds = 8;
  for (int r = 0; r < rounds; ++r) crc = compression::ContainerCrc32(data.data(), data.size(), crc);
  const double seconds = SecondsSince(start);
  std::printf("(crc %08x)\n", crc);
  return double(data.size()) * rounds / seconds / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> files;
  std::vector<int> levels = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--levels") == 0 && i + 1 < argc) {
      levels.clear();
      std::stringstream list(argv[++i]);
      for (std::string item; std::getline(list, item, ',');) levels.push_back(std::stoi(item));
    } else {
      files.push_back(argv[i]);
    }
  }
  Buffer data;
  for (const char* file : files) {
    const Buffer content = ReadWholeFile(file);
    data.insert(data.end(), content.begin(), content.end());
  }
  std::printf("input: %zu files, %.1f MB\n", files.size(), double(data.size()) / 1e6);
  if (!data.empty()) {
    std::printf("%-6s %10s %12s %14s\n", "level", "ratio %", "pack MB/s", "unpack MB/s");
    for (int level : levels) {
      const LevelResult r = RunLevel(data, uint8_t(level));
      if (!r.ok) {
        std::printf("%-6d %10s\n", level, "failed");
        continue;
      }
      const double megabytes = double(data.size()) / 1e6;
      std::printf("%-6d %10.1f %12.1f %14.1f\n", level, 100.0 * double(r.packedBytes) / double(data.size()),
                  megabytes / r.packSeconds, megabytes / r.unpackSeconds);
    }
  }
  std::printf("ContainerCrc32: %.2f GB/s\n", CrcGigabytesPerSecond());
  return 0;
}
