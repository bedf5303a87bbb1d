// Creates or extracts an archive with a given compression mode name, so that
// run-bench.sh can time each mode as its own process (CPU time and peak
// memory come from the process). The worker count comes from
// BREVION_THREADS, as in the program.
//
// Usage: bench_archive_modes_bench create MODE SOURCE_FOLDER ARCHIVE
//        bench_archive_modes_bench extract ARCHIVE DESTINATION_FOLDER
//        bench_archive_modes_bench verify ARCHIVE   (the checksum pass alone)
// Exit status 0 on success, 1 when the archive engine reports a failure.
#include <cstdio>
#include <cstring>
#include <string>

#include "archive/archive.h"
#include "archive/checksum.h"
#include "compression/stream_callbacks.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: bench_archive_modes_bench create MODE SOURCE_FOLDER ARCHIVE\n"
               "       bench_archive_modes_bench extract ARCHIVE DESTINATION_FOLDER\n"
               "       bench_archive_modes_bench verify ARCHIVE\n");
  return 2;
}

int Report(bool ok) {
  if (!ok) std::fprintf(stderr, "failed: %s\n", archive::Module().lastError.c_str());
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "create") == 0) {
    archive::ArchiveSetCodec(argv[2], compression::CompressStreamCallback, compression::ExpandStreamCallback);
    return Report(archive::ArchiveCreateFromFolder(argv[4], argv[3], archive::kAllEntriesFilter, nullptr, nullptr, ""));
  }
  if (argc == 4 && std::strcmp(argv[1], "extract") == 0) {
    archive::ArchiveSetCodec("normal", compression::CompressStreamCallback, compression::ExpandStreamCallback);
    return Report(archive::ArchiveExtractAll(argv[2], argv[3], nullptr, nullptr));
  }
  if (argc == 3 && std::strcmp(argv[1], "verify") == 0) {
    return Report(archive::ArchiveVerify(argv[2], nullptr, nullptr));
  }
  return Usage();
}
