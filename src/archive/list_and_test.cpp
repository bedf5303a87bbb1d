#include "archive/list_and_test.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "archive/archive.h"
#include "archive/archive_index.h"
#include "archive/archive_layout.h"
#include "archive/checksum.h"
#include "archive/content_hashes.h"
#include "archive/entry_tap.h"
#include "compression/stream.h"
#include "system/sha256.h"

namespace archive {

namespace {

// A stream that keeps nothing but its length: decoding into it checks an
// entry without holding its content.
class DiscardStream : public compression::Stream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override {
    if (count <= 0) return 0;
    position_ += count;
    extent_ = std::max(extent_, position_);
    return count;
  }
  int64_t Seek(int64_t offset, compression::SeekOrigin origin) override {
    const int64_t base = origin == compression::SeekOrigin::Beginning ? 0
                         : origin == compression::SeekOrigin::Current ? position_
                                                                       : extent_;
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
  }
  int64_t Size() override { return extent_; }
  void SetSize(int64_t size) override { extent_ = size; }
  int64_t Position() override { return position_; }

 private:
  int64_t position_ = 0;
  int64_t extent_ = 0;
};

// The archive opened and its index read, or why not.
struct OpenedIndex {
  ArchiveIndex index;
  std::unique_ptr<compression::FileStream> file;
  sys::Failure failure;
};

OpenedIndex OpenIndex(const std::string& archivePath) {
  OpenedIndex opened;
  try {
    opened.file = std::make_unique<compression::FileStream>(archivePath, compression::FileStream::Mode::Read);
  } catch (const std::exception& error) {
    opened.failure = sys::MakeFailure(sys::FailureKind::Io, archivePath, error.what());
    return opened;
  }
  try {
    opened.index = ReadArchiveIndex(*opened.file, archivePath);
  } catch (const std::exception& error) {
    opened.failure = sys::MakeFailure(sys::FailureKind::Damaged, archivePath, error.what());
  }
  return opened;
}

bool IsCompressed(compression::Stream& file, const ArchiveIndex& index, size_t k) {
  if (index.names[k] == layout::kStubName) return false;
  uint8_t flags = 0;
  file.Seek(index.EntryOffset(k) + layout::kEntryFlagsOffset, compression::SeekOrigin::Beginning);
  file.ReadExact(&flags, 1);
  return (flags & layout::kFlagCompressed) != 0;
}

ArchiveFindings Failed(sys::Failure failure) {
  ArchiveFindings findings;
  findings.failure = std::move(failure);
  return findings;
}

ArchiveFindings EntryFailed(ArchiveFindings findings, const std::string& archivePath, const std::string& entry,
                            const std::exception& error) {
  findings.failure = sys::MakeFailure(sys::FailureKind::Damaged, archivePath, error.what());
  findings.failedEntry = entry;
  return findings;
}

}  // namespace

ArchiveFindings ArchiveListEntries(const std::string& archivePath) {
  OpenedIndex opened = OpenIndex(archivePath);
  if (opened.failure.failed()) return Failed(std::move(opened.failure));
  const ArchiveIndex& index = opened.index;
  ArchiveFindings findings;
  for (size_t k = 0; k < index.EntryCount(); ++k) {
    try {
      EntryListing entry;
      entry.name = index.names[k];
      entry.compressed = IsCompressed(*opened.file, index, k);
      entry.size = EntryContentSize(*opened.file, index, k, archivePath);
      entry.stored = index.StoredLength(k);
      entry.dosDate = index.StoredDate(k);
      entry.attributes = index.nameAttributes[k];
      findings.entries.push_back(std::move(entry));
    } catch (const std::exception& error) {
      return EntryFailed(std::move(findings), archivePath, index.names[k], error);
    }
  }
  return findings;
}

ArchiveFindings ArchiveTest(const std::string& archivePath) {
  OpenedIndex opened = OpenIndex(archivePath);
  // Bytes added to a signed installer after signing are named as such
  // rather than as plain damage.
  if (opened.file) {
    if (const int64_t after = FindArchiveExtent(*opened.file).bytesAfterSignature; after > 0) {
      return Failed(sys::MakeFailure(sys::FailureKind::Damaged, archivePath,
                                     SignatureNotAtEndMessage(archivePath, after)));
    }
  }
  if (opened.failure.failed()) return Failed(std::move(opened.failure));
  if (!ArchiveVerify(archivePath, nullptr, nullptr)) {
    return Failed(sys::MakeFailure(sys::FailureKind::Damaged, archivePath, DamagedArchiveMessage(archivePath)));
  }
  // Each entry decoded once, from the archive opened once, into a sink
  // that keeps nothing; content with a recorded digest is checked against it.
  ContentHashes hashes;
  try {
    hashes = ContentHashes::Read(*opened.file, opened.index, archivePath);
  } catch (const std::exception& error) {
    return Failed(sys::MakeFailure(sys::FailureKind::Damaged, archivePath, error.what()));
  }
  for (size_t k = 0; k < opened.index.EntryCount(); ++k) {
    try {
      DiscardStream sink;
      EntryTap tap(sink, hashes.For(k) != nullptr);
      DecodeEntry(*opened.file, opened.index, k, tap, archivePath);
      if (hashes.For(k)) {
        std::optional<sys::Sha256Digest> digest = tap.Digest(sink.Size());
        if (!digest) {
          compression::MemoryStream content;  // written out of order: hashed whole
          DecodeEntry(*opened.file, opened.index, k, content, archivePath);
          digest = sys::Sha256Of(content.Data().data(), content.Data().size());
        }
        hashes.Check(k, *digest, opened.index, archivePath);
      }
    } catch (const std::exception& error) {
      return EntryFailed({}, archivePath, opened.index.names[k], error);
    }
  }
  return {};
}

}  // namespace archive
