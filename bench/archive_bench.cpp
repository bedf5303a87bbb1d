// Archive engine throughput on a 100 MB archive: writing (raw path), the
// checksum pass compared with a plain sequential read of the same file
// (`cat FILE > /dev/null`), the in-memory word sum, and extraction.
//
// Usage: bench_archive_bench [megabytes]   (default 100)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/checksum.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The best of `runs` timings (the page cache is warm after the first).
double Best(int runs, const std::function<void()>& work) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) best = std::min(best, Seconds(work));
  return best;
}

void WriteSources(const fs::path& folder, int64_t totalBytes) {
  fs::create_directories(folder);
  const int files = 10;
  std::vector<char> block(totalBytes / files);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int f = 0; f < files; ++f) {
    for (auto& c : block) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      c = static_cast<char>(state);
    }
    std::ofstream(folder / ("file" + std::to_string(f) + ".bin"), std::ios::binary)
        .write(block.data(), static_cast<std::streamsize>(block.size()));
  }
}

void Row(const char* what, double seconds, double bytes) {
  std::printf("%-34s %8.3f s %9.2f GB/s\n", what, seconds, bytes / seconds / 1e9);
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
  const int64_t bytes = megabytes * 1'000'000;
  const fs::path root = fs::temp_directory_path() / "brevion-archive-bench";
  fs::remove_all(root);
  WriteSources(root / "src", bytes);
  const std::string archivePath = (root / "bench.bvarc").string();

  // No compress hook: every entry takes the raw path (stream copy).
  archive::ArchiveSetCodec("none", nullptr, nullptr);
  archive::Module().OverwriteExisting = archive::kYesToAll;
  const double write = Best(3, [&] {
    archive::ArchiveCreateFromFolder(archivePath, (root / "src").string(), archive::kAllEntriesFilter, nullptr,
                                     nullptr, "");
  });
  const double archiveBytes = static_cast<double>(fs::file_size(archivePath));
  const double verify = Best(5, [&] {
    if (!archive::ArchiveVerify(archivePath, nullptr, nullptr)) std::fprintf(stderr, "verify failed\n");
  });
  const std::string cat = "cat '" + archivePath + "' > /dev/null";
  const double plainRead = Best(5, [&] {
    if (std::system(cat.c_str()) != 0) std::fprintf(stderr, "cat failed\n");
  });
  std::vector<uint8_t> memory(static_cast<size_t>(bytes) & ~size_t{3});
  for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  volatile uint32_t sink = 0;
  const double sum = Best(5, [&] {
    // SumWords takes fewer than 2^28 words per call.
    uint32_t total = 0;
    for (size_t at = 0; at < memory.size(); at += (1u << 26)) {
      const size_t chunk = std::min<size_t>(1u << 26, memory.size() - at);
      total = archive::AddChecksums(total, archive::SumWords(memory.data() + at, chunk / 4));
    }
    sink = total;
  });
  const double extract = Best(3, [&] {
    archive::ArchiveExtractAll(archivePath, (root / "dest").string(), nullptr, nullptr);
  });

  std::printf("archive of %.0f MB (%s)\n", archiveBytes / 1e6, archivePath.c_str());
  Row("write (raw path)", write, archiveBytes);
  Row("checksum pass (ArchiveVerify)", verify, archiveBytes);
  Row("cat FILE > /dev/null", plainRead, archiveBytes);
  Row("SumWords in memory", sum, static_cast<double>(memory.size()));
  Row("extract all (verify + copy)", extract, archiveBytes);
  fs::remove_all(root);
  return sink == 0xFFFFFFFF;  // never: keeps the sum from being optimised away
}
