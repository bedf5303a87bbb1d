// Single-entry operations: extracting, reading and listing without
// verification of the whole archive.
#include <memory>

#include "archive/archive_layout.h"
#include "archive/entry_flags.h"
#include "archive/names.h"
#include "archive/operation.h"
#include "system/byte_order.h"
#include "system/file_dates.h"
#include "system/files.h"
#include "system/platform.h"
#include "system/text.h"

namespace archive {

using compression::FileStream;
using compression::MemoryStream;
using compression::Stream;

namespace {

// The single-entry lookup: the archive opened, its index read and the
// position of the name (one leading "\" dropped, letter case ignored).
struct EntryLookup {
  std::unique_ptr<FileStream> archive;
  ArchiveIndex index;
  int k = -1;
  bool isStub = false;
};

EntryLookup FindEntry(const std::string& archivePath, const std::string& storedName) {
  const std::string name = !storedName.empty() && storedName.front() == '\\' ? storedName.substr(1) : storedName;
  EntryLookup lookup;
  lookup.archive = std::make_unique<FileStream>(sys::platform::NativePath(archivePath), FileStream::Mode::Read);
  lookup.index = ReadArchiveIndexOfFile(*lookup.archive, archivePath);
  lookup.k = lookup.index.FindName(name);
  lookup.isStub = name == layout::kStubName;
  return lookup;
}

struct EntryRead {
  int32_t date = 0;
  std::string letters;
};

EntryRead ReadEntry(const EntryLookup& lookup, Stream& output, const std::string& archivePath) {
  const auto k = static_cast<size_t>(lookup.k);
  const uint8_t flags = detail::ReadStoredEntry(*lookup.archive, lookup.index, k, lookup.isStub, output, archivePath);
  return {lookup.index.StoredDate(k), lookup.isStub ? "a" : EntryFlagsToLetters(flags)};
}

void WriteTail(Stream& output, int64_t tail) {
  uint8_t bytes[8];
  sys::StoreI64(bytes, tail);
  output.Seek(0, compression::SeekOrigin::End);
  output.WriteExact(bytes, sizeof bytes);
}

}  // namespace

bool ArchiveExtractEntry(const std::string& archivePath, const std::string& storedName,
                         const std::string& targetFile, int64_t tail) {
  const EntryLookup lookup = FindEntry(archivePath, storedName);
  if (lookup.k < 0) return false;
  // The folder is opened once and the bytes go to a file created
  // exclusively under an unpredictable name in it, which takes the target's
  // name only when complete: an entry that fails to decode leaves an
  // existing target as it was, and no link planted in the folder meanwhile
  // is ever written through.
  const size_t nameStart = targetFile.find_last_of(sys::platform::kPathDelimiters);
  const std::string folderPath = nameStart == std::string::npos ? std::string() : targetFile.substr(0, nameStart + 1);
  const std::string name = targetFile.substr(nameStart == std::string::npos ? 0 : nameStart + 1);
  sys::platform::FolderHandle folder;
  std::string reason;
  if (!folder.Open(folderPath, reason)) {
    throw compression::StreamError("Cannot open file \"" + targetFile + "\". " + reason);
  }
  const std::string temporary = sys::platform::UnpredictableTemporaryName();
  std::unique_ptr<FileStream> output =
      std::make_unique<FileStream>(folder, temporary, sys::platform::NativePath(folder.Path() + temporary), 0666);
  try {
    const EntryRead entry = ReadEntry(lookup, *output, archivePath);
    if (tail != 0) WriteTail(*output, tail);
    output->Flush();
    if (entry.date != 0) {
      if (const auto time = sys::FileTimeFromDosDateTime(entry.date)) output->SetModifiedTime(time->unixSeconds);
    }
    output->SetAttributes(AttributesOfLetters(entry.letters));
    output.reset();
  } catch (...) {
    output.reset();
    folder.RemoveFile(temporary);
    throw;
  }
  if (!folder.Rename(temporary, name, true)) {
    folder.RemoveFile(temporary);
    throw compression::StreamError("Cannot open file \"" + targetFile + "\".", targetFile);
  }
  return true;
}

int64_t EntryContentSize(Stream& archive, const ArchiveIndex& index, size_t k, const std::string& archivePath) {
  const int64_t storedLength = index.StoredLength(k);
  if (index.names[k] == layout::kStubName) return storedLength;
  if (!detail::EntryHasContent(storedLength)) return 0;
  if (storedLength < layout::kRawEntryOverhead) throw DamagedArchive(archivePath);
  uint8_t head[layout::kRawEntryOverhead];
  archive.Seek(index.EntryOffset(k), compression::SeekOrigin::Beginning);
  archive.ReadExact(head, sizeof head);
  const int64_t length = sys::LoadI64(head + layout::kEntryLengthOffset);
  if (length < 0 || length > storedLength - layout::kRawEntryOverhead) throw DamagedArchive(archivePath);
  if (!(head[0] & layout::kFlagCompressed) || !Module().decompressHook) return length;
  archive.Seek(index.EntryOffset(k) + layout::kEntryLengthOffset, compression::SeekOrigin::Beginning);
  return compression::ExpandedSize(archive);
}

void DecodeEntry(Stream& archive, const ArchiveIndex& index, size_t k, Stream& output,
                 const std::string& archivePath) {
  detail::ReadStoredEntry(archive, index, k, index.names[k] == layout::kStubName, output, archivePath);
}

int32_t ArchiveReadEntry(const std::string& archivePath, const std::string& storedName, Stream& output,
                         std::string& letters) {
  const EntryLookup lookup = FindEntry(archivePath, storedName);
  if (lookup.k < 0) return 0;
  const EntryRead entry = ReadEntry(lookup, output, archivePath);
  letters = entry.letters;
  return entry.date;
}

bool ArchiveReadTextEntry(const std::string& archivePath, const std::string& storedName, StringList& lines) {
  lines.clear();
  MemoryStream content;
  std::string letters;
  ArchiveReadEntry(archivePath, storedName, content, letters);
  lines = sys::SplitLines(content.ToString());
  return content.Size() > 0;
}

int ArchiveListFolders(const std::string& archivePath, const std::string& folderPrefix, StringList& folders) {
  StringList names, nameAttributes, folderAttributes;
  std::vector<int64_t> table;
  return ArchiveReadIndex(archivePath, folderPrefix, false, names, nameAttributes, folders, folderAttributes,
                          table);
}

}  // namespace archive
