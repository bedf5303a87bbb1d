// Reading the index of an indexed archive: trailer, entry table and
// directory text (layout in archive/archive_layout.h).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/pe_image.h"
#include "compression/stream.h"

namespace archive {

using StringList = std::vector<std::string>;

// Raised when the trailer, table or directory of a file cannot describe an
// archive: values pointing outside the file, counts that disagree, entries
// running past the directory. what() is the message shown to the user:
// "There are error(s) in the file <path>."
class DamagedArchive : public sys::FailureError {
 public:
  explicit DamagedArchive(const std::string& archivePath);
  // The same message followed by `detail` (which entry, and how).
  DamagedArchive(const std::string& archivePath, const std::string& detail);
};

// The text shown for a damaged archive.
std::string DamagedArchiveMessage(const std::string& archivePath);

// Where the archive lies in a file. A stand-alone archive is the whole file.
// An installer is an executable followed by its package; once it has been
// signed, the executable's certificate table follows the package, after up
// to 7 zero bytes that align it. The package then ends before those: at the
// last trailer (ending in FormatVersion) that only zero bytes separate from
// the table. A certificate table that is not sound or not at the end of the
// file is no signature, and the archive runs to the end of the file.
struct ArchiveExtent {
  int64_t end = 0;                           // the archive's size
  std::optional<pe::ImageHeaders> image;     // set when the file is an executable
  bool signedImage = false;                  // the image carries a certificate table
  // Bytes after a sound certificate table that does not end the file (data
  // appended after signing; the file is then read as unsigned); 0 otherwise.
  int64_t bytesAfterSignature = 0;
};
ArchiveExtent FindArchiveExtent(compression::Stream& file);

// "The signature of <path> does not end the file: <bytes> bytes follow it."
std::string SignatureNotAtEndMessage(const std::string& archivePath, int64_t bytes);

// Everything the end of an archive describes, unfiltered.
struct ArchiveIndex {
  StringList names;            // stored names in entry order ("*" first when there is a stub)
  StringList nameAttributes;   // one letter string per name
  StringList folders;          // stored folder names in recorded order
  StringList folderAttributes; // one letter string per folder
  std::vector<int64_t> table;  // 2n + 1 values: offset, date, ..., directory offset
  int64_t fileSize = 0;        // the archive's size (ArchiveExtent::end)

  size_t EntryCount() const { return names.size(); }
  int64_t EntryOffset(size_t i) const { return table[2 * i]; }
  int64_t StoredLength(size_t i) const { return table[2 * i + 2] - table[2 * i]; }
  // The low 32 bits of the date value: an MS-DOS local date-time.
  int32_t StoredDate(size_t i) const { return static_cast<int32_t>(static_cast<uint32_t>(table[2 * i + 1])); }
  // Position of the first name spelt exactly as `name`, else of the first
  // that equals it ignoring ASCII letter case; -1 when absent.
  int FindName(const std::string& name) const;
};

// The positions of the names of an index for many lookups: Find(name) gives
// what ArchiveIndex::FindName does (the first exact match, else the first
// ignoring ASCII letter case), without a pass over every name per lookup.
class NameLookup {
 public:
  explicit NameLookup(const StringList& names);
  int Find(const std::string& name) const;

 private:
  std::unordered_map<std::string, int> exact_;  // name -> first position
  std::unordered_map<std::string, int> first_;  // lower-case name -> position
};

// Splits the directory text into its four lists. Items are separated by "|"
// (a trailing "|" adds none); with 4 items or fewer all outputs stay empty.
// Names lie between "@f" and "@fa", their letters between "@fa" and "@d",
// folders between "@d" and "@da", folder letters after "@da". One surplus
// letter string in either pair is dropped.
void ParseDirectory(const std::string& directory, StringList& names, StringList& nameAttributes,
                    StringList& folderAttributes, StringList& folders);

// Reads and checks the index of the archive in `file`. Throws DamagedArchive
// (naming `archivePath`) when the trailer or table points outside the file,
// the table's count disagrees with the directory's names, the letter lists
// do not match their names, or the entries are not contiguous and inside the
// space before the directory. Names and folders without the "u" letter that
// hold bytes beyond ASCII are decoded as the module's legacy code page, so
// every name comes back as UTF-8.
ArchiveIndex ReadArchiveIndex(compression::Stream& file, const std::string& archivePath);

// ReadArchiveIndex for `file` opened from `archivePath`. An installer reads
// its package's index for every step (whether it holds a package, each entry
// it takes out, its pages, the program's files): the index last read is
// kept with the file's identity and handed out again while the file stays
// as it was (sys::platform::SettledBefore).
ArchiveIndex ReadArchiveIndexOfFile(compression::Stream& file, const std::string& archivePath);

// Reads the index of the archive at `archivePath` and filters names and
// folders (with their letter lists) by `folderPrefix`: the prefix gets a
// trailing "\" and loses one leading "\" ("\" alone selects everything);
// kept entries lose the prefix. With `subfolders` an entry stays when its
// folder part begins with the prefix, otherwise when it equals it (letter
// case ignored). `table` receives the unfiltered entry table. Returns the
// number of names kept. Throws compression::StreamError when the file cannot
// be opened and DamagedArchive when its index is inconsistent.
int ArchiveReadIndex(const std::string& archivePath, const std::string& folderPrefix, bool subfolders,
                     StringList& names, StringList& nameAttributes, StringList& folders,
                     StringList& folderAttributes, std::vector<int64_t>& table);

// Normalises a folder prefix for filtering: "" stays "", otherwise a
// trailing "\" is added and one leading "\" dropped.
std::string NormaliseFolderPrefix(const std::string& folder);

// Removes from `list` (and at the same index from `parallel`) each entry whose
// folder part (up to its last "\") is not in `folder`, and shortens the kept
// ones by the folder. An empty folder keeps everything.
void FilterNamesByFolder(const std::string& folder, StringList& list, StringList& parallel, bool subfolders);

}  // namespace archive
