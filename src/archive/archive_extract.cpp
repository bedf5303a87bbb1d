// Extracting a folder of an indexed archive, with the overwrite rules.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

#include "archive/archive_layout.h"
#include "archive/checksum.h"
#include "archive/content_hashes.h"
#include "archive/entry_tap.h"
#include "archive/entry_flags.h"
#include "archive/letters.h"
#include "archive/names.h"
#include "archive/operation.h"
#include "compression/block_pool.h"
#include "compression/stream_callbacks.h"
#include "system/file_dates.h"
#include "system/files.h"
#include "system/path_limits.h"
#include "system/paths.h"
#include "system/platform.h"

namespace archive {

using compression::FileStream;

namespace {

enum class Decision { Replace, Skip, Cancel };

// The three answers of one extraction call.
struct OverwriteAnswers {
  int existing, readOnly, system;
};

Decision DecideWith(int& answer, const std::string& question, int32_t existingDate, int32_t storedDate) {
  if (answer == kNoToAll) return Decision::Skip;
  if (answer == kYesOnNewer) {
    // Compared as unsigned DOS date-times: the year field is the top bits,
    // and from 2044 on it sets the sign bit of the stored signed value.
    return static_cast<uint32_t>(existingDate) >= static_cast<uint32_t>(storedDate) ? Decision::Skip
                                                                                     : Decision::Replace;
  }
  ArchiveDialog* dialog = Module().dialog;
  answer = dialog ? dialog->Query(question, kSixButtons) : kNo;
  if (answer == kCancel) return Decision::Cancel;
  return answer == kNo || answer == kNoToAll ? Decision::Skip : Decision::Replace;
}

// Which question a file gets: read-only before system before existence;
// "Yes to All" to one of them passes the file on to the next test. The
// existing file is described by what its held folder saw, not by its path.
Decision ApplyOverwriteRules(OverwriteAnswers& answers, const std::string& destination,
                             const sys::platform::NameInfo& existing, int32_t storedDate) {
  const std::string letters = sys::LettersOfAttributes(existing.attributes);
  const int32_t existingDate = sys::DosDateTimeFromFileTime(sys::FileTime{existing.modifiedTime});
  const std::string prefix = "The file " + destination;
  if (answers.readOnly != kYesToAll && letters.find('r') != std::string::npos) {
    return DecideWith(answers.readOnly, prefix + " is read-only. Do you wish to overwrite it?", existingDate,
                      storedDate);
  }
  if (answers.system != kYesToAll && letters.find('s') != std::string::npos) {
    return DecideWith(answers.system, prefix + " is a system file. Do you wish to overwrite it?", existingDate,
                      storedDate);
  }
  if (answers.existing != kYesToAll) {
    return DecideWith(answers.existing, prefix + " exists. Do you wish to overwrite it?", existingDate,
                      storedDate);
  }
  return Decision::Replace;
}

// The folders of one extraction, held open from the target down to the
// folder of the file being written. Every component below the target is
// opened relative to the one above it and never through a link, so a folder
// swapped for a link while the extraction runs cannot lead a write outside.
class HeldFolders {
 public:
  explicit HeldFolders(const std::string& target) : target_(target) {}

  // The held folder for `relative` ("" or "a\\b\\", stored separators),
  // with each missing component created when `create` is set. nullptr when a
  // component is a link (`link` set) or cannot be opened (`reason` set).
  // A folder made for the last component gets `lastPermissions`.
  sys::platform::FolderHandle* Descend(const std::string& relative, bool create, bool& link, std::string& reason,
                                       int lastPermissions = 0777);

  // True when the folder Descend returned last was made by this extraction
  // (when it was opened now or earlier): every name in it was written here,
  // so none needs looking at before a file is written (the exclusive create
  // still refuses one that appeared).
  bool LastIsNew() const { return chain_.empty() ? rootMade_ : chainMade_.back(); }

 private:
  using FolderHandle = sys::platform::FolderHandle;

  const std::string& target_;
  FolderHandle root_;
  bool rootMade_ = false;
  std::vector<std::string> names_;     // the components held below the target
  std::vector<std::string> keys_;      // the same as paths below the target, "a\\b\\"
  std::vector<FolderHandle> chain_;    // their handles, outermost first
  std::vector<bool> chainMade_;        // made by this extraction
  std::optional<std::string> lastRelative_;  // what the chain holds, as last asked for
  // Every folder below the target made by this extraction, as keys_: the
  // folders are all made before the first file, and opened again for it.
  std::unordered_set<std::string> made_;
};

sys::platform::FolderHandle* HeldFolders::Descend(const std::string& relative, bool create, bool& link,
                                                  std::string& reason, int lastPermissions) {
  link = false;
  if (!root_.IsOpen()) {
    // The target itself is taken as named, once; what lies below it is
    // reached only through its handle.
    if (create) {
      if (ExtractionWatcher* watcher = Module().watcher) watcher->BeforeFolder(target_);
      rootMade_ = !sys::FolderExists(target_) && sys::CreateFolders(target_);
    }
    if (!root_.Open(target_, reason)) {
      reason = "Cannot open folder \"" + target_ + "\". " + reason;
      return nullptr;
    }
  }
  // Files come folder by folder: most ask for the folder held already.
  if (lastRelative_ == relative) return chain_.empty() ? &root_ : &chain_.back();
  lastRelative_.reset();
  std::vector<std::string> wanted;
  for (size_t start = 0; start < relative.size();) {
    size_t end = relative.find('\\', start);
    if (end == std::string::npos) end = relative.size();
    if (end > start) wanted.push_back(relative.substr(start, end - start));
    start = end + 1;
  }
  size_t same = 0;
  while (same < wanted.size() && same < names_.size() && names_[same] == wanted[same]) ++same;
  names_.resize(same);
  keys_.resize(same);
  chain_.resize(same);
  chainMade_.resize(same);
  for (size_t i = same; i < wanted.size(); ++i) {
    const FolderHandle& parent = i == 0 ? root_ : chain_[i - 1];
    FolderHandle child;
    if (create) {
      if (ExtractionWatcher* watcher = Module().watcher) watcher->BeforeFolder(parent.Path() + wanted[i]);
    }
    const int permissions = i + 1 == wanted.size() ? lastPermissions : 0777;
    switch (child.OpenChild(parent, wanted[i], create, reason, permissions)) {
      case FolderHandle::Child::Opened: break;
      case FolderHandle::Child::Link: link = true; return nullptr;
      case FolderHandle::Child::Failed:
        reason = "Cannot open folder \"" + parent.Path() + wanted[i] + "\". " + reason;
        return nullptr;
    }
    std::string key = (i == 0 ? std::string() : keys_[i - 1]) + wanted[i] + '\\';
    bool made = child.Made();
    if (made) {
      made_.insert(key);
    } else {
      made = made_.count(key) > 0;
    }
    names_.push_back(wanted[i]);
    keys_.push_back(std::move(key));
    chain_.push_back(std::move(child));
    chainMade_.push_back(made);
  }
  lastRelative_ = relative;
  return chain_.empty() ? &root_ : &chain_.back();
}

// Entries whose content is at most this size are decoded whole by a
// worker, ahead of the writer, into memory; larger ones are decoded by the
// writer itself when their turn comes, their blocks still side by side.
// With BytesInFlight() this bounds the memory held by entries decoded ahead.
constexpr int64_t kWholeEntryLimit = 4 << 20;

// One entry decoded ahead of the writer.
struct DecodedEntry {
  bool byWriter = true;  // not decoded ahead: the writer reads the archive
  uint8_t flags = 0;
  std::vector<uint8_t> content;
  std::optional<sys::Sha256Digest> digest;  // of content, when the archive records one to check
  std::exception_ptr error;  // raised only if the writer writes the entry
};

// The archive opened once more for the workers, which take turns reading
// whole entries from it.
class EntryReader {
 public:
  EntryReader(const std::string& archivePath, const ArchiveIndex& index)
      : archivePath_(archivePath), index_(index), decompress_(Module().decompressHook),
        file_(sys::platform::NativePath(archivePath), FileStream::Mode::Read) {}

  // True when the first entries (up to a handful) in `order` all keep
  // their content as it stands: the archive was made without compression.
  bool StartsStored(const std::vector<int>& order) {
    constexpr size_t kSample = 16;
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < std::min(order.size(), kSample); ++i) {
      const int k = order[i];
      if (k >= 0 && !HoldsStoredContent(static_cast<size_t>(k), index_.StoredLength(static_cast<size_t>(k)))) {
        return false;
      }
    }
    return true;
  }

  // Decodes entry `k` into `slot` when its content is small enough, with
  // its digest when `digest` (hashing here keeps it off the writer). A
  // failure is kept in the slot: the overwrite rules may skip the entry, and
  // then it must not be reported.
  void DecodeAhead(size_t k, bool digest, DecodedEntry& slot) {
    const int64_t storedLength = index_.StoredLength(k);
    // An entry without even its flags byte reads past itself; the writer
    // handles it as it always has.
    if (storedLength < layout::kEmptyEntrySize || storedLength > kWholeEntryLimit) return;
    try {
      compression::MemoryStream stored;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        // Content kept as it stands the writer copies straight from the
        // archive, unless it has a digest to check: then it is read here,
        // so that the hashing stays off the writer.
        if (!digest && HoldsStoredContent(k, storedLength)) return;
        stored.Data().resize(static_cast<size_t>(std::max<int64_t>(storedLength, 0)));
        file_.Seek(index_.EntryOffset(k), compression::SeekOrigin::Beginning);
        file_.ReadExact(stored.Data().data(), storedLength);
      }
      const int64_t bound = ContentBound(stored, storedLength);
      if (bound > kWholeEntryLimit) return;
      // Room for the content as its blocks declare it (the bound counts
      // whole blocks): growing by doubling would copy it again on the way.
      stored.Seek(layout::kEntryLengthOffset, compression::SeekOrigin::Beginning);
      std::vector<uint8_t> room;
      room.reserve(static_cast<size_t>(std::clamp<int64_t>(compression::ExpandedSize(stored), 0, bound)));
      compression::MemoryStream output(std::move(room));
      slot.flags = detail::DecodeStoredEntry(stored, 0, storedLength, false, decompress_, output, archivePath_);
      slot.content = std::move(output.Data());
      if (digest) slot.digest = sys::Sha256Of(slot.content.data(), slot.content.size());
    } catch (...) {
      slot.error = std::current_exception();
    }
    slot.byWriter = false;
  }

 private:
  // True when entry `k` keeps its content as it stands: the writer copies
  // it straight from the archive for less than a copy made here and handed
  // over would cost. The caller holds the mutex.
  bool HoldsStoredContent(size_t k, int64_t storedLength) {
    uint8_t head[1 + 8 + 4] = {};  // flags, length prefix, container signature
    file_.Seek(index_.EntryOffset(k), compression::SeekOrigin::Beginning);
    const int64_t got = file_.Read(head, std::min<int64_t>(sizeof head, storedLength));
    if (!(head[0] & layout::kFlagCompressed) || !decompress_) return true;
    compression::MemoryStream record(std::vector<uint8_t>(head + 1, head + std::max<int64_t>(got, 1)));
    return compression::RecordIsStored(record);
  }

  // The most bytes the entry held in `stored` expands to.
  int64_t ContentBound(compression::Stream& stored, int64_t storedLength) const {
    uint8_t flags = 0;
    if (!detail::EntryHasContent(storedLength) || stored.Read(&flags, 1) != 1) return 0;
    if (!(flags & layout::kFlagCompressed) || !decompress_) return storedLength;
    stored.Seek(layout::kEntryLengthOffset, compression::SeekOrigin::Beginning);
    return compression::ExpandedSizeBound(stored);
  }

  const std::string& archivePath_;
  const ArchiveIndex& index_;
  const DecompressHook decompress_;
  std::mutex mutex_;
  FileStream file_;
};

class Extraction {
 public:
  Extraction(const std::string& archivePath, FileStream& archive, const ArchiveIndex& index,
             const std::string& target, const ContentHashes& hashes, EntrySteps& steps)
      : archivePath_(archivePath), archive_(archive), index_(index), lookup_(index.names), target_(target),
        hashes_(hashes), steps_(steps), folders_(target) {
    const ArchiveModule& module = Module();
    answers_ = {module.OverwriteExisting, module.OverwriteReadOnly, module.OverwriteSystem};
    if (const auto time = sys::FileTimeFromDosDateTime(kEarliestDate)) placeholderTime_ = time->unixSeconds;
  }

  // The entry position of the name `stored`, -1 when it is absent.
  int Find(const std::string& stored) const { return lookup_.Find(stored); }

  // The whole work list (relative names and their entries), which
  // ExtractFile's `i` indexes: new files are announced to the watcher a run
  // at a time.
  void SetWorkList(const StringList& names, const std::vector<int>& order) {
    names_ = &names;
    order_ = &order;
  }

  // Extracts entry `k` (-1: a name without an entry, passed over) as
  // target + `relative`, taking its content from `decoded` when that was
  // decoded ahead; a new file gets the permissions its `letters` imply.
  // False when the extraction must stop (cancel or failure, already
  // reported).
  bool ExtractFile(size_t i, int k, const std::string& relative, const std::string& letters,
                   const DecodedEntry& decoded);

  // Creates the folder `relative` (a private one private from the start)
  // unless a link is in its way. False, with a message naming it, when it
  // cannot be made (a path too long for the file system, say).
  bool CreateFolder(const std::string& relative, const std::string& letters) {
    const std::string path = sys::ToNativeSeparators(target_ + relative);
    bool link = false;
    std::string reason;
    if (path.size() <= sys::platform::kMaxPathLength &&
        folders_.Descend(FolderPart(relative), true, link, reason, CreationPermissions(letters, true))) {
      return true;
    }
    if (link) return true;  // its files are refused by name
    detail::ReportFailure(sys::FailureKind::Io, path, "The folder " + path + " could not be created.");
    return false;
  }

  // Gives the folder `relative` its letters' attributes, through its handle.
  void ApplyFolderLetters(const std::string& relative, const std::string& letters) {
    bool link = false;
    std::string reason;
    if (sys::platform::FolderHandle* folder = folders_.Descend(FolderPart(relative), false, link, reason)) {
      folder->SetAttributes(AttributesOfLetters(letters));
    }
  }

 private:
  static std::string FolderPart(const std::string& relative) {
    return relative.empty() || relative.back() == '\\' ? relative : relative + '\\';
  }
  // `relative` with ASCII letters in lower case: names that a file system
  // blind to letter case takes for one.
  static std::string FoldedName(std::string relative) {
    for (char& c : relative) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return relative;
  }
  // Where a file goes: straight under its name in a folder this extraction
  // made, otherwise under a temporary name that takes the entry's name (and
  // may replace an existing file) once complete.
  enum class Placement { Direct, NewName, Replacing };
  // The earliest date an entry can carry: a file written in place wears it
  // until its own date is set, so a run cut short leaves it older than its
  // entry, and the next run's "replace older files" rewrites it.
  static constexpr int32_t kEarliestDate = 0x00210000;  // 1980-01-01 00:00
  // True when entry `k` may be written in place: its date is valid and
  // later than the placeholder's.
  bool PlaceholderFits(size_t k) const {
    const int32_t date = index_.StoredDate(k);
    return placeholderTime_ && static_cast<uint32_t>(date) > static_cast<uint32_t>(kEarliestDate) &&
           sys::FileTimeFromDosDateTime(date);
  }
  bool WriteEntry(size_t k, const sys::platform::FolderHandle& folder, const std::string& name,
                  const std::string& destination, Placement placement, uint32_t permissions,
                  const DecodedEntry& decoded);
  uint8_t WriteContent(size_t k, const DecodedEntry& decoded, FileStream& output);
  static bool RefuseLink(const std::string& destination) {
    detail::ReportFailure(sys::FailureKind::Unsafe, destination,
                          "The file " + destination + " lies behind a symbolic link; it was not extracted.");
    return false;
  }

  const std::string& archivePath_;
  FileStream& archive_;
  const ArchiveIndex& index_;
  const NameLookup lookup_;
  const std::string& target_;
  const ContentHashes& hashes_;
  EntrySteps& steps_;
  OverwriteAnswers answers_;
  bool AnnounceFrom(size_t i, const std::string& folderPart);

  HeldFolders folders_;
  std::unordered_set<std::string> written_;  // names written into folders made here, folded
  std::optional<int64_t> placeholderTime_;  // kEarliestDate as a file time
  const StringList* names_ = nullptr;
  const std::vector<int>* order_ = nullptr;
  size_t announcedEnd_ = 0;  // work list items before it were announced (or passed)
};

// Announces to the watcher item `i` (a new file in the folder `folderPart`,
// made here) and the items after it in the same folder that are new files
// too, up to a run of them.
bool Extraction::AnnounceFrom(size_t i, const std::string& folderPart) {
  constexpr size_t kRun = 64;
  ExtractionWatcher* watcher = Module().watcher;
  if (!watcher || !names_ || i < announcedEnd_) return true;
  std::vector<std::string> destinations;
  std::unordered_set<std::string> seen;
  size_t j = i;
  for (; j < names_->size() && j < i + kRun; ++j) {
    const std::string& relative = (*names_)[j];
    const std::string folded = FoldedName(relative);
    // Only what ExtractFile will find unseen: the same folder, a name not
    // written yet, an entry to write.
    if ((*order_)[j] < 0 || relative.compare(0, folderPart.size(), folderPart) != 0 ||
        relative.find('\\', folderPart.size()) != std::string::npos || (j > i && written_.count(folded)) ||
        !seen.insert(folded).second) {
      break;
    }
    const std::string destination = sys::ToNativeSeparators(target_ + relative);
    if (destination.size() > sys::platform::kMaxPathLength) break;
    destinations.push_back(destination);
  }
  announcedEnd_ = j;
  return watcher->Announce(destinations);
}

bool Extraction::ExtractFile(size_t i, int k, const std::string& relative, const std::string& letters,
                             const DecodedEntry& decoded) {
  const std::string destination = sys::ToNativeSeparators(target_ + relative);
  if (destination.size() > sys::platform::kMaxPathLength) {
    detail::ReportFailure(sys::FailureKind::Io, destination,
                          "The file " + destination + " could not be extracted: Cannot open file \"" + destination +
                          "\". " + std::strerror(ENAMETOOLONG));
    return false;
  }
  const size_t nameStart = relative.rfind('\\') + 1;  // 0 without a folder part
  const std::string name = relative.substr(nameStart);
  bool link = false;
  std::string reason;
  const sys::platform::FolderHandle* folder = folders_.Descend(relative.substr(0, nameStart), true, link, reason);
  if (link) return RefuseLink(destination);
  if (!folder) {
    detail::ReportFailure(sys::FailureKind::Io, destination,
                          "The file " + destination + " could not be extracted: " + reason);
    return false;
  }
  // In a folder made by this extraction only a name written earlier in it
  // (the same name stored twice, or in other letter case) can exist.
  const bool unseen = folders_.LastIsNew() && written_.insert(FoldedName(relative)).second;
  std::optional<sys::platform::NameInfo> existing;
  if (!unseen) existing = folder->Inspect(name);
  if (existing && (existing->attributes & sys::platform::kAttrLink)) return RefuseLink(destination);
  if (k < 0) return true;
  if (unseen && !AnnounceFrom(i, relative.substr(0, nameStart))) return false;
  ExtractionWatcher* watcher = Module().watcher;
  if (existing && !(watcher && watcher->ReplaceAlways(destination))) {
    switch (ApplyOverwriteRules(answers_, destination, *existing, index_.StoredDate(static_cast<size_t>(k)))) {
      case Decision::Skip: return true;
      case Decision::Cancel: return false;
      case Decision::Replace: break;
    }
  }
  if (watcher && !watcher->BeforeWrite(destination, existing.has_value())) return false;
  const Placement placement = unseen && PlaceholderFits(static_cast<size_t>(k)) ? Placement::Direct
                              : existing                                        ? Placement::Replacing
                                                                                : Placement::NewName;
  return WriteEntry(static_cast<size_t>(k), *folder, name, destination, placement, CreationPermissions(letters, false),
                    decoded);
}

// A file that may meet an existing one is written under an unpredictable
// temporary name, created exclusively in its held folder, and takes its own
// name only when its last byte, its date and its attributes are in place: a
// crash, a decode error or a full disk never truncates the user's file and
// never leaves one under the entry's name that looks complete and is not.
// In a folder this extraction made nobody else's file can be met, and the
// file is created exclusively under its own name (one create, no rename, as
// tar does), dated 1980-01-01 until its content is complete: a failure
// removes it; a run killed half way leaves it older than its entry, so the
// next run replaces it (and an installer has listed it for its uninstaller
// beforehand).
bool Extraction::WriteEntry(size_t k, const sys::platform::FolderHandle& folder, const std::string& name,
                            const std::string& destination, Placement placement, uint32_t permissions,
                            const DecodedEntry& decoded) {
  const bool direct = placement == Placement::Direct;
  std::string written = direct ? name : std::string();
  bool created = false;
  int64_t size = 0;
  try {
    std::unique_ptr<FileStream> output;
    // Created with its permissions from the start: a private file is never
    // readable by others, not even while it is written. A temporary name
    // taken meanwhile (by chance or on purpose) gets another; the name is
    // looked at only when the exclusive create failed.
    for (int attempt = 0; !output; ++attempt) {
      if (!direct) written = sys::platform::UnpredictableTemporaryName();
      try {
        output = std::make_unique<FileStream>(folder, written, sys::platform::NativePath(folder.Path() + written),
                                              permissions);
      } catch (const std::exception&) {
        if (direct || attempt >= 8 || !folder.Inspect(written)) throw;
      }
    }
    created = true;
    if (direct) output->SetModifiedTimeAtOnce(*placeholderTime_);
    const uint8_t flags = WriteContent(k, decoded, *output);
    size = output->Size();
    // A file created here already has a new file's attributes.
    const uint32_t attributes = AttributesOfEntryFlags(flags);
    if (!sys::platform::IsNewFileDefault(attributes)) output->SetAttributes(attributes);
  } catch (const DamagedArchive& error) {
    if (created) folder.RemoveFile(written);
    detail::ReportFailure(error.failure());
    return false;
  } catch (const std::exception& error) {
    if (created) folder.RemoveFile(written);
    // The user knows the file by its own name, not by the temporary one.
    std::string reason = error.what();
    const std::string shown = sys::platform::NativePath(folder.Path() + written);
    if (const size_t at = reason.find(shown); at != std::string::npos) reason.replace(at, shown.size(), destination);
    // An entry that does not decode is the archive's fault; anything else
    // (a full disk, a refused file) is the destination's.
    const sys::FailureKind kind = sys::FailureOf(error).kind;
    const bool damaged = kind == sys::FailureKind::Damaged;
    detail::ReportFailure(damaged ? kind : sys::FailureKind::Io, damaged ? archivePath_ : destination,
                          "The file " + destination + " could not be extracted: " + reason);
    return false;
  }
  if (!direct && !folder.Rename(written, name, placement == Placement::Replacing)) {
    folder.RemoveFile(written);
    detail::ReportFailure(sys::FailureKind::Io, destination, "The file " + destination + " could not be written.");
    return false;
  }
  if (ExtractionWatcher* watcher = Module().watcher) watcher->AfterWrite(destination, size);
  return true;
}

// Writes entry `k` (or what was decoded of it ahead) and its date into
// `output`; returns its flags. Content whose digest the archive records is
// checked here, before the file can take its name.
uint8_t Extraction::WriteContent(size_t k, const DecodedEntry& decoded, FileStream& output) {
  uint8_t flags = decoded.flags;
  const bool hash = hashes_.For(k) != nullptr;
  if (decoded.byWriter && (hash || steps_.Long())) {
    EntryTap tap(output, hash, [this](int64_t done) { steps_.Within(done); });
    flags = detail::ReadStoredEntry(archive_, index_, k, false, tap, archivePath_);
    if (hash) {
      const std::optional<sys::Sha256Digest> seen = tap.Digest(output.Size());
      hashes_.Check(k, seen ? *seen : HashOfStream(output), index_, archivePath_);
    }
  } else if (decoded.byWriter) {
    flags = detail::ReadStoredEntry(archive_, index_, k, false, output, archivePath_);
  } else {
    if (decoded.error) std::rethrow_exception(decoded.error);
    if (hash) {
      hashes_.Check(k, decoded.digest ? *decoded.digest : sys::Sha256Of(decoded.content.data(), decoded.content.size()),
                    index_, archivePath_);
    }
    output.WriteExact(decoded.content.data(), static_cast<int64_t>(decoded.content.size()));
  }
  output.Flush();
  const int32_t date = index_.StoredDate(k);
  if (const auto time = date != 0 ? sys::FileTimeFromDosDateTime(date) : std::nullopt) {
    output.SetModifiedTime(time->unixSeconds);
  }
  return flags;
}

// The names of the archive without its stub and its digests' entry, with
// their letters.
void WorkList(const ArchiveIndex& index, const ContentHashes& hashes, StringList& names, StringList& letters) {
  names.clear();
  letters.clear();
  for (size_t k = 0; k < index.EntryCount(); ++k) {
    if ((k == 0 && index.names[k] == layout::kStubName) || hashes.IsOwnEntry(k)) continue;
    names.push_back(index.names[k]);
    letters.push_back(index.nameAttributes[k]);
  }
}

// The first name or folder that would leave the target folder, or "".
const std::string* FirstUnsafeName(const StringList& names, const StringList& folders) {
  for (const StringList* list : {&names, &folders}) {
    for (const std::string& name : *list) {
      if (!IsSafeStoredName(name)) return &name;
    }
  }
  return nullptr;
}

// The most bytes an extraction into `target` may write: the module's bound,
// or the free space of the target's volume (of its nearest existing folder
// when it is still to be made); nullopt when neither is known.
std::optional<int64_t> ExtractionBound(const std::string& target) {
  if (Module().maxExtractBytes >= 0) return Module().maxExtractBytes;
  std::string folder = sys::ExcludeTrailingSeparator(target);
  while (!folder.empty() && !sys::FolderExists(folder)) {
    const std::string parent = sys::ExcludeTrailingSeparator(sys::ExtractFilePath(folder));
    if (parent == folder) break;
    folder = parent;
  }
  return sys::platform::FreeSpace(folder.empty() ? "." : folder);
}

// Refused: damaged or unsafe, reported before anything was written.
// Cancelled also stands for a failure that stopped the run (reported).
enum class Outcome { Done, Cancelled, Refused };

// Steps after verification: read the index, check every name, create
// folders, extract files. Damage and refusals are reported here.
Outcome ExtractVerified(const std::string& archivePath, const std::string& folder, const std::string& target,
                        bool subfolders, const Progress& progress) {
  FileStream archive(sys::platform::NativePath(archivePath), FileStream::Mode::Read);
  ArchiveIndex index;
  ContentHashes hashes;
  try {
    index = ReadArchiveIndexOfFile(archive, archivePath);
    hashes = ContentHashes::Read(archive, index, archivePath);
  } catch (const DamagedArchive& error) {
    detail::ReportFailure(error.failure());
    return Outcome::Refused;
  }
  StringList names, letters;
  WorkList(index, hashes, names, letters);
  StringList folders = index.folders, folderLetters = index.folderAttributes;
  FilterNamesByFolder(folder, names, letters, subfolders);
  FilterNamesByFolder(folder, folders, folderLetters, subfolders);
  if (const std::string* unsafe = FirstUnsafeName(names, folders)) {
    detail::ReportFailure(sys::FailureKind::Unsafe, archivePath,
                          "The archive " + archivePath + " holds the name \"" + folder + *unsafe +
                              "\", which would be written outside the target folder. Nothing was extracted.");
    return Outcome::Refused;
  }
  // Workers decode the entries, a window of them ahead; the files are
  // written here, in order, where the overwrite questions are asked.
  EntrySteps steps(progress, names.size());
  Extraction extraction(archivePath, archive, index, target, hashes, steps);
  std::vector<int> order(names.size());
  for (size_t i = 0; i < names.size(); ++i) order[i] = extraction.Find(folder + names[i]);
  extraction.SetWorkList(names, order);
  // What the entries declare is what decoding them writes (a block larger
  // than declared fails to decode), so the bound is checked before the
  // first byte: a small archive cannot fill the disk.
  int64_t total = 0;
  try {
    for (const int k : order) {
      if (k < 0) continue;
      const int64_t size = EntryContentSize(archive, index, static_cast<size_t>(k), archivePath);
      total = size > INT64_MAX - total ? INT64_MAX : total + size;
    }
  } catch (const DamagedArchive& error) {
    detail::ReportFailure(error.failure());
    return Outcome::Refused;
  }
  if (const std::optional<int64_t> bound = ExtractionBound(target); bound && total > *bound) {
    detail::ReportFailure(sys::FailureKind::Other, archivePath,
                          "The archive " + archivePath + " would write " + std::to_string(total) +
                          " bytes, more than the " + std::to_string(*bound) +
                          " bytes allowed in " + target + "; nothing was extracted.");
    return Outcome::Refused;
  }
  for (size_t i = 0; i < folders.size(); ++i) {
    if (!extraction.CreateFolder(folders[i], folderLetters[i])) return Outcome::Cancelled;
  }
  std::unique_ptr<EntryReader> reader;
  size_t window = static_cast<size_t>(compression::FilesInFlight());
  if (window > 1) reader = std::make_unique<EntryReader>(archivePath, index);
  // An archive made without compression gains nothing from workers, unless
  // they can take the digests' hashing off the writer.
  if (reader && !hashes.Present() && reader->StartsStored(order)) {
    reader.reset();
    window = 1;
  }
  std::vector<DecodedEntry> decoded(names.size());
  const auto decode = [&](size_t i) {
    if (reader && order[i] >= 0) {
      const size_t k = static_cast<size_t>(order[i]);
      reader->DecodeAhead(k, hashes.For(k) != nullptr, decoded[i]);
    }
    return static_cast<int64_t>(decoded[i].content.size());
  };
  const auto write = [&](size_t i) {
    // Only an entry the writer decodes itself can be long.
    const int64_t size = decoded[i].byWriter && order[i] >= 0
                             ? EntryContentSize(archive, index, static_cast<size_t>(order[i]), archivePath)
                             : 0;
    const DecodedEntry entry = std::move(decoded[i]);
    if (!steps.Start(names[i], i, size) || !extraction.ExtractFile(i, order[i], names[i], letters[i], entry)) return false;
    if (Module().afterFileWritten) Module().afterFileWritten(i + 1);
    return true;
  };
  const Outcome outcome =
      compression::RunInOrder(names.size(), window, compression::BytesInFlight(), decode, write)
          ? Outcome::Done
          : Outcome::Cancelled;
  // Folder attributes last: a read-only folder would refuse its files on
  // platforms where that attribute is a permission.
  for (size_t i = 0; i < folders.size(); ++i) extraction.ApplyFolderLetters(folders[i], folderLetters[i]);
  return outcome;
}

// The caller's progress, noting whether it asked to stop: a verification
// that the user cancelled is not a damaged archive.
struct WatchedProgress {
  Progress inner;
  bool cancelled = false;

  static bool Report(void* context, const std::string& text, int percent) {
    auto* self = static_cast<WatchedProgress*>(context);
    if (self->inner.Report(text, percent)) return true;
    self->cancelled = true;
    return false;
  }
};

}  // namespace

bool ArchiveExtractFolder(const std::string& archivePath, const std::string& folder,
                          const std::string& targetFolder, bool subfolders, ProgressHook hook, void* context) {
  ArchiveModule& module = Module();
  detail::BeginOperation();
  if (!sys::FileExists(archivePath)) {
    detail::ReportFailure(sys::FailureKind::Io, archivePath, "The archive " + archivePath + " does not exist.");
    module.abort = true;
    return false;
  }
  module.warnings.clear();
  detail::OperationDisplay display(hook, context);
  WatchedProgress verification{display.progress()};
  if (!ArchiveVerify(archivePath, WatchedProgress::Report, &verification)) {
    if (!module.abort && !verification.cancelled) {
      detail::ReportFailure(sys::FailureKind::Damaged, archivePath, DamagedArchiveMessage(archivePath));
    } else {
      detail::NoteCancelled(archivePath);
    }
    module.abort = true;
    display.Close(false);
    return false;
  }
  const std::string target = sys::IncludeTrailingSeparator(targetFolder);
  const std::string prefix = NormaliseFolderPrefix(folder);
  Outcome outcome = Outcome::Cancelled;
  try {
    outcome = ExtractVerified(archivePath, prefix, target, subfolders, display.progress());
  } catch (const std::exception& error) {
    sys::Failure failure = sys::FailureOf(error);
    if (failure.path.empty()) failure.path = archivePath;
    detail::ReportFailure(failure);
  }
  if (outcome == Outcome::Cancelled) detail::NoteCancelled(archivePath);
  if (outcome != Outcome::Done) module.abort = true;
  // A refusal has said why; like a failed verification it closes quietly.
  display.Close(outcome != Outcome::Refused);
  return outcome == Outcome::Done;
}

bool ArchiveExtractAll(const std::string& archivePath, const std::string& targetFolder, ProgressHook hook,
                       void* context) {
  return ArchiveExtractFolder(archivePath, "\\", targetFolder, true, hook, context);
}

}  // namespace archive
