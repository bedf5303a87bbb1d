#include "app/archive_modes.h"

#include "archive/archive.h"
#include "compression/stream_callbacks.h"

namespace app {

namespace {

// The archive modes always write with this mode name.
constexpr const char* kArchiveModeName = "normal";

void UseArchiveCodec() {
  archive::ArchiveSetCodec(kArchiveModeName, compression::CompressStreamCallback,
                           compression::ExpandStreamCallback);
}

}  // namespace

void ArchiveModes::CreateArchiveWindow(ui::Toolkit& toolkit) {
  window_ = std::make_unique<archive::TDIndexedFile>(toolkit);
}

bool ArchiveModes::CreateArchive(const std::string& archiveFile, const std::string& folder) {
  archive::ArchiveSetMessages("Archiving Files", "Archiving Successful", "Archiving Aborted", 0);
  UseArchiveCodec();
  return archive::ArchiveCreateFromFolder(archiveFile, folder, archive::kAllEntriesFilter, nullptr, nullptr, "");
}

bool ArchiveModes::ExtractArchive(const std::string& archiveFile, const std::string& destination) {
  UseArchiveCodec();
  archive::ArchiveSetMessages("Extracting Files", "Files extracted successfully", "File Extraction Aborted", 0);
  return archive::ArchiveExtractAll(archiveFile, destination, nullptr, nullptr);
}

}  // namespace app
