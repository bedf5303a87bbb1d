#include "app/archive_modes.h"

#include "app/exit_codes.h"
#include "archive/archive.h"
#include "system/files.h"

namespace app {

namespace {

// The archive modes always write with this mode name.
constexpr const char* kArchiveModeName = "normal";

void UseArchiveCodec() { archive::ArchiveSetStreamCodec(kArchiveModeName); }

// What the archive module recorded of a failed operation; a failure it
// did not record is no success either.
sys::Failure RecordedFailure(const std::string& archiveFile) {
  const sys::Failure& failure = archive::Module().failure;
  return failure.failed() ? failure : sys::MakeFailure(sys::FailureKind::Other, archiveFile, "");
}

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

bool ArchiveRoles::CreateArchive(const std::string& archiveFile, const std::string& folder) {
  archiveRan_ = true;
  archiveFailure_ = sys::MakeFailure(sys::FailureKind::Other, archiveFile, "");  // stays so when it throws
  const bool written = modes_.CreateArchive(archiveFile, folder);
  archiveFailure_ = written ? sys::Failure{} : RecordedFailure(archiveFile);
  archiveWarned_ = written && !archive::Module().warnings.empty();
  return written;
}

bool ArchiveRoles::ExtractArchive(const std::string& archiveFile, const std::string& destination) {
  archiveRan_ = true;
  archiveFailure_ = sys::MakeFailure(sys::FailureKind::Other, archiveFile, "");
  const bool extracted = modes_.ExtractArchive(archiveFile, destination);
  archiveFailure_ = extracted ? sys::Failure{} : RecordedFailure(archiveFile);
  return extracted;
}

int ArchiveRoles::ExitCode(const sys::Failure& escaped) const {
  if (!archiveRan_) return UnavailableRoles::ExitCode(escaped);
  // A failure without a record of its own is told by what escaped.
  const sys::Failure& failure = archiveFailure_.kind == sys::FailureKind::Other && escaped.failed() ? escaped
                                                                                                    : archiveFailure_;
  if (!failure.failed() && archiveWarned_) return kExitWarnings;
  return ArchiveExitCode(failure.kind);
}

}  // namespace app
