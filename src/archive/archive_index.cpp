#include "archive/archive_index.h"

#include <algorithm>
#include <mutex>
#include <optional>

#include "archive/archive.h"
#include "archive/archive_layout.h"
#include "archive/letters.h"
#include "archive/names.h"
#include "system/byte_order.h"
#include "system/platform.h"
#include "system/settings.h"
#include "system/text.h"

namespace archive {

using compression::SeekOrigin;
using compression::Stream;

std::string DamagedArchiveMessage(const std::string& archivePath) {
  return "There are error(s) in the file " + archivePath + ".";
}

DamagedArchive::DamagedArchive(const std::string& archivePath)
    : FailureError(sys::FailureKind::Damaged, archivePath, DamagedArchiveMessage(archivePath)) {}

DamagedArchive::DamagedArchive(const std::string& archivePath, const std::string& detail)
    : FailureError(sys::FailureKind::Damaged, archivePath, DamagedArchiveMessage(archivePath) + " " + detail) {}

int ArchiveIndex::FindName(const std::string& name) const {
  // The same spelling first: an archive written where letter case makes
  // names distinct ("README" and "readme") gives each its own bytes back.
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<int>(i);
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (sys::SameTextAscii(names[i], name)) return static_cast<int>(i);
  }
  return -1;
}

NameLookup::NameLookup(const StringList& names) {
  exact_.reserve(names.size());
  first_.reserve(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    exact_.emplace(names[i], static_cast<int>(i));
    first_.emplace(sys::LowerAscii(names[i]), static_cast<int>(i));
  }
}

int NameLookup::Find(const std::string& name) const {
  if (const auto same = exact_.find(name); same != exact_.end()) return same->second;
  const auto found = first_.find(sys::LowerAscii(name));
  return found == first_.end() ? -1 : found->second;
}

namespace {

// Items between the first `from` marker and the first `to` marker (to the end
// when `to` is absent or precedes `from`).
StringList ItemsBetween(const StringList& items, std::string_view from, std::string_view to) {
  auto begin = std::find(items.begin(), items.end(), from);
  if (begin == items.end()) return {};
  ++begin;
  auto end = to.empty() ? items.end() : std::find(items.begin(), items.end(), to);
  if (end < begin) return {};
  return StringList(begin, end);
}

void DropSurplusLetters(const StringList& owners, StringList& letters) {
  if (letters.size() > owners.size()) letters.pop_back();
}

int64_t ReadInt64At(Stream& file, int64_t offset) {
  uint8_t bytes[8];
  file.Seek(offset, SeekOrigin::Beginning);
  file.ReadExact(bytes, sizeof bytes);
  return sys::LoadI64(bytes);
}

// Entries must be contiguous, in order, inside [0, directory offset]; every
// stored entry other than a stub holds at least its flags byte.
bool TableIsConsistent(const ArchiveIndex& index, int64_t directoryOffset) {
  const size_t n = index.EntryCount();
  if (index.table.size() != 2 * n + 1) return false;
  if (index.table[2 * n] < 0 || index.table[2 * n] > directoryOffset) return false;
  for (size_t i = 0; i < n; ++i) {
    // Both ends inside [0, directory offset] before they are subtracted, so
    // that hostile values cannot overflow the difference.
    const int64_t next = index.table[2 * i + 2];
    if (index.table[2 * i] < 0 || next < 0 || next > directoryOffset || index.StoredLength(i) < 0) return false;
    const bool isStub = index.names[i] == layout::kStubName;
    if (!isStub && index.StoredLength(i) < layout::kEmptyEntrySize) return false;
  }
  return true;
}

// True when the eight bytes before `end` are a trailer's closing
// FormatVersion and only zero bytes follow up to `contentEnd`; `tail` holds
// the file's bytes from `tailStart` to `contentEnd`.
bool TrailerEndsAt(const uint8_t* tail, int64_t tailStart, int64_t end, int64_t contentEnd) {
  uint8_t version[layout::kTableValueSize];
  sys::StoreI64(version, layout::kFormatVersion);
  if (end - layout::kTableValueSize < tailStart) return false;
  if (!std::equal(version, version + sizeof version, tail + (end - layout::kTableValueSize - tailStart))) return false;
  return std::all_of(tail + (end - tailStart), tail + (contentEnd - tailStart), [](uint8_t b) { return b == 0; });
}

}  // namespace

std::string SignatureNotAtEndMessage(const std::string& archivePath, int64_t bytes) {
  return "The signature of " + archivePath + " does not end the file: " + std::to_string(bytes) +
         " bytes follow it.";
}

ArchiveExtent FindArchiveExtent(Stream& file) {
  ArchiveExtent extent;
  extent.end = file.Size();
  extent.image = pe::ReadImageHeaders(file, extent.end);
  if (!extent.image) return extent;
  int64_t contentEnd = extent.end;
  const int64_t afterTable = pe::BytesAfterCertificateTable(*extent.image, extent.end);
  if (afterTable == 0) {
    extent.signedImage = true;
    contentEnd = extent.image->certificateOffset;
    extent.end = contentEnd;
  } else if (afterTable > 0) {
    // Nothing may follow a signature: such bytes are not covered by it.
    // The file is not taken for a signed one, and callers can say why.
    extent.bytesAfterSignature = afterTable;
  }
  // Alignment zeros stay behind when a signature is added, and also when it
  // is removed again: the trailer may end up to 7 bytes before the content.
  constexpr int64_t kMaxGap = pe::kCertificateAlignment - 1;
  const int64_t tailStart = std::max<int64_t>(0, contentEnd - layout::kTableValueSize - kMaxGap);
  uint8_t tail[layout::kTableValueSize + kMaxGap];
  file.Seek(tailStart, SeekOrigin::Beginning);
  file.ReadExact(tail, contentEnd - tailStart);
  for (int64_t gap = 0; gap <= kMaxGap; ++gap) {
    if (TrailerEndsAt(tail, tailStart, contentEnd - gap, contentEnd)) {
      extent.end = contentEnd - gap;
      break;
    }
  }
  return extent;
}

void ParseDirectory(const std::string& directory, StringList& names, StringList& nameAttributes,
                    StringList& folderAttributes, StringList& folders) {
  names.clear();
  nameAttributes.clear();
  folderAttributes.clear();
  folders.clear();
  const StringList items = sys::SplitOnBar(directory);
  if (items.size() <= 4) return;
  names = ItemsBetween(items, layout::kMarkerNames, layout::kMarkerNameAttributes);
  nameAttributes = ItemsBetween(items, layout::kMarkerNameAttributes, layout::kMarkerFolders);
  folders = ItemsBetween(items, layout::kMarkerFolders, layout::kMarkerFolderAttributes);
  folderAttributes = ItemsBetween(items, layout::kMarkerFolderAttributes, {});
  DropSurplusLetters(names, nameAttributes);
  DropSurplusLetters(folders, folderAttributes);
}

ArchiveIndex ReadArchiveIndex(Stream& file, const std::string& archivePath) {
  ArchiveIndex index;
  index.fileSize = FindArchiveExtent(file).end;
  if (index.fileSize < layout::kTrailerSize) throw DamagedArchive(archivePath);
  const int64_t trailer = index.fileSize - layout::kTrailerSize;
  const int64_t tableCount = ReadInt64At(file, trailer + layout::kTrailerTableCount);
  const int64_t directorySize = ReadInt64At(file, trailer + layout::kTrailerDirectorySize);
  // Counts are checked against the bytes available before any arithmetic
  // that could overflow.
  if (tableCount < 1 || tableCount > trailer / layout::kTableValueSize) throw DamagedArchive(archivePath);
  const int64_t tableOffset = trailer - tableCount * layout::kTableValueSize;
  if (directorySize < 0 || directorySize > tableOffset) throw DamagedArchive(archivePath);
  const int64_t directoryOffset = tableOffset - directorySize;

  std::vector<uint8_t> tableBytes(static_cast<size_t>(tableCount * layout::kTableValueSize));
  file.Seek(tableOffset, SeekOrigin::Beginning);
  file.ReadExact(tableBytes.data(), static_cast<int64_t>(tableBytes.size()));
  index.table.resize(static_cast<size_t>(tableCount));
  for (size_t i = 0; i < index.table.size(); ++i) index.table[i] = sys::LoadI64(&tableBytes[i * 8]);

  std::string directory(static_cast<size_t>(directorySize), '\0');
  file.Seek(directoryOffset, SeekOrigin::Beginning);
  file.ReadExact(directory.data(), directorySize);
  ParseDirectory(directory, index.names, index.nameAttributes, index.folderAttributes, index.folders);

  if (index.nameAttributes.size() != index.names.size() ||
      index.folderAttributes.size() != index.folders.size() || !TableIsConsistent(index, directoryOffset)) {
    throw DamagedArchive(archivePath);
  }
  // Names are UTF-8 inside the program; those stored without "u" are
  // legacy 8-bit text in the code page chosen for them.
  const int codePage = Module().legacyCodePage;
  for (size_t i = 0; i < index.names.size(); ++i) {
    index.names[i] = StoredNameAsUtf8(index.names[i], index.nameAttributes[i], codePage);
  }
  for (size_t i = 0; i < index.folders.size(); ++i) {
    index.folders[i] = StoredNameAsUtf8(index.folders[i], index.folderAttributes[i], codePage);
  }
  return index;
}

namespace {

struct IndexMemo {
  std::mutex mutex;
  std::optional<sys::platform::FileIdentity> identity;
  int codePage = 0;  // the names' decoding depends on it
  ArchiveIndex index;
};

IndexMemo& Memo() {
  static IndexMemo memo;
  return memo;
}

}  // namespace

ArchiveIndex ReadArchiveIndexOfFile(Stream& file, const std::string& archivePath) {
  const std::string path = sys::platform::NativePath(archivePath);
  const std::optional<sys::platform::FileIdentity> identity = sys::platform::RegularFileIdentity(path);
  const int codePage = Module().legacyCodePage;
  IndexMemo& memo = Memo();
  if (identity) {
    std::lock_guard lock(memo.mutex);
    if (memo.identity == identity && memo.codePage == codePage) return memo.index;
  }
  const int64_t started = sys::platform::NowNs();
  ArchiveIndex index = ReadArchiveIndex(file, archivePath);
  if (identity && sys::platform::SettledBefore(*identity, started) &&
      sys::platform::RegularFileIdentity(path) == identity) {
    std::lock_guard lock(memo.mutex);
    memo.identity = identity;
    memo.codePage = codePage;
    memo.index = index;
  }
  return index;
}

std::string NormaliseFolderPrefix(const std::string& folder) {
  if (folder.empty()) return folder;
  std::string prefix = folder;
  if (prefix.back() != '\\') prefix += '\\';
  if (prefix.front() == '\\') prefix.erase(0, 1);
  return prefix;
}

void FilterNamesByFolder(const std::string& folder, StringList& list, StringList& parallel, bool subfolders) {
  if (folder.empty()) return;
  std::string prefix = folder;
  if (prefix.back() != '\\') prefix += '\\';
  prefix = sys::LowerAscii(prefix);
  // Kept names move down in one pass: erasing one at a time would make a
  // large archive's listing quadratic.
  const size_t count = list.size();
  const size_t paired = std::min(count, parallel.size());
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t slash = list[i].rfind('\\');
    if (slash == std::string::npos || slash + 1 < prefix.size()) continue;
    const bool keep = sys::LowerAscii(list[i].substr(0, prefix.size())) == prefix &&
                      (subfolders || slash + 1 == prefix.size());
    if (!keep) continue;
    list[kept] = list[i].substr(prefix.size());
    if (i < paired) parallel[kept] = std::move(parallel[i]);
    ++kept;
  }
  list.resize(kept);
  if (paired > 0) parallel.erase(parallel.begin() + static_cast<std::ptrdiff_t>(std::min(kept, paired)),
                                 parallel.begin() + static_cast<std::ptrdiff_t>(paired));
}

int ArchiveReadIndex(const std::string& archivePath, const std::string& folderPrefix, bool subfolders,
                     StringList& names, StringList& nameAttributes, StringList& folders,
                     StringList& folderAttributes, std::vector<int64_t>& table) {
  const std::string prefix = NormaliseFolderPrefix(folderPrefix);
  names.clear();
  nameAttributes.clear();
  folders.clear();
  folderAttributes.clear();
  compression::FileStream file(sys::platform::NativePath(archivePath), compression::FileStream::Mode::Read);
  ArchiveIndex index = ReadArchiveIndexOfFile(file, archivePath);
  names = std::move(index.names);
  nameAttributes = std::move(index.nameAttributes);
  folders = std::move(index.folders);
  folderAttributes = std::move(index.folderAttributes);
  table = std::move(index.table);
  FilterNamesByFolder(prefix, names, nameAttributes, subfolders);
  FilterNamesByFolder(prefix, folders, folderAttributes, subfolders);
  return static_cast<int>(names.size());
}

}  // namespace archive
