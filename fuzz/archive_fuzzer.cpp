// Arbitrary bytes as an indexed archive: read its index, then (with a
// checksum that matches, so that the layout checks are what stands in the
// way) extract everything into a temporary folder and read every entry.
// Refusals and exceptions are clean outcomes; a crash, a read out of bounds
// or any file written outside the target folder is not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "archive/archive.h"
#include "archive/checksum.h"
#include "compression/stream_callbacks.h"

namespace {

namespace fs = std::filesystem;

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

// Everything in the workspace must be the input file or lie below target.
void CheckNothingOutsideTheTarget(const Workspace& work) {
  for (const auto& entry : fs::directory_iterator(work.root)) {
    const std::string name = entry.path().filename().string();
    if (name != "input.bvarc" && name != "target") __builtin_trap();
  }
}

void ReadEveryEntry(const std::string& archivePath) {
  archive::StringList names, nameAttributes, folders, folderAttributes;
  std::vector<int64_t> table;
  archive::ArchiveReadIndex(archivePath, "", true, names, nameAttributes, folders, folderAttributes, table);
  for (const std::string& name : names) {
    compression::MemoryStream out;
    std::string letters;
    try {
      archive::ArchiveReadEntry(archivePath, name, out, letters);
    } catch (const std::exception&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Workspace& work = Work();
  {
    std::ofstream file(work.archivePath, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  archive::ArchiveSetCodec("zlibmax", compression::CompressStreamCallback, compression::ExpandStreamCallback);
  archive::ArchiveModule& module = archive::Module();
  module.OverwriteExisting = module.OverwriteReadOnly = module.OverwriteSystem = archive::kYesToAll;
  try {
    ReadEveryEntry(work.archivePath);
  } catch (const std::exception&) {
  }
  archive::ArchiveWriteChecksum(work.archivePath, nullptr, nullptr);
  archive::ArchiveExtractAll(work.archivePath, work.target, nullptr, nullptr);
  CheckNothingOutsideTheTarget(work);
  std::error_code error;
  fs::remove_all(work.target, error);
  return 0;
}
