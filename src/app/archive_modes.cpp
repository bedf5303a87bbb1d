#include "app/archive_modes.h"

#include "app/exit_codes.h"
#include "archive/archive.h"
#include "system/files.h"
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

namespace {

bool IsIoMessage(const std::string& text) {
  // A file that could not be extracted carries the file layer's reason.
  constexpr std::string_view kExtractFailed = " could not be extracted: ";
  if (const size_t at = text.find(kExtractFailed); at != std::string::npos) {
    return IsIoMessage(text.substr(at + kExtractFailed.size()));
  }
  return text.starts_with("Cannot open file") || text == compression::kStreamReadError ||
         text == compression::kStreamWriteError || text.ends_with(" could not be written.") ||
         text.ends_with(" could not be created.");
}

}  // namespace

// The archive operations report every failure but a cancel with a message;
// the message tells the kind of failure apart.
int CreateFailureExitCode(const archive::ArchiveModule& module, const std::string& folder) {
  if (module.lastError.empty()) {
    if (module.abort) return kExitCancelled;
    return sys::FolderExists(folder) ? kExitFailure : kExitIoFailure;
  }
  return IsIoMessage(module.lastError) ? kExitIoFailure : kExitFailure;
}

int ExtractFailureExitCode(const archive::ArchiveModule& module, const std::string& archiveFile) {
  const std::string& text = module.lastError;
  if (text.empty()) return sys::FileExists(archiveFile) ? kExitCancelled : kExitIoFailure;
  if (text == archive::DamagedArchiveMessage(archiveFile)) return kExitDamaged;
  if (text.starts_with("The archive ") && text.ends_with("Nothing was extracted.")) return kExitDamaged;
  return IsIoMessage(text) ? kExitIoFailure : kExitFailure;
}

bool ArchiveRoles::CreateArchive(const std::string& archiveFile, const std::string& folder) {
  const bool written = modes_.CreateArchive(archiveFile, folder);
  archiveFailure_ = !written                             ? CreateFailureExitCode(archive::Module(), folder)
                    : archive::Module().warnings.empty() ? kExitSuccess
                                                         : kExitWarnings;
  return written;
}

bool ArchiveRoles::ExtractArchive(const std::string& archiveFile, const std::string& destination) {
  const bool extracted = modes_.ExtractArchive(archiveFile, destination);
  archiveFailure_ = extracted ? kExitSuccess : ExtractFailureExitCode(archive::Module(), archiveFile);
  return extracted;
}

int ArchiveRoles::ExitCode() const {
  return archiveFailure_ != kExitSuccess ? archiveFailure_ : UnavailableRoles::ExitCode();
}

}  // namespace app
