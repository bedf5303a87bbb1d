#include "app/archive_modes.h"

#include "app/exit_codes.h"
#include "archive/archive.h"
#include "system/files.h"

namespace app {

namespace {

// The archive modes always write with this mode name.
constexpr const char* kArchiveModeName = "normal";

void UseArchiveCodec() { archive::ArchiveSetStreamCodec(kArchiveModeName); }

}  // namespace

void ArchiveModes::CreateArchiveWindow(ui::Toolkit& toolkit) {
  window_ = std::make_unique<archive::TDIndexedFile>(toolkit);
}

bool ArchiveModes::CreateArchive(const std::string& archiveFile, const std::string& folder) {
  archive::ArchiveSetMessages("Archiving Files", "Archiving Successful", "Archiving Aborted", 0);
  UseArchiveCodec();
  // A folder with nothing to pack returns before the operation starts; clear
  // what an earlier operation left so that the failure is not misread.
  archive::Module().abort = false;
  archive::Module().lastError.clear();
  archive::Module().warnings.clear();
  return archive::ArchiveCreateFromFolder(archiveFile, folder, archive::kAllEntriesFilter, nullptr, nullptr, "");
}

bool ArchiveModes::ExtractArchive(const std::string& archiveFile, const std::string& destination) {
  UseArchiveCodec();
  archive::ArchiveSetMessages("Extracting Files", "Files extracted successfully", "File Extraction Aborted", 0);
  return archive::ArchiveExtractAll(archiveFile, destination, nullptr, nullptr);
}

}  // namespace app
