// PPM codec throughput, one thread, at the three levels of the product
// (order 2 / 10 MB in 512 KiB blocks, order 5 / 25 MB in 1 MiB blocks,
// order 13 / 100 MB in 1.5 MiB blocks), each block coded on its own as the
// container does. Every block is decoded and compared.
//
// Usage: bench_ppm_bench FILE [max-megabytes] [runs] [orders]
// Prints ratio and MB/s (10^6 bytes of input per second) by wall clock and
// by process CPU time; on a shared machine the CPU figure is the robust one.
// With several runs the best of each figure is kept. `orders` picks levels
// by model order, comma-separated ("5" or "2,13"); all three by default.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "compression/ppm/ppm_codec.h"

namespace {

struct Level {
  int order;
  int memoryMb;
  size_t blockSize;
};

struct Clocks {
  double wall, cpu;
};

Clocks Now() {
  timespec cpu{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  const double wall = std::chrono::duration<double>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
  return {wall, static_cast<double>(cpu.tv_sec) + cpu.tv_nsec * 1e-9};
}

struct Result {
  size_t packed = 0;
  Clocks encode{1e30, 1e30}, decode{1e30, 1e30};
};

bool RunOnce(const std::vector<uint8_t>& data, const Level& level, Result& result) {
  ppm::Codec codec;
  std::vector<uint8_t> packed(level.blockSize + level.blockSize / 20 + 50);
  std::vector<uint8_t> unpacked(level.blockSize);
  Clocks enc{0, 0}, dec{0, 0};
  size_t total = 0;
  for (size_t offset = 0; offset < data.size(); offset += level.blockSize) {
    const size_t n = std::min(level.blockSize, data.size() - offset);
    const Clocks t0 = Now();
    const size_t m = codec.Encode(data.data() + offset, n, packed.data(), packed.size(),
                                  level.order, level.memoryMb);
    const Clocks t1 = Now();
    const ptrdiff_t back = codec.Decode(packed.data(), m, unpacked.data(), n);
    const Clocks t2 = Now();
    if (m == 0 || back != static_cast<ptrdiff_t>(n) ||
        !std::equal(unpacked.begin(), unpacked.begin() + static_cast<ptrdiff_t>(n),
                    data.begin() + static_cast<ptrdiff_t>(offset))) {
      std::fprintf(stderr, "round trip failed at offset %zu\n", offset);
      return false;
    }
    enc.wall += t1.wall - t0.wall;
    enc.cpu += t1.cpu - t0.cpu;
    dec.wall += t2.wall - t1.wall;
    dec.cpu += t2.cpu - t1.cpu;
    total += m;
  }
  result.packed = total;
  result.encode = {std::min(result.encode.wall, enc.wall), std::min(result.encode.cpu, enc.cpu)};
  result.decode = {std::min(result.decode.wall, dec.wall), std::min(result.decode.cpu, dec.cpu)};
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [max-megabytes] [runs] [orders]\n", argv[0]);
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  std::vector<uint8_t> data{std::istreambuf_iterator<char>(file), {}};
  if (argc > 2 && std::atof(argv[2]) > 0) {
    data.resize(std::min(data.size(), static_cast<size_t>(std::atof(argv[2]) * 1e6)));
  }
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  const std::string orders = argc > 4 ? "," + std::string(argv[4]) + "," : "";
  if (data.empty()) {
    std::fprintf(stderr, "no data in %s\n", argv[1]);
    return 2;
  }
  const Level levels[] = {{2, 10, 524288}, {5, 25, 1048576}, {13, 100, 1572864}};
  const double mb = static_cast<double>(data.size()) / 1e6;
  std::printf("input %.2f MB, best of %d run(s)\n", mb, runs);
  std::printf("%-14s %8s %12s %12s %12s %12s\n", "setting", "out/in%", "enc MB/s", "enc CPU", "dec MB/s",
              "dec CPU");
  for (const Level& level : levels) {
    if (!orders.empty() && orders.find("," + std::to_string(level.order) + ",") == std::string::npos) {
      continue;
    }
    Result result;
    for (int r = 0; r < runs; ++r) {
      if (!RunOnce(data, level, result)) return 1;
    }
    std::printf("o%-2d mem=%-3dm   %8.2f %12.2f %12.2f %12.2f %12.2f\n", level.order, level.memoryMb,
                100.0 * static_cast<double>(result.packed) / static_cast<double>(data.size()),
                mb / result.encode.wall, mb / result.encode.cpu, mb / result.decode.wall,
                mb / result.decode.cpu);
    std::fflush(stdout);
  }
  return 0;
}
