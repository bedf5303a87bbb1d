#include "archive/archive_layout.h"
#include "archive/names.h"
#include "archive/operation.h"
#include "compression/container_streams.h"
#include "compression/stream_callbacks.h"
#include "system/byte_order.h"
#include "system/platform.h"

namespace archive {

using compression::SeekOrigin;
using compression::Stream;

ArchiveModule& Module() {
  static ArchiveModule module;
  return module;
}

void ArchiveSetCodec(const std::string& modeName, CompressHook compressHook, DecompressHook decompressHook) {
  ArchiveModule& module = Module();
  module.modeName = modeName;
  module.compressHook = compressHook;
  module.decompressHook = decompressHook;
}

void ArchiveSetStreamCodec(const std::string& modeName) {
  ArchiveSetCodec(modeName, compression::CompressStreamCallback, compression::ExpandStreamCallback);
}

void ArchiveSetMessages(const std::string& title, const std::string& successMessage,
                        const std::string& failureMessage, int progressStep) {
  if (ArchiveDialog* dialog = Module().dialog) dialog->SetMessages(title, successMessage, failureMessage, progressStep);
}

namespace detail {

namespace {

bool DialogProgress(void* context, const std::string& text, int percent) {
  return static_cast<ArchiveDialog*>(context)->ShowProgress(text, percent);
}

// A signature added to the installer rewrote the stub's certificate entry
// and CheckSum; the stub written out (the uninstaller) gets them back as
// they were built: no certificate table, and the stub's own image checksum.
void RestoreUnsignedStub(Stream& archive, const ArchiveIndex& index, int64_t stubLength, Stream& output,
                         int64_t outputStart) {
  const ArchiveExtent extent = FindArchiveExtent(archive);
  if (!extent.signedImage || index.EntryOffset(0) != 0) return;
  const pe::ImageHeaders& headers = *extent.image;
  if (headers.certificateEntry + pe::kDirectoryEntrySize > stubLength) return;
  pe::WriteUnsignedFields(output, outputStart, headers, pe::UnsignedImageChecksum(archive, stubLength, headers));
}

}  // namespace

OperationDisplay::OperationDisplay(ProgressHook hook, void* context) {
  if (hook) {
    progress_ = {hook, context};
  } else if (ArchiveDialog* dialog = Module().dialog) {
    window_ = dialog;
    window_->BeginProgress();
    progress_ = {DialogProgress, dialog};
  }
}

void OperationDisplay::Close(bool showClosingMessage) {
  if (window_) window_->EndProgress(showClosingMessage);
  window_ = nullptr;
}

void ReportFailure(sys::FailureKind kind, const std::string& path, const std::string& text) {
  Module().lastError = text;
  Module().failure = sys::MakeFailure(kind, path, text);
  if (ArchiveDialog* dialog = Module().dialog) dialog->ShowMessage(text);
}

void ReportFailure(const sys::Failure& failure) { ReportFailure(failure.kind, failure.path, failure.message); }

void NoteCancelled(const std::string& path) {
  // A failure already recorded (a damaged entry found before the stop) says more.
  if (!Module().failure.failed()) Module().failure = sys::MakeFailure(sys::FailureKind::Cancelled, path, "");
}

void BeginOperation() {
  Module().abort = false;
  Module().lastError.clear();
  Module().failure = {};
}

std::string TemporaryBeside(const std::string& path) {
  // A short name of its own in the same folder: the path's name with a
  // suffix could pass the platform's name-length limit that the path itself
  // keeps within. Unpredictable, so that no one can plant a link at it
  // between this look and the exclusive creation that follows.
  const size_t nameStart = path.find_last_of(sys::platform::kPathDelimiters);
  const std::string folder = nameStart == std::string::npos ? std::string() : path.substr(0, nameStart + 1);
  for (;;) {
    std::string candidate = folder + sys::platform::UnpredictableTemporaryName();
    if (!sys::platform::GetAttributes(candidate)) return candidate;
  }
}

bool EntryHasContent(int64_t storedLength) { return storedLength > layout::kEmptyEntrySize; }

uint8_t ReadStoredEntry(Stream& archive, const ArchiveIndex& index, size_t k, bool isStub, Stream& output,
                        const std::string& archivePath) {
  const int64_t outputStart = output.Position();
  const uint8_t flags = DecodeStoredEntry(archive, index.EntryOffset(k), index.StoredLength(k), isStub,
                                          Module().decompressHook, output, archivePath);
  if (isStub && k == 0) RestoreUnsignedStub(archive, index, index.StoredLength(k), output, outputStart);
  return flags;
}

uint8_t DecodeStoredEntry(Stream& archive, int64_t offset, int64_t storedLength, bool isStub,
                          DecompressHook decompress, Stream& output, const std::string& archivePath) {
  archive.Seek(offset, SeekOrigin::Beginning);
  if (isStub) {
    output.CopyFrom(archive, storedLength);
    return 0;
  }
  uint8_t flags = 0;
  archive.ReadExact(&flags, 1);
  if (!EntryHasContent(storedLength)) return flags;
  if (storedLength < layout::kRawEntryOverhead) throw DamagedArchive(archivePath);
  uint8_t lengthBytes[8];
  archive.ReadExact(lengthBytes, sizeof lengthBytes);
  const int64_t length = sys::LoadI64(lengthBytes);
  // The payload must lie inside the entry, so that neither path reads into
  // the next entry, the directory or past the file.
  if (length < 0 || length > storedLength - layout::kRawEntryOverhead) throw DamagedArchive(archivePath);
  if ((flags & layout::kFlagCompressed) && decompress) {
    archive.Seek(offset + layout::kEntryLengthOffset, SeekOrigin::Beginning);
    try {
      decompress(archive, output);
    } catch (const compression::DamagedContainer&) {
      // The entry's container does not hold what it declares: the archive
      // is damaged, whatever its checksum says.
      throw DamagedArchive(archivePath);
    }
    // The hook leaves the output where it began; later writes append.
    output.Seek(0, SeekOrigin::End);
  } else {
    output.CopyFrom(archive, length);
  }
  return flags;
}

}  // namespace detail
}  // namespace archive
