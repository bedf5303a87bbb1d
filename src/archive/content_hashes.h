// The SHA-256 of every entry's content, kept in an entry of its own under a
// reserved name (see docs/archive-format.md). Written when asked for (and
// always for installers); checked before an extracted file takes its name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_index.h"
#include "compression/stream.h"
#include "system/sha256.h"

namespace archive {

// The reserved name: a top-level name like the directory's own markers,
// which no source file is stored under.
inline constexpr std::string_view kContentHashesName = "@sha256";
// Its attribute letters: a hidden file to a reader that does not know it.
inline constexpr std::string_view kContentHashesLetters = "ah";
// The first line of its text; an entry of that name without it is an
// ordinary file.
inline constexpr std::string_view kContentHashesHeader = "bvarc-sha256 1";

// The entry's text: the header line, then one line per entry before it in
// the table in table order: 64 hexadecimal digits, or "-" for an entry
// recorded without a digest (the stub). Names are left out: a POSIX name
// may hold a line break, and the table order already pairs them.
std::string ContentHashesText(const std::vector<std::optional<sys::Sha256Digest>>& digests);

class ContentHashes {
 public:
  // The digests recorded in the archive; none when it holds no such entry.
  // Throws DamagedArchive when the entry is there but does not describe the
  // entries before it.
  static ContentHashes Read(compression::Stream& archive, const ArchiveIndex& index, const std::string& archivePath);

  bool Present() const { return entry_.has_value(); }
  // True for the position of the digests' own entry.
  bool IsOwnEntry(size_t k) const { return entry_ && *entry_ == k; }
  // The digest recorded for entry `k`; null when none was.
  const sys::Sha256Digest* For(size_t k) const {
    return k < digests_.size() && digests_[k] ? &*digests_[k] : nullptr;
  }
  // Throws DamagedArchive naming entry `k` when `actual` is not its digest.
  void Check(size_t k, const sys::Sha256Digest& actual, const ArchiveIndex& index,
             const std::string& archivePath) const;

 private:
  std::optional<size_t> entry_;
  std::vector<std::optional<sys::Sha256Digest>> digests_;
};

}  // namespace archive
