// Internals shared by the archive operations: the progress display of one
// operation, messages, and reading one stored entry with its bounds checked.
#pragma once

#include <cstdint>
#include <string>

#include "archive/archive.h"

namespace archive::detail {

// The progress of one operation: the caller's hook, or else the module's
// window (shown for the operation's duration).
class OperationDisplay {
 public:
  OperationDisplay(ProgressHook hook, void* context);
  const Progress& progress() const { return progress_; }
  bool ownsWindow() const { return window_ != nullptr; }
  // Hides the window if this operation showed it, with or without its
  // closing message.
  void Close(bool showClosingMessage);

 private:
  Progress progress_;
  ArchiveDialog* window_ = nullptr;
};

// Records the failure (its message as the module's last error) and shows
// the message when there is a window.
void ReportFailure(sys::FailureKind kind, const std::string& path, const std::string& text);
// The same for a failure an exception carries.
void ReportFailure(const sys::Failure& failure);
// Records a cancel: no message, the module's failure kind Cancelled.
void NoteCancelled(const std::string& path);
// Clears the last error and failure as an operation starts.
void BeginOperation();

// An unpredictable path beside `path` (same folder) at which nothing exists,
// for writing a file completely before it replaces `path`; callers create it
// exclusively (FileStream::Mode::CreateNew).
std::string TemporaryBeside(const std::string& path);

// Stored length below which an entry holds no length field.
bool EntryHasContent(int64_t storedLength);

// Writes the bytes of entry `k` of `index` (read from `archive`) to
// `output` and returns the flags byte (0 for the stub, which is raw). The
// stub (`isStub`) is copied raw. Throws DamagedArchive (naming
// `archivePath`) when the entry's own length disagrees with its stored
// length or its container's block chain is damaged; codec failures
// propagate from the decompress hook.
uint8_t ReadStoredEntry(compression::Stream& archive, const ArchiveIndex& index, size_t k, bool isStub,
                        compression::Stream& output, const std::string& archivePath);

// ReadStoredEntry for an entry of `storedLength` bytes at `offset` of
// `source` (an archive, or an entry's bytes alone at offset 0), expanded
// with `decompress` when it is compressed. Touches no module state, so
// entries may be decoded on several threads at once.
uint8_t DecodeStoredEntry(compression::Stream& source, int64_t offset, int64_t storedLength, bool isStub,
                          DecompressHook decompress, compression::Stream& output, const std::string& archivePath);

}  // namespace archive::detail
