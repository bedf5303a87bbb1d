// Arbitrary bytes as an indexed archive, read in memory: the index (found
// from the end, past an executable's signature when there is one), then
// every entry decoded as extraction decodes it. A DamagedArchive or a
// container or stream error is a clean refusal; a crash, a read out of
// bounds, or an entry that expands beyond what its container announces is
// not.
//
// Bounded so that every input runs in well under a millisecond: entries
// whose container announces more than 256 KiB are skipped, as extraction
// hands such entries to the writer instead of decoding them ahead. One
// input in 32 (chosen by its content, so that runs repeat) with an index
// that reads also goes through a real extraction into a temporary folder
// (with a matching checksum, so that the layout checks are what stands in
// the way), which must write nothing outside its target.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_index.h"
#include "archive/archive_layout.h"
#include "archive/checksum.h"
#include "archive/names.h"
#include "archive/operation.h"
#include "compression/stream_callbacks.h"

namespace {

namespace fs = std::filesystem;
namespace layout = archive::layout;

constexpr int64_t kDecodedLimit = 256 << 10;
constexpr uint32_t kExtractOneIn = 32;

struct Workspace {
  fs::path root;
  std::string archivePath;
  std::string target;

  Workspace() {
    root = fs::temp_directory_path() / ("brevion-archive-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(root);
    archivePath = (root / "input.bvarc").string();
    target = (root / "target").string() + "/";
  }
};

Workspace& Work() {
  static Workspace workspace;
  return workspace;
}

uint32_t Fnv1a(const uint8_t* data, size_t size) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  return hash;
}

// Every entry of an accepted index, decoded in memory.
void DecodeEveryEntry(compression::MemoryStream& file, const archive::ArchiveIndex& index) {
  for (size_t k = 0; k < index.EntryCount(); ++k) {
    archive::IsSafeStoredName(index.names[k]);
    const int64_t offset = index.EntryOffset(k), stored = index.StoredLength(k);
    const bool isStub = k == 0 && index.names[k] == layout::kStubName;
    int64_t bound = stored;
    uint8_t flags = 0;
    file.Seek(offset, compression::SeekOrigin::Beginning);
    if (!isStub && stored > 1 && file.Read(&flags, 1) == 1 && (flags & layout::kFlagCompressed)) {
      file.Seek(offset + layout::kEntryLengthOffset, compression::SeekOrigin::Beginning);
      bound = compression::ExpandedSizeBound(file);
    }
    if (bound > kDecodedLimit) continue;
    compression::MemoryStream output;
    try {
      archive::detail::DecodeStoredEntry(file, offset, stored, isStub, compression::ExpandStreamCallback, output,
                                         "fuzz.bvarc");
    } catch (const std::exception&) {
      continue;
    }
    if (output.Size() > bound) __builtin_trap();
  }
}

// Everything in the workspace must be the input file or lie below target.
void CheckNothingOutsideTheTarget(const Workspace& work) {
  for (const auto& entry : fs::directory_iterator(work.root)) {
    const std::string name = entry.path().filename().string();
    if (name != "input.bvarc" && name != "target") __builtin_trap();
  }
}

void ExtractOnDisk(const uint8_t* data, size_t size) {
  Workspace& work = Work();
  {
    std::ofstream file(work.archivePath, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  archive::ArchiveSetCodec("zlibmax", compression::CompressStreamCallback, compression::ExpandStreamCallback);
  archive::ArchiveModule& module = archive::Module();
  module.OverwriteExisting = module.OverwriteReadOnly = module.OverwriteSystem = archive::kYesToAll;
  archive::ArchiveWriteChecksum(work.archivePath, nullptr, nullptr);
  archive::ArchiveExtractAll(work.archivePath, work.target, nullptr, nullptr);
  CheckNothingOutsideTheTarget(work);
  std::error_code error;
  fs::remove_all(work.target, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (64 << 10)) return 0;
  compression::MemoryStream file(std::vector<uint8_t>(data, data + size));
  archive::ArchiveIndex index;
  try {
    index = archive::ReadArchiveIndex(file, "fuzz.bvarc");
  } catch (const std::exception&) {
    return 0;
  }
  DecodeEveryEntry(file, index);
  if (Fnv1a(data, size) % kExtractOneIn == 0) ExtractOnDisk(data, size);
  return 0;
}
