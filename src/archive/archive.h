// The archive engine's operations: writing an indexed archive from a folder
// or a list of source items, extracting all of it, a folder of it or one
// entry, reading an entry into memory and listing its folders.
//
// Module state (codec, overwrite defaults, abort flag, the window) lives for
// the whole program and is set by the caller before an operation. Operations
// given no progress hook show the module's window (see ArchiveDialog) as
// their progress display and close with its success or failure message.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_dialog.h"
#include "archive/archive_index.h"
#include "archive/case_collisions.h"
#include "archive/progress.h"
#include "compression/stream.h"
#include "compression/stream_callbacks.h"
#include "system/failure.h"

namespace archive {

// Writes an int64 length and that many bytes of container at the archive's
// position; returns length + 8.
using CompressHook = compression::CompressCallback;
// Reads such a record at the archive's position and writes the file's bytes.
using DecompressHook = compression::ExpandCallback;

// Files larger than this (bytes) are stored raw.
inline constexpr int64_t kCompressionSizeLimit = 64'000'000;
// The extensions stored without compression, as the window's list is made.
inline constexpr const char* kNoCompressExtensions = "jpg|jpeg|png|zip|rar|bvarc|sfs";
// The attribute filter every caller uses: all files and folders, descending.
inline constexpr const char* kAllEntriesFilter = "adhrs/";

// Told by an extraction of what it is about to create or replace, so that
// its caller can record it first (an installation's log, a backup of a file
// before it is replaced). Every call comes before the change it announces.
class ExtractionWatcher {
 public:
  virtual ~ExtractionWatcher() = default;
  // `folder` (native separators) and its missing parents are about to be created.
  virtual void BeforeFolder(const std::string& folder) = 0;
  // True when the existing `destination` is to be replaced whatever the
  // overwrite rules would answer.
  virtual bool ReplaceAlways(const std::string& destination) = 0;
  // `destination` is about to be written; `replacing` when a file of that
  // name exists. False stops the extraction as failed (the watcher has
  // recorded why in the module's lastError).
  virtual bool BeforeWrite(const std::string& destination, bool replacing) = 0;
  // The new files `destinations` are coming next, each in a folder this
  // extraction made, where nothing else has their names: a watcher may
  // record them all now, with one write, instead of one by one in
  // BeforeWrite. False stops the extraction as failed (as BeforeWrite).
  virtual bool Announce(const std::vector<std::string>& destinations) {
    (void)destinations;
    return true;
  }
  // `destination` took its name holding `bytes` bytes.
  virtual void AfterWrite(const std::string& destination, int64_t bytes) {
    (void)destination;
    (void)bytes;
  }
};

struct ArchiveModule {
  std::string modeName;
  CompressHook compressHook = nullptr;
  DecompressHook decompressHook = nullptr;
  // Answer codes copied into every extraction as its starting answers.
  int OverwriteExisting = kNotAsked;
  int OverwriteReadOnly = kNotAsked;
  int OverwriteSystem = kNotAsked;
  // Set by the window's Abort and Cancel and by a failed operation.
  bool abort = false;
  // The progress and question window; null until the application makes one.
  // Without it, nothing is displayed and overwrite questions answer "No".
  ArchiveDialog* dialog = nullptr;
  // The text of the last message an operation reported (also when no window
  // could show it); cleared when an operation starts.
  std::string lastError;
  // Told of every folder and file an extraction creates or replaces; null
  // when nobody asked.
  ExtractionWatcher* watcher = nullptr;
  // What writing an archive does with names that differ only in letter case.
  CaseCollisions caseCollisions = CaseCollisions::Error;
  // The most bytes one extraction may write, checked against the sizes the
  // entries declare before anything is written; below 0: the free space of
  // the target folder.
  int64_t maxExtractBytes = -1;
  // A seam for tests: called after each file an extraction has written,
  // with their count so far (a test may change the target's folders there).
  // The program never installs one.
  std::function<void(size_t filesWritten)> afterFileWritten;
  // Why the last operation failed (kind, file or folder, message); a
  // cancel is recorded too. Cleared when an operation starts.
  sys::Failure failure;
  // What an operation that succeeded left out, one message per source
  // naming it; cleared when an operation starts. The window's closing
  // message then says "Completed with N warnings".
  StringList warnings;
  // The code page of stored names without the "u" letter; 0: the
  // platform's own (Windows: ANSI, elsewhere Windows-1252).
  int legacyCodePage = 0;
  // Archives written record the SHA-256 of every entry's content in an
  // entry of their own (see content_hashes.h); set by the caller.
  bool contentHashes = false;
};

// The one module state of the program.
ArchiveModule& Module();

// Stores the mode name used for writing and the two codec callbacks.
void ArchiveSetCodec(const std::string& modeName, CompressHook compressHook, DecompressHook decompressHook);

// ArchiveSetCodec with the compression layer's own stream callbacks, the
// pair every operation of the program writes and reads with; `modeName`
// picks the codec as CompressionLevelFromName reads it.
void ArchiveSetStreamCodec(const std::string& modeName);

// Passes the window title, closing messages and progress step to the window.
void ArchiveSetMessages(const std::string& title, const std::string& successMessage,
                        const std::string& failureMessage, int progressStep);

// Writes the archive at `archivePath` from the top-level files and folders
// of `folder` (see ArchiveCreate). False, writing nothing, when the folder
// lists nothing. `reserved` is accepted and unused.
bool ArchiveCreateFromFolder(const std::string& archivePath, const std::string& folder,
                             const std::string& attributeFilter, ProgressHook hook, void* context,
                             const std::string& stubPath, int64_t reserved = 0);

// A source item: the path of a file or folder relative to the base folder,
// and the name it is stored under.
struct SourceItem {
  std::string source;
  std::string stored;
  bool hadEquals = false;  // given as "source=stored"
  // The item as text: "source", or "source=stored" when it had "=".
  std::string Text() const { return hadEquals ? source + "=" + stored : source; }
};

// Splits an item at its first "=": "a=b" gives ("a", "b", true), "a" gives
// ("a", "a", false).
SourceItem SplitItem(const std::string& item);
// The same for an item given by a caller, whose names may hold "=" too: it
// is split at the first "=" only when the text before it exists below
// `baseFolder` as given; otherwise the whole text is the source's name.
SourceItem SplitItem(const std::string& item, const std::string& baseFolder);

// The files (F) and folders (D) that a list of source items stands for.
struct ExpandedItems {
  std::vector<SourceItem> files;
  std::vector<SourceItem> folders;  // "folder\" items (possibly with a stored part), and those below them
  // Entries found below a folder item that cannot be stored, by name.
  StringList warnings;
};

// Turns source items relative to `baseFolder` into files and folders: a
// folder item stands for every file and folder below it (filtered by the
// file and folder filters derived from `attributeFilter`), mapped to the
// item's stored part; names found there are taken whole, "=" and all. Both
// lists end sorted by their item text ignoring letter case. A listed name
// holding "\" where that is no separator (POSIX) is left out with a
// warning: the archive would read it as a folder.
ExpandedItems ExpandItems(const std::string& baseFolder, const std::vector<SourceItem>& items,
                          const std::string& attributeFilter);
// The same for items as text, each split by SplitItem(item, baseFolder).
ExpandedItems ExpandItems(const std::string& baseFolder, const StringList& items,
                          const std::string& attributeFilter);

// The message of a run that completed with warnings: "Completed with N
// warnings:" and the first of them, one per line.
std::string WarningsSummary(const StringList& warnings);

// Writes an indexed archive: the stub first (when `stubPath` is not empty),
// then every file of the expanded items, compressed through the compress
// hook unless larger than kCompressionSizeLimit or on the no-compress list.
// What cannot be packed as a file is left out by name and recorded in the
// module's warnings, never opened: a pipe, socket or device, a symbolic link
// to nothing, a POSIX name holding "\". The archive is still written.
// A cancel, a source that cannot be read, a name that cannot be stored or a
// failed checksum pass deletes the partial archive and returns false (with
// the window, its failure message; a source that cannot be read is named in
// a message). `reserved` is accepted and unused.
bool ArchiveCreate(const std::string& archivePath, const std::string& baseFolder, const StringList& items,
                   const std::string& attributeFilter, const std::string& stubPath, ProgressHook hook,
                   void* context, int64_t reserved = 0);
// The same with the items given as one "|"-separated string.
bool ArchiveCreate(const std::string& archivePath, const std::string& baseFolder, const std::string& items,
                   const std::string& attributeFilter, const std::string& stubPath, ProgressHook hook,
                   void* context, int64_t reserved = 0);

// Verifies the archive, then extracts the names under `folder` ("\" for
// all; with `subfolders` also those below it) into `targetFolder`, applying
// the overwrite rules to existing files. Existing files are replaced through
// a temporary file, so a failure never leaves one half-written. A damaged
// archive, a stored name that would leave the target, or a symbolic link in
// the way is refused with a message and nothing (further) is written.
// False for a missing archive, a refusal or a cancel.
bool ArchiveExtractFolder(const std::string& archivePath, const std::string& folder,
                          const std::string& targetFolder, bool subfolders, ProgressHook hook, void* context);

// ArchiveExtractFolder of "\" with sub-folders: every entry but the stub.
bool ArchiveExtractAll(const std::string& archivePath, const std::string& targetFolder, ProgressHook hook,
                       void* context);

// Writes the entry `storedName` (one leading "\" ignored, letter case
// ignored) to `targetFile`, followed by `tail` as an int64 when it is not 0;
// then sets its date and attributes. False, creating nothing, when the name
// is absent. Does not verify the archive; throws compression::StreamError
// when it cannot be opened and DamagedArchive when its index or the entry is
// inconsistent.
bool ArchiveExtractEntry(const std::string& archivePath, const std::string& storedName,
                         const std::string& targetFile, int64_t tail);

// Writes the entry's bytes at the output's position; `letters` receives its
// attribute letters. Returns its stored date, 0 when the name is absent.
// Throws as ArchiveExtractEntry.
int32_t ArchiveReadEntry(const std::string& archivePath, const std::string& storedName,
                         compression::Stream& output, std::string& letters);

// The number of bytes entry `k` of `index` expands to, as the archive
// declares it: the stub's length, a raw entry's length field, or the sum of
// a compressed entry's block sizes from its container's headers. Nothing is
// decoded, so the cost is a few small reads per entry whatever the entry
// claims. Throws DamagedArchive (naming `archivePath`) when the entry's own
// length field disagrees with its stored length.
int64_t EntryContentSize(compression::Stream& archive, const ArchiveIndex& index, size_t k,
                         const std::string& archivePath);

// Decodes entry `k` of `index` from the open `archive` into `output` (the
// stub raw), as extraction would write it. Throws as ArchiveExtractEntry and
// with the codec's errors.
void DecodeEntry(compression::Stream& archive, const ArchiveIndex& index, size_t k, compression::Stream& output,
                 const std::string& archivePath);

// Reads the entry as text lines into `lines` (cleared first). True when the
// entry held at least one byte. Throws as ArchiveExtractEntry.
bool ArchiveReadTextEntry(const std::string& archivePath, const std::string& storedName, StringList& lines);

// The folders directly in `folderPrefix`, prefix removed, into `folders`;
// returns the number of names directly in it. "\" (or "") gives every folder
// and the number of all names. Throws as ArchiveExtractEntry.
int ArchiveListFolders(const std::string& archivePath, const std::string& folderPrefix, StringList& folders);

}  // namespace archive
