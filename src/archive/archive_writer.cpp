// Writing an indexed archive from a folder or from source items.
#include <algorithm>
#include <exception>
#include <memory>
#include <optional>

#include "archive/archive_layout.h"
#include "archive/checksum.h"
#include "archive/content_hashes.h"
#include "archive/entry_tap.h"
#include "archive/entry_flags.h"
#include "archive/letters.h"
#include "archive/names.h"
#include "archive/operation.h"
#include "archive/pe_image.h"
#include "compression/block_pool.h"
#include "system/byte_order.h"
#include "system/file_dates.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/settings.h"
#include "system/text.h"

namespace archive {

using compression::FileStream;
using compression::Stream;

namespace {

std::string Without(std::string text, std::string_view characters) {
  std::erase_if(text, [&](char c) { return characters.find(c) != std::string_view::npos; });
  return text;
}

// The filter for the files of a folder item: the letters without "d".
std::string FileFilter(const std::string& filter) { return Without(filter, "d"); }

// The filter for its folders: without "a", "s" and "r", with "d".
std::string FolderFilter(const std::string& filter) {
  std::string folders = Without(filter, "asr");
  if (folders.find('d') == std::string::npos) folders += 'd';
  return folders;
}

std::string WithBackslash(const std::string& text) { return sys::IncludeTrailing(text, '\\'); }

// Maps an entry e listed below a folder item (relative, "\"-separated) to
// its own item. Its name is taken whole: an "=" in it is part of the name.
SourceItem MapListedEntry(const SourceItem& item, const std::string& e) {
  const std::string source = WithBackslash(item.source) + e;
  if (item.hadEquals && !item.stored.empty() && item.stored != item.source) {
    return {source, WithBackslash(item.stored) + e, true};
  }
  return {source, source, false};
}

// Items are ordered by their text ignoring letter case; names that differ
// only in letter case by their bytes, so the order never depends on the
// order in which the file system listed them.
void SortIgnoringCase(std::vector<SourceItem>& list) {
  std::sort(list.begin(), list.end(), [](const SourceItem& a, const SourceItem& b) {
    const std::string textA = a.Text(), textB = b.Text();
    const std::string lowerA = sys::LowerAscii(textA), lowerB = sys::LowerAscii(textB);
    return lowerA != lowerB ? lowerA < lowerB : textA < textB;
  });
}

// True when a name listed on this platform holds a "\" that is part of a
// name rather than a separator (POSIX): stored, it would read as a folder.
bool HoldsBackslashInName(const std::string& listed) {
  return sys::platform::kPathSeparator != '\\' && listed.find('\\') != std::string::npos;
}

std::string BackslashWarning(const std::string& path) {
  return "The name " + path + " holds \"\\\", which an archive cannot store; it was left out.";
}

// Why the file at `path` cannot be packed, found without opening it; ""
// when it can (or is missing, which opening it reports as an error).
std::string WhyNotPackable(const std::string& path) {
  switch (sys::KindOfPath(path)) {
    case sys::PathKind::Special:
      return "The file " + path + " is a pipe, socket or device, not a regular file; it was left out.";
    case sys::PathKind::DanglingLink:
      return "The symbolic link " + path + " points to nothing; it was left out.";
    default: return {};
  }
}

// A stored name the directory can hold and an extraction can write back.
bool IsStorableName(const std::string& name, bool isFolder) {
  if (name.empty() && !isFolder) return false;
  if (Module().contentHashes && name == kContentHashesName) return false;
  if (name.find('|') != std::string::npos) return false;
  for (std::string_view marker : {layout::kMarkerNames, layout::kMarkerNameAttributes, layout::kMarkerFolders,
                                  layout::kMarkerFolderAttributes, layout::kStubName}) {
    if (name == marker) return false;
  }
  return IsSafeStoredName(name);
}

struct PlannedEntry {
  std::string name;    // stored name
  std::string source;  // path opened for its bytes
  std::string label;   // the text shown while it is written
  bool isStub = false;
  bool isHashes = false;  // the digests of the entries before it
};

struct ArchivePlan {
  std::vector<PlannedEntry> entries;
  std::string directory;
};

// The directory text and the entry list of ArchiveCreate; an empty
// directory when a stored name cannot be written (the name goes to `bad`).
// Files that cannot be packed are left out, each with a warning.
ArchivePlan PlanArchive(const std::string& base, const ExpandedItems& expanded, const std::string& stubPath,
                        std::string& bad, StringList& warnings) {
  ArchivePlan plan;
  StringList names{std::string(layout::kMarkerNames)};
  StringList letters{std::string(layout::kMarkerNameAttributes)};
  if (!stubPath.empty()) {
    plan.entries.push_back({std::string(layout::kStubName), stubPath, stubPath, true});
    names.emplace_back(layout::kStubName);
    // The stub's letters stay those of the attributes alone: a package keeps
    // its bytes whatever the builder's own permissions.
    letters.push_back(sys::AttributeLetters(stubPath));
  }
  for (const SourceItem& item : expanded.files) {
    if (!IsStorableName(item.stored, false)) {
      bad = item.stored;
      return {};
    }
    const std::string path = base + item.source;
    if (std::string why = WhyNotPackable(path); !why.empty()) {
      warnings.push_back(sys::ToNativeSeparators(why));
      continue;
    }
    plan.entries.push_back({item.stored, path, item.source, false});
    names.push_back(item.stored);
    letters.push_back(RecordedLetters(path, item.stored, false));
  }
  if (Module().contentHashes) {
    // Last, so that its content is known when its turn comes.
    plan.entries.push_back({std::string(kContentHashesName), "", std::string(kContentHashesName), false, true});
    names.emplace_back(kContentHashesName);
    letters.emplace_back(kContentHashesLetters);
  }
  StringList folders{std::string(layout::kMarkerFolders)};
  StringList folderLetters{std::string(layout::kMarkerFolderAttributes)};
  for (const SourceItem& item : expanded.folders) {
    if (!IsStorableName(item.stored, true)) {
      bad = item.stored;
      return {};
    }
    folders.push_back(item.stored);
    folderLetters.push_back(RecordedLetters(base + item.source, item.stored, true));
  }
  StringList all = names;
  all.insert(all.end(), letters.begin(), letters.end());
  all.insert(all.end(), folders.begin(), folders.end());
  all.insert(all.end(), folderLetters.begin(), folderLetters.end());
  plan.directory = sys::JoinDelimited(all, "|");
  return plan;
}

// The codec settings of one writing operation, taken from the module when
// it starts, so that entries packed on workers never read module state.
struct EntryCodec {
  CompressHook compressHook = nullptr;
  std::string modeName;
  StringList noCompress;  // extensions without the dot

  static EntryCodec FromModule() {
    const ArchiveModule& module = Module();
    const ArchiveDialog* dialog = module.dialog;
    return {module.compressHook, module.modeName,
            dialog ? dialog->NoCompressList() : sys::SplitOnBar(kNoCompressExtensions)};
  }

  bool IsOnNoCompressList(const std::string& source) const {
    std::string extension = sys::LowerAscii(sys::ExtractFileExt(source));
    if (!extension.empty()) extension.erase(0, 1);
    return std::find(noCompress.begin(), noCompress.end(), extension) != noCompress.end();
  }
};

void WriteInt64(Stream& stream, int64_t value) {
  uint8_t bytes[8];
  sys::StoreI64(bytes, value);
  stream.WriteExact(bytes, sizeof bytes);
}

// Copies the stub; returns its length. A stub that carries a signature of
// its own (a signed builder's program) loses it: inside the installer its
// certificate table would sign nothing and would stand in the way of
// signing the installer. Its certificate entry is cleared and CheckSum
// recomputed, as for an image that was never signed.
int64_t WriteStub(Stream& archive, Stream& stub) {
  const int64_t size = stub.Size();
  const auto headers = pe::ReadImageHeaders(stub, size);
  stub.Seek(0, compression::SeekOrigin::Beginning);
  if (!headers || !pe::CertificateTableEndsFile(*headers, size)) return archive.CopyFrom(stub, size);
  const int64_t length = headers->certificateOffset;
  const uint32_t checkSum = pe::UnsignedImageChecksum(stub, length, *headers);
  const int64_t start = archive.Position();
  stub.Seek(0, compression::SeekOrigin::Beginning);
  archive.CopyFrom(stub, length);
  pe::WriteUnsignedFields(archive, start, *headers, checkSum);
  return length;
}

// Writes one stored entry from `source`; returns its stored length.
int64_t WriteStoredEntry(Stream& archive, Stream& source, const PlannedEntry& entry, const EntryCodec& codec) {
  if (entry.isStub) return WriteStub(archive, source);
  uint8_t flags = EntryFlagsFromFile(entry.source);
  const int64_t size = source.Size();
  const bool compress = codec.compressHook && size <= kCompressionSizeLimit && !codec.IsOnNoCompressList(entry.source);
  if (compress && size == 0) {
    archive.WriteExact(&flags, 1);
    return layout::kEmptyEntrySize;
  }
  if (compress) {
    flags |= layout::kFlagCompressed;
    archive.WriteExact(&flags, 1);
    return codec.compressHook(source, archive, codec.modeName) + 1;
  }
  archive.WriteExact(&flags, 1);
  WriteInt64(archive, size);
  archive.CopyFrom(source, size);
  return size + layout::kRawEntryOverhead;
}

void WriteIndex(Stream& archive, const std::string& directory, const std::vector<int64_t>& table) {
  archive.WriteExact(directory.data(), static_cast<int64_t>(directory.size()));
  for (int64_t value : table) WriteInt64(archive, value);
  WriteInt64(archive, static_cast<int64_t>(table.size()));
  WriteInt64(archive, static_cast<int64_t>(directory.size()));
  WriteInt64(archive, 0);  // checksum, filled in by the checksum pass
  WriteInt64(archive, layout::kFormatVersion);
}

// The digest of a source that went through `tap`: what the tap saw when it
// saw it all in order, else read once more.
sys::Sha256Digest DigestOfSource(EntryTap& tap, Stream& source) {
  const int64_t size = source.Size();
  if (auto digest = tap.Digest(size)) return *digest;
  return HashOfStream(source);
}

// The digests' entry, stored as it stands (flags, length, text).
int64_t WriteHashesEntry(Stream& archive, const std::vector<std::optional<sys::Sha256Digest>>& digests) {
  const std::string text = ContentHashesText(digests);
  const uint8_t flags = layout::kFlagArchive | layout::kFlagHidden;
  archive.WriteExact(&flags, 1);
  WriteInt64(archive, static_cast<int64_t>(text.size()));
  archive.WriteExact(text.data(), static_cast<int64_t>(text.size()));
  return static_cast<int64_t>(text.size()) + layout::kRawEntryOverhead;
}

enum class WriteResult { Written, Cancelled };

// Sources up to this size are read and packed whole by a worker, ahead of
// the writer, into memory; larger ones (and the stub) are packed by the
// writer itself when their turn comes, their blocks still side by side.
// With BytesInFlight() this bounds the memory held by entries packed ahead.
constexpr int64_t kWholeEntryLimit = 4 << 20;

// One entry packed ahead of the writer.
struct PackedEntry {
  bool byWriter = true;  // not packed ahead: the writer reads the source
  int32_t date = 0;
  int64_t storedLength = 0;
  std::optional<sys::Sha256Digest> digest;  // of the source, when asked for
  std::vector<uint8_t> bytes;  // the stored entry
  std::exception_ptr error;    // raised when the writer reaches the entry
};

// Packs entry `entry` into `slot` when it is small enough; a failure to
// open or pack it is kept for the writer, which reports it in order.
void PackAhead(const PlannedEntry& entry, const EntryCodec& codec, bool hash, PackedEntry& slot) {
  if (entry.isStub || entry.isHashes) return;
  try {
    FileStream source(sys::platform::NativePath(entry.source), FileStream::Mode::Read);
    if (source.Size() > kWholeEntryLimit) return;
    slot.date = sys::FileDosDateTime(entry.source);
    compression::MemoryStream packed;
    EntryTap tap(source, hash);
    slot.storedLength = WriteStoredEntry(packed, hash ? static_cast<Stream&>(tap) : source, entry, codec);
    if (hash) slot.digest = DigestOfSource(tap, source);
    slot.bytes = std::move(packed.Data());
  } catch (...) {
    slot.error = std::current_exception();
  }
  slot.byWriter = false;
}

// Writes entries, directory, table and trailer. Entries are packed on the
// workers, a window of them ahead of the writer, and appended in order: the
// bytes are those of one thread. Throws on read/write and codec failures.
WriteResult WriteArchive(const std::string& archivePath, const ArchivePlan& plan, const Progress& progress) {
  FileStream archive(sys::platform::NativePath(archivePath), FileStream::Mode::CreateNew);
  const EntryCodec codec = EntryCodec::FromModule();
  const size_t n = plan.entries.size();
  std::vector<int64_t> table(2 * n + 1, 0);
  std::vector<PackedEntry> packed(n);
  const bool packAhead = compression::WorkerCount() > 1;
  const bool hash = Module().contentHashes;
  std::vector<std::optional<sys::Sha256Digest>> digests;
  EntrySteps steps(progress, n);
  int64_t offset = 0;
  const auto pack = [&](size_t i) {
    if (packAhead) PackAhead(plan.entries[i], codec, hash, packed[i]);
    return static_cast<int64_t>(packed[i].bytes.size());
  };
  const auto append = [&](size_t i) {
    const PlannedEntry& entry = plan.entries[i];
    // Only an entry the writer packs itself can be long.
    const int64_t size =
        packed[i].byWriter && !entry.isHashes ? sys::platform::RegularFileSize(sys::platform::NativePath(entry.source)).value_or(0) : 0;
    if (!steps.Start(entry.label, i, size)) return false;
    const PackedEntry slot = std::move(packed[i]);
    if (slot.error) std::rethrow_exception(slot.error);
    table[2 * i] = offset;
    if (entry.isHashes) {
      offset += WriteHashesEntry(archive, digests);
    } else if (slot.byWriter) {
      FileStream source(sys::platform::NativePath(entry.source), FileStream::Mode::Read);
      table[2 * i + 1] = sys::FileDosDateTime(entry.source);
      const bool hashThis = hash && !entry.isStub;
      if (hashThis || steps.Long()) {
        EntryTap tap(source, hashThis, [&steps](int64_t done) { steps.Within(done); });
        offset += WriteStoredEntry(archive, tap, entry, codec);
        if (hashThis) digests.emplace_back(DigestOfSource(tap, source));
      } else {
        offset += WriteStoredEntry(archive, source, entry, codec);
      }
    } else {
      table[2 * i + 1] = slot.date;
      archive.WriteExact(slot.bytes.data(), static_cast<int64_t>(slot.bytes.size()));
      offset += slot.storedLength;
      if (hash) digests.push_back(slot.digest);
    }
    if (hash && entry.isStub) digests.emplace_back();
    return true;
  };
  if (!compression::RunInOrder(n, static_cast<size_t>(compression::FilesInFlight()), compression::BytesInFlight(),
                               pack, append)) {
    return WriteResult::Cancelled;
  }
  table[2 * n] = offset;
  WriteIndex(archive, plan.directory, table);
  archive.Flush();
  return WriteResult::Written;
}

}  // namespace

SourceItem SplitItem(const std::string& item) {
  const size_t equals = item.find('=');
  if (equals == std::string::npos) return {item, item, false};
  return {item.substr(0, equals), item.substr(equals + 1), true};
}

SourceItem SplitItem(const std::string& item, const std::string& baseFolder) {
  SourceItem split = SplitItem(item);
  if (split.hadEquals && !sys::platform::GetAttributes(sys::IncludeTrailingSeparator(baseFolder) + split.source)) {
    return {item, item, false};
  }
  return split;
}

std::string WarningsSummary(const StringList& warnings) {
  constexpr size_t kShown = 20;
  std::string text = "Completed with " + std::to_string(warnings.size()) +
                     (warnings.size() == 1 ? " warning:" : " warnings:");
  for (size_t i = 0; i < warnings.size() && i < kShown; ++i) text += "\n" + warnings[i];
  if (warnings.size() > kShown) text += "\n... and " + std::to_string(warnings.size() - kShown) + " more.";
  return text;
}

ExpandedItems ExpandItems(const std::string& baseFolder, const std::vector<SourceItem>& items,
                          const std::string& attributeFilter) {
  const std::string base = sys::IncludeTrailingSeparator(baseFolder);
  const std::string fileFilter = FileFilter(attributeFilter);
  const std::string folderFilter = FolderFilter(attributeFilter);
  ExpandedItems expanded;
  // Listed entries, relative to the item's folder, each checked for a name
  // that cannot be stored before it is mapped.
  const auto addListed = [&](const SourceItem& item, const std::string& folder, const StringList& listed,
                             std::vector<SourceItem>& into) {
    for (const std::string& e : listed) {
      if (HoldsBackslashInName(e)) {
        expanded.warnings.push_back(BackslashWarning(folder + e));
        continue;
      }
      into.push_back(MapListedEntry(item, sys::ToBackslashes(e)));
    }
  };
  for (const SourceItem& item : items) {
    const std::string folder = base + item.source;
    if (!sys::FolderExists(folder)) {
      expanded.files.push_back(item);
      continue;
    }
    const std::string folderItem = WithBackslash(item.source);
    expanded.folders.push_back(item.hadEquals ? SourceItem{folderItem, item.stored, true}
                                              : SourceItem{folderItem, folderItem, false});
    const std::string listedFrom = sys::IncludeTrailingSeparator(folder);
    StringList listed;
    sys::ListFiles(listed, folder, fileFilter, "*.*");
    addListed(item, listedFrom, listed, expanded.files);
    sys::ListFolder(listed, folder, folderFilter, "*.*");
    addListed(item, listedFrom, listed, expanded.folders);
  }
  SortIgnoringCase(expanded.files);
  SortIgnoringCase(expanded.folders);
  return expanded;
}

ExpandedItems ExpandItems(const std::string& baseFolder, const StringList& items,
                          const std::string& attributeFilter) {
  std::vector<SourceItem> split;
  for (const std::string& item : items) split.push_back(SplitItem(item, baseFolder));
  return ExpandItems(baseFolder, split, attributeFilter);
}

namespace {

// ArchiveCreate for items already split, with the warnings found before.
bool CreateFromItems(const std::string& archivePath, const std::string& baseFolder,
                     const std::vector<SourceItem>& items, const std::string& attributeFilter,
                     const std::string& stubPath, ProgressHook hook, void* context, StringList warnings) {
  ArchiveModule& module = Module();
  detail::BeginOperation();
  detail::OperationDisplay display(hook, context);
  const std::string base = sys::IncludeTrailingSeparator(baseFolder);
  std::string badName;
  ExpandedItems expanded = ExpandItems(base, items, attributeFilter);
  warnings.insert(warnings.end(), expanded.warnings.begin(), expanded.warnings.end());
  const std::string collisions = ResolveCaseCollisions(expanded.files, module.caseCollisions);
  const ArchivePlan plan = collisions.empty() ? PlanArchive(base, expanded, stubPath, badName, warnings) : ArchivePlan{};
  module.warnings = std::move(warnings);

  bool written = false;
  if (!collisions.empty()) {
    detail::ReportFailure(sys::FailureKind::BadProject, base, collisions);
  } else if (plan.directory.empty()) {
    detail::ReportFailure(sys::FailureKind::BadProject, base + badName,
                          "The name \"" + badName + "\" cannot be stored in an archive.");
  } else {
    // The archive is written under a temporary name in its folder and takes
    // its own name only when complete: a cancel, a full disk or a source that
    // cannot be read leaves no partial archive, and a file that had the name
    // before stays as it was.
    const std::string temporary = detail::TemporaryBeside(archivePath);
    try {
      written = WriteArchive(temporary, plan, display.progress()) == WriteResult::Written &&
                ArchiveWriteChecksum(temporary, display.progress().hook, display.progress().context).completed;
      if (written && !sys::RenameFile(temporary, archivePath, true)) {
        written = false;
        detail::ReportFailure(sys::FailureKind::Io, archivePath, "The archive " + archivePath + " could not be written.");
      }
    } catch (const std::exception& error) {
      // A source that cannot be opened names itself in the stream's message;
      // the archive is named as the user knows it, not by its temporary name.
      sys::Failure failure = sys::FailureOf(error);
      const std::string shown = sys::platform::NativePath(temporary);
      if (const size_t at = failure.message.find(shown); at != std::string::npos) {
        failure.message.replace(at, shown.size(), archivePath);
      }
      if (failure.path.empty() || failure.path == shown) failure.path = archivePath;
      detail::ReportFailure(failure);
    }
    if (!written && !module.failure.failed()) detail::NoteCancelled(archivePath);
    if (!written && sys::FileExists(temporary)) sys::RemoveFile(temporary);
  }
  if (!written) module.abort = true;
  display.Close(true);
  return written;
}

}  // namespace

bool ArchiveCreateFromFolder(const std::string& archivePath, const std::string& folder,
                             const std::string& attributeFilter, ProgressHook hook, void* context,
                             const std::string& stubPath, int64_t /*reserved*/) {
  const std::string base = sys::IncludeTrailingSeparator(folder);
  std::string listingFilter = Without(attributeFilter, "\\/");
  if (listingFilter == attributeFilter) listingFilter = Without(listingFilter, "d");
  StringList listed;
  sys::ListFiles(listed, base, listingFilter, "*.*");
  if (listed.empty()) {
    detail::BeginOperation();
    const bool exists = sys::FolderExists(base);
    detail::ReportFailure(exists ? sys::FailureKind::BadProject : sys::FailureKind::Io, base,
                          exists ? "The folder " + base + " holds nothing to pack."
                                 : "The folder " + base + " does not exist.");
    Module().abort = true;
    return false;
  }
  // The listed names are items of their own, taken whole: an "=" in a name
  // found here is never a stored-name separator.
  std::vector<SourceItem> items;
  StringList warnings;
  for (const std::string& name : listed) {
    if (HoldsBackslashInName(name)) {
      warnings.push_back(BackslashWarning(base + name));
      continue;
    }
    items.push_back({name, name, false});
  }
  return CreateFromItems(archivePath, base, items, attributeFilter, stubPath, hook, context, std::move(warnings));
}

bool ArchiveCreate(const std::string& archivePath, const std::string& baseFolder, const std::string& items,
                   const std::string& attributeFilter, const std::string& stubPath, ProgressHook hook,
                   void* context, int64_t reserved) {
  StringList list;
  sys::SplitDelimited(items, "|", list);
  return ArchiveCreate(archivePath, baseFolder, list, attributeFilter, stubPath, hook, context, reserved);
}

bool ArchiveCreate(const std::string& archivePath, const std::string& baseFolder, const StringList& items,
                   const std::string& attributeFilter, const std::string& stubPath, ProgressHook hook,
                   void* context, int64_t /*reserved*/) {
  std::vector<SourceItem> split;
  for (const std::string& item : items) split.push_back(SplitItem(item, baseFolder));
  return CreateFromItems(archivePath, baseFolder, split, attributeFilter, stubPath, hook, context, {});
}

}  // namespace archive
