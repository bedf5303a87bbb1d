// Looking into an archive (or an installer, which is one) without
// extracting it: what each entry is, and whether every entry decodes.
// Nothing is written; the caller decides how to show the answers. Both read
// through the codec the caller installed (ArchiveSetCodec).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system/failure.h"

namespace archive {

// One entry as its index and its own headers describe it.
struct EntryListing {
  std::string name;        // the stored name (UTF-8)
  int64_t size = 0;        // the bytes it expands to, as declared
  int64_t stored = 0;      // the bytes it takes in the archive
  int32_t dosDate = 0;     // its MS-DOS date and time; 0 when none
  std::string attributes;  // its attribute letters
  bool compressed = false;  // false when stored as it stands (the stub too)
};

// What ArchiveListEntries and ArchiveTest found. `failure` is None when all
// is well; else Io when the archive cannot be opened and Damaged otherwise,
// with the archive's path. `failedEntry` is the stored name of the entry
// the failure is about ("" when it is about the archive as a whole).
struct ArchiveFindings {
  std::vector<EntryListing> entries;  // ArchiveListEntries: those before any failure
  sys::Failure failure;
  std::string failedEntry;
};

// Lists the entries of the archive at `archivePath` from its index and each
// entry's headers only: nothing is decoded, so an entry that claims
// gigabytes costs a few small reads. Stops at the first entry whose headers
// disagree with the index.
ArchiveFindings ArchiveListEntries(const std::string& archivePath);

// Checks the archive at `archivePath` as extraction would, writing nothing:
// no bytes after a signature, the checksum, then every entry decoded once
// and checked against its SHA-256 when the archive records them. Stops at
// the first failure.
ArchiveFindings ArchiveTest(const std::string& archivePath);

}  // namespace archive
