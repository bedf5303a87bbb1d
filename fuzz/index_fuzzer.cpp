// The index reader and the directory parser alone, in memory (no files):
//
// 1. The bytes as a whole archive: ReadArchiveIndex either refuses them as
//    damaged or returns an index whose every entry lies inside the space
//    before the directory, with one letter string per name and per folder.
// 2. The bytes as a directory text, wrapped in a well-formed archive of
//    one-byte entries (one per parsed name): the reader must accept it
//    exactly when the letter lists match their names and folders, and give
//    back what ParseDirectory gave.
//
// Lookups and folder filtering then run over whatever was read. A
// DamagedArchive or a stream error is a clean refusal; a crash, a read out of
// bounds, an allocation sized by an unchecked count or a broken invariant is
// not.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "archive/archive_index.h"
#include "archive/archive_layout.h"
#include "archive/letters.h"
#include "archive/names.h"
#include "compression/stream.h"
#include "system/byte_order.h"

namespace {

using archive::ArchiveIndex;
using archive::StringList;
namespace layout = archive::layout;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// What an accepted index promises its users.
void CheckIndex(const ArchiveIndex& index) {
  const size_t n = index.EntryCount();
  Check(index.table.size() == 2 * n + 1);
  Check(index.nameAttributes.size() == n);
  Check(index.folderAttributes.size() == index.folders.size());
  const int64_t directoryOffset = index.table[2 * n];
  Check(directoryOffset >= 0 && directoryOffset <= index.fileSize - layout::kTrailerSize);
  for (size_t i = 0; i < n; ++i) {
    Check(index.EntryOffset(i) >= 0 && index.StoredLength(i) >= 0);
    Check(index.EntryOffset(i) + index.StoredLength(i) <= directoryOffset);
  }
}

// Lookups and filters over an accepted index, as the extraction runs them.
void UseIndex(const ArchiveIndex& index) {
  for (const std::string& name : index.names) {
    const int k = index.FindName(name);
    Check(k >= 0 && static_cast<size_t>(k) < index.EntryCount());
    archive::IsSafeStoredName(name);
  }
  for (const std::string& folder : index.folders) archive::IsSafeStoredName(folder);
  std::vector<std::string> prefixes{"\\", ""};
  if (!index.folders.empty()) prefixes.push_back(index.folders.front());
  for (const std::string& raw : prefixes) {
    const std::string prefix = archive::NormaliseFolderPrefix(raw);
    for (bool subfolders : {false, true}) {
      StringList names = index.names, letters = index.nameAttributes;
      archive::FilterNamesByFolder(prefix, names, letters, subfolders);
      Check(names.size() <= index.names.size() && names.size() == letters.size());
      StringList folders = index.folders, folderLetters = index.folderAttributes;
      archive::FilterNamesByFolder(prefix, folders, folderLetters, subfolders);
      Check(folders.size() == folderLetters.size());
    }
  }
}

std::string Int64Bytes(int64_t value) {
  uint8_t bytes[8];
  sys::StoreI64(bytes, value);
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// A consistent archive around `directory`: one empty-file entry (the flags
// byte alone) per name the text parses to.
std::string WrapDirectory(const std::string& directory, size_t names) {
  std::string file(names, '\x80');
  std::string table;
  for (size_t i = 0; i < names; ++i) table += Int64Bytes(static_cast<int64_t>(i)) + Int64Bytes(0);
  table += Int64Bytes(static_cast<int64_t>(names));
  file += directory + table;
  file += Int64Bytes(static_cast<int64_t>(2 * names + 1)) + Int64Bytes(static_cast<int64_t>(directory.size()));
  file += Int64Bytes(0) + Int64Bytes(layout::kFormatVersion);
  return file;
}

void ReadWholeFile(const uint8_t* data, size_t size) {
  compression::MemoryStream file(std::vector<uint8_t>(data, data + size));
  try {
    const ArchiveIndex index = archive::ReadArchiveIndex(file, "fuzz.bvarc");
    CheckIndex(index);
    UseIndex(index);
  } catch (const archive::DamagedArchive&) {
  } catch (const compression::StreamError&) {
  }
}

void ReadAsDirectory(const uint8_t* data, size_t size) {
  const std::string directory(reinterpret_cast<const char*>(data), size);
  StringList names, nameAttributes, folderAttributes, folders;
  archive::ParseDirectory(directory, names, nameAttributes, folderAttributes, folders);
  const bool matching = names.size() == nameAttributes.size() && folders.size() == folderAttributes.size();
  // The index hands out names as UTF-8: legacy 8-bit names are decoded.
  if (matching) {
    for (size_t i = 0; i < names.size(); ++i) names[i] = archive::StoredNameAsUtf8(names[i], nameAttributes[i], 0);
    for (size_t i = 0; i < folders.size(); ++i) {
      folders[i] = archive::StoredNameAsUtf8(folders[i], folderAttributes[i], 0);
    }
  }
  compression::MemoryStream file(WrapDirectory(directory, names.size()));
  try {
    const ArchiveIndex index = archive::ReadArchiveIndex(file, "fuzz.bvarc");
    Check(matching);
    Check(index.names == names && index.nameAttributes == nameAttributes);
    Check(index.folders == folders && index.folderAttributes == folderAttributes);
    CheckIndex(index);
    UseIndex(index);
  } catch (const archive::DamagedArchive&) {
    Check(!matching);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Indexes of a few hundred kilobytes reach every path and stay quick.
  if (size > (256 << 10)) return 0;
  ReadWholeFile(data, size);
  ReadAsDirectory(data, size);
  return 0;
}
