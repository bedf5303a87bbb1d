#include <atomic>

#include "archive/archive_layout.h"
#include "archive/names.h"
#include "archive/operation.h"
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

void ReportMessage(const std::string& text) {
  Module().lastError = text;
  if (ArchiveDialog* dialog = Module().dialog) dialog->ShowMessage(text);
}

std::string TemporaryBeside(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  for (;;) {
    std::string candidate = path + ".bvpart" + std::to_string(counter++);
    if (!sys::platform::GetAttributes(candidate)) return candidate;
  }
}

bool EntryHasContent(int64_t storedLength) { return storedLength > layout::kEmptyEntrySize; }

uint8_t ReadStoredEntry(Stream& archive, const ArchiveIndex& index, size_t k, bool isStub, Stream& output,
                        const std::string& archivePath) {
  const int64_t offset = index.EntryOffset(k);
  const int64_t storedLength = index.StoredLength(k);
  archive.Seek(offset, SeekOrigin::Beginning);
  if (isStub) {
    const int64_t outputStart = output.Position();
    output.CopyFrom(archive, storedLength);
    if (k == 0) RestoreUnsignedStub(archive, index, storedLength, output, outputStart);
    return 0;
  }
  uint8_t flags = 0;
  archive.ReadExact(&flags, 1);
  if (!EntryHasContent(storedLength)) return flags;
  if (storedLength < layout::kRawEntryOverhead) throw DamagedArchive(archivePath);
  uint8_t lengthBytes[8];
  archive.ReadExact(lengthBytes, sizeof lengthBytes);
  const int64_t length = DecodeInt64(lengthBytes);
  // The payload must lie inside the entry, so that neither path reads into
  // the next entry, the directory or past the file.
  if (length < 0 || length > storedLength - layout::kRawEntryOverhead) throw DamagedArchive(archivePath);
  const DecompressHook decompress = Module().decompressHook;
  if ((flags & layout::kFlagCompressed) && decompress) {
    archive.Seek(offset + layout::kEntryLengthOffset, SeekOrigin::Beginning);
    decompress(archive, output);
    // The hook leaves the output where it began; later writes append.
    output.Seek(0, SeekOrigin::End);
  } else {
    output.CopyFrom(archive, length);
  }
  return flags;
}

}  // namespace detail
}  // namespace archive
