// Extracting a folder of an indexed archive, with the overwrite rules.
#include <algorithm>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "archive/archive_layout.h"
#include "archive/checksum.h"
#include "archive/entry_flags.h"
#include "archive/letters.h"
#include "archive/names.h"
#include "archive/operation.h"
#include "compression/block_pool.h"
#include "compression/stream_callbacks.h"
#include "system/file_dates.h"
#include "system/files.h"
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

Decision DecideWith(int& answer, const std::string& question, const std::string& destination, int32_t storedDate) {
  if (answer == kNoToAll) return Decision::Skip;
  if (answer == kYesOnNewer) {
    // Compared as unsigned DOS date-times: the year field is the top bits,
    // and from 2044 on it sets the sign bit of the stored signed value.
    const auto existing = static_cast<uint32_t>(sys::FileDosDateTime(destination));
    return existing >= static_cast<uint32_t>(storedDate) ? Decision::Skip : Decision::Replace;
  }
  ArchiveDialog* dialog = Module().dialog;
  answer = dialog ? dialog->Query(question, kSixButtons) : kNo;
  if (answer == kCancel) return Decision::Cancel;
  return answer == kNo || answer == kNoToAll ? Decision::Skip : Decision::Replace;
}

// Which question a file gets: read-only before system before existence;
// "Yes to All" to one of them passes the file on to the next test.
Decision ApplyOverwriteRules(OverwriteAnswers& answers, const std::string& destination, int32_t storedDate) {
  const std::string letters = sys::AttributeLetters(destination);
  const std::string prefix = "The file " + destination;
  if (answers.readOnly != kYesToAll && letters.find('r') != std::string::npos) {
    return DecideWith(answers.readOnly, prefix + " is read-only. Do you wish to overwrite it?", destination,
                      storedDate);
  }
  if (answers.system != kYesToAll && letters.find('s') != std::string::npos) {
    return DecideWith(answers.system, prefix + " is a system file. Do you wish to overwrite it?", destination,
                      storedDate);
  }
  if (answers.existing != kYesToAll) {
    return DecideWith(answers.existing, prefix + " exists. Do you wish to overwrite it?", destination, storedDate);
  }
  return Decision::Replace;
}

// True when a component of `relative` below `target` (the last one
// included) is a symbolic link, which extraction must not write through.
bool CrossesLink(const std::string& target, const std::string& relative) {
  std::string path = target;
  size_t start = 0;
  while (start < relative.size()) {
    size_t end = relative.find('\\', start);
    if (end == std::string::npos) end = relative.size();
    path += relative.substr(start, end - start);
    const auto attributes = sys::platform::GetAttributes(path);
    if (!attributes) return false;  // nothing exists further down
    if (*attributes & sys::platform::kAttrLink) return true;
    path += sys::PathSeparator();
    start = end + 1;
  }
  return false;
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
  std::exception_ptr error;  // raised only if the writer writes the entry
};

// The archive opened once more for the workers, which take turns reading
// whole entries from it.
class EntryReader {
 public:
  EntryReader(const std::string& archivePath, const ArchiveIndex& index)
      : archivePath_(archivePath), index_(index), decompress_(Module().decompressHook),
        file_(NativePath(archivePath), FileStream::Mode::Read) {}

  // True when the first entries (up to a handful) in `order` all keep
  // their content as it stands: such an archive was made without
  // compression, and its copies gain nothing from workers.
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

  // Decodes entry `k` into `slot` when its content is small enough. A
  // failure is kept in the slot: the overwrite rules may skip the entry, and
  // then it must not be reported.
  void DecodeAhead(size_t k, DecodedEntry& slot) {
    const int64_t storedLength = index_.StoredLength(k);
    // An entry without even its flags byte reads past itself; the writer
    // handles it as it always has.
    if (storedLength < layout::kEmptyEntrySize || storedLength > kWholeEntryLimit) return;
    try {
      compression::MemoryStream stored;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (HoldsStoredContent(k, storedLength)) return;
        stored.Data().resize(static_cast<size_t>(std::max<int64_t>(storedLength, 0)));
        file_.Seek(index_.EntryOffset(k), compression::SeekOrigin::Beginning);
        file_.ReadExact(stored.Data().data(), storedLength);
      }
      if (ContentBound(stored, storedLength) > kWholeEntryLimit) return;
      compression::MemoryStream output;
      slot.flags = detail::DecodeStoredEntry(stored, 0, storedLength, false, decompress_, output, archivePath_);
      slot.content = std::move(output.Data());
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
             const std::string& target)
      : archivePath_(archivePath), archive_(archive), index_(index), lookup_(index.names), target_(target) {
    const ArchiveModule& module = Module();
    answers_ = {module.OverwriteExisting, module.OverwriteReadOnly, module.OverwriteSystem};
  }

  // The entry position of the name `stored`, -1 when it is absent.
  int Find(const std::string& stored) const { return lookup_.Find(stored); }

  // Extracts entry `k` (-1: a name without an entry, passed over) as
  // target + `relative`, taking its content from `decoded` when that was
  // decoded ahead; a new file gets the permissions its `letters` imply.
  // False when the extraction must stop (cancel or failure, already
  // reported).
  bool ExtractFile(int k, const std::string& relative, const std::string& letters, const DecodedEntry& decoded);

 private:
  bool WriteEntry(size_t k, const std::string& destination, bool replacing, uint32_t permissions,
                  const DecodedEntry& decoded);
  uint8_t WriteContent(size_t k, const DecodedEntry& decoded, FileStream& output);
  static bool ReplaceWith(const std::string& temporary, const std::string& destination);
  static bool RefuseLink(const std::string& destination) {
    detail::ReportMessage("The file " + destination + " lies behind a symbolic link; it was not extracted.");
    return false;
  }

  const std::string& archivePath_;
  FileStream& archive_;
  const ArchiveIndex& index_;
  const NameLookup lookup_;
  const std::string& target_;
  OverwriteAnswers answers_;
  // The folder part ("" or ending in "\\") of the last file, once checked
  // for links and created.
  std::optional<std::string> preparedFolder_;
};

bool Extraction::ExtractFile(int k, const std::string& relative, const std::string& letters,
                             const DecodedEntry& decoded) {
  const std::string destination = sys::ToNativeSeparators(target_ + relative);
  // Names come sorted, so most files share the folder of the file before:
  // that folder was checked and made already, and one look at the file
  // itself tells whether it is a link and whether it exists.
  const std::string folder = relative.substr(0, relative.rfind('\\') + 1);
  const bool folderReady = preparedFolder_ && *preparedFolder_ == folder;
  std::optional<uint32_t> attributes;
  if (!folderReady) {
    if (CrossesLink(target_, relative)) return RefuseLink(destination);
    sys::CreateFolders(sys::ExtractFilePath(destination));
    preparedFolder_ = folder;
  }
  attributes = sys::platform::GetAttributes(destination);
  if (folderReady && attributes && (*attributes & sys::platform::kAttrLink)) return RefuseLink(destination);
  if (k < 0) return true;
  const bool exists = attributes.has_value();
  if (exists) {
    switch (ApplyOverwriteRules(answers_, destination, index_.StoredDate(static_cast<size_t>(k)))) {
      case Decision::Skip: return true;
      case Decision::Cancel: return false;
      case Decision::Replace: break;
    }
  }
  return WriteEntry(static_cast<size_t>(k), destination, exists, CreationPermissions(letters, false), decoded);
}

// A new file is written under its own name, created only if nothing has
// that name yet, so a failure removes nothing but what was written here. An
// existing file is replaced only by a complete temporary one: a decode error
// or a full disk never destroys or truncates the user's file.
bool Extraction::WriteEntry(size_t k, const std::string& destination, bool replacing, uint32_t permissions,
                            const DecodedEntry& decoded) {
  const std::string written = replacing ? detail::TemporaryBeside(destination) : destination;
  bool created = false;
  uint8_t flags = 0;
  try {
    // Created with its permissions from the start: a private file is never
    // readable by others, not even while it is written.
    FileStream output(NativePath(written), replacing ? FileStream::Mode::Create : FileStream::Mode::CreateNew,
                      permissions);
    created = true;
    flags = WriteContent(k, decoded, output);
  } catch (const DamagedArchive& error) {
    if (created) sys::RemoveFile(written);
    detail::ReportMessage(error.what());
    return false;
  } catch (const std::exception& error) {
    if (created) sys::RemoveFile(written);
    // The user knows the file by its own name, not by the temporary one.
    std::string reason = error.what();
    const std::string shown = NativePath(written);
    if (const size_t at = reason.find(shown); at != std::string::npos) reason.replace(at, shown.size(), destination);
    detail::ReportMessage("The file " + destination + " could not be extracted: " + reason);
    return false;
  }
  if (replacing && !ReplaceWith(written, destination)) return false;
  // A file created here already has a new file's attributes.
  if (replacing || !sys::platform::IsNewFileDefault(AttributesOfEntryFlags(flags))) {
    ApplyEntryFlags(destination, flags);
  }
  return true;
}

// Writes entry `k` (or what was decoded of it ahead) and its date into
// `output`; returns its flags.
uint8_t Extraction::WriteContent(size_t k, const DecodedEntry& decoded, FileStream& output) {
  uint8_t flags = decoded.flags;
  if (decoded.byWriter) {
    flags = detail::ReadStoredEntry(archive_, index_, k, false, output, archivePath_);
  } else {
    if (decoded.error) std::rethrow_exception(decoded.error);
    output.WriteExact(decoded.content.data(), static_cast<int64_t>(decoded.content.size()));
  }
  output.Flush();
  const int32_t date = index_.StoredDate(k);
  if (const auto time = date != 0 ? sys::FileTimeFromDosDateTime(date) : std::nullopt) {
    output.SetModifiedTime(time->unixSeconds);
  }
  return flags;
}

// Puts the complete `temporary` file in place of the existing destination.
bool Extraction::ReplaceWith(const std::string& temporary, const std::string& destination) {
  const std::string letters = sys::AttributeLetters(destination);
  if (letters.find_first_of("rsh") != std::string::npos) {
    sys::ApplyAttributeLetters(destination, "a");
    sys::RemoveFile(destination);
  }
  if (!sys::RenameFile(temporary, destination, true)) {
    sys::RemoveFile(temporary);
    detail::ReportMessage("The file " + destination + " could not be written.");
    return false;
  }
  return true;
}

// The names of the archive without its stub, with their letters.
void WorkList(const ArchiveIndex& index, StringList& names, StringList& letters) {
  names = index.names;
  letters = index.nameAttributes;
  if (!names.empty() && names.front() == layout::kStubName) {
    names.erase(names.begin());
    letters.erase(letters.begin());
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

// Creates a stored folder (a private one private from the start). False,
// with a message naming it, when it cannot be made (a path too long for the
// file system, say).
bool CreateFolder(const std::string& target, const std::string& folder, const std::string& letters) {
  if (CrossesLink(target, folder)) return true;
  if (sys::CreateFolders(target + folder, CreationPermissions(letters, true))) return true;
  detail::ReportMessage("The folder " + sys::ToNativeSeparators(target + folder) + " could not be created.");
  return false;
}

// Refused: damaged or unsafe, reported before anything was written.
// Cancelled also stands for a failure that stopped the run (reported).
enum class Outcome { Done, Cancelled, Refused };

// Steps after verification: read the index, check every name, create
// folders, extract files. Damage and refusals are reported here.
Outcome ExtractVerified(const std::string& archivePath, const std::string& folder, const std::string& target,
                        bool subfolders, const Progress& progress) {
  FileStream archive(NativePath(archivePath), FileStream::Mode::Read);
  ArchiveIndex index;
  try {
    index = ReadArchiveIndex(archive, archivePath);
  } catch (const DamagedArchive& error) {
    detail::ReportMessage(error.what());
    return Outcome::Refused;
  }
  StringList names, letters;
  WorkList(index, names, letters);
  StringList folders = index.folders, folderLetters = index.folderAttributes;
  FilterNamesByFolder(folder, names, letters, subfolders);
  FilterNamesByFolder(folder, folders, folderLetters, subfolders);
  if (const std::string* unsafe = FirstUnsafeName(names, folders)) {
    detail::ReportMessage("The archive " + archivePath + " holds the name \"" + folder + *unsafe +
                          "\", which would be written outside the target folder. Nothing was extracted.");
    return Outcome::Refused;
  }
  for (size_t i = 0; i < folders.size(); ++i) {
    if (!CreateFolder(target, folders[i], folderLetters[i])) return Outcome::Cancelled;
  }

  // Workers decode the entries, a window of them ahead; the files are
  // written here, in order, where the overwrite questions are asked.
  Extraction extraction(archivePath, archive, index, target);
  std::vector<int> order(names.size());
  for (size_t i = 0; i < names.size(); ++i) order[i] = extraction.Find(folder + names[i]);
  std::unique_ptr<EntryReader> reader;
  size_t window = static_cast<size_t>(compression::FilesInFlight());
  if (window > 1) reader = std::make_unique<EntryReader>(archivePath, index);
  if (reader && reader->StartsStored(order)) {
    reader.reset();
    window = 1;
  }
  std::vector<DecodedEntry> decoded(names.size());
  const auto decode = [&](size_t i) {
    if (reader && order[i] >= 0) reader->DecodeAhead(static_cast<size_t>(order[i]), decoded[i]);
    return static_cast<int64_t>(decoded[i].content.size());
  };
  const auto write = [&](size_t i) {
    const int percent = static_cast<int>((i + 1) * 100 / names.size());
    const DecodedEntry entry = std::move(decoded[i]);
    return progress.Report(names[i], percent) && extraction.ExtractFile(order[i], names[i], letters[i], entry);
  };
  const Outcome outcome =
      compression::RunInOrder(names.size(), window, compression::BytesInFlight(), decode, write)
          ? Outcome::Done
          : Outcome::Cancelled;
  // Folder attributes last: a read-only folder would refuse its files on
  // platforms where that attribute is a permission.
  for (size_t i = 0; i < folders.size(); ++i) {
    if (!CrossesLink(target, folders[i])) sys::ApplyAttributeLetters(target + folders[i], folderLetters[i]);
  }
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
  module.abort = false;
  module.lastError.clear();
  module.warnings.clear();
  if (!sys::FileExists(archivePath)) return false;
  detail::OperationDisplay display(hook, context);
  WatchedProgress verification{display.progress()};
  if (!ArchiveVerify(archivePath, WatchedProgress::Report, &verification)) {
    if (!module.abort && !verification.cancelled) detail::ReportMessage(DamagedArchiveMessage(archivePath));
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
    detail::ReportMessage(error.what());
  }
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
