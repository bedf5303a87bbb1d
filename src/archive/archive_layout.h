// Byte layout of the indexed archive (".bvarc" files and installer packages).
//
// The file is read from its end; there is no header or magic at the start.
//
//   +--------------------+ offset 0
//   | stub "*" (raw)     |  optional: the installer executable itself
//   +--------------------+ table[0] or table[2]
//   | stored entries     |  flags(1) [length(8) payload(length)] ...
//   +--------------------+ table[2n] = directory offset
//   | directory text     |  DirectorySize bytes, "@f|names|@fa|...|@d|...|@da|..."
//   +--------------------+ size - 32 - 8 * TableCount
//   | entry table        |  TableCount = 2n + 1 int64 values:
//   |                    |  [2i] offset of entry i, [2i+1] its DOS date, [2n] dir offset
//   +--------------------+ size - 32
//   | trailer            |  TableCount, DirectorySize, Checksum, FormatVersion (int64 each)
//   +--------------------+ size
//
// All integers are little-endian. Reader and writer share these constants.
#pragma once

#include <cstdint>
#include <string_view>

namespace archive::layout {

// Trailer: four int64 values at the very end of the file.
inline constexpr int64_t kTrailerSize = 32;
inline constexpr int64_t kTrailerTableCount = 0;     // offsets inside the trailer
inline constexpr int64_t kTrailerDirectorySize = 8;
inline constexpr int64_t kTrailerChecksum = 16;
inline constexpr int64_t kTrailerFormatVersion = 24;
// The checksum field measured from the end of the file (also from the end
// for the checksum pass, which never covers the last 16 bytes).
inline constexpr int64_t kChecksumFromEnd = kTrailerSize - kTrailerChecksum;
inline constexpr int64_t kFormatVersion = 1;

// Entry table: int64 values.
inline constexpr int64_t kTableValueSize = 8;

// Stored entry (every entry except the stub).
inline constexpr int64_t kEntryFlagsOffset = 0;
inline constexpr int64_t kEntryLengthOffset = 1;
inline constexpr int64_t kEntryPayloadOffset = 9;
// An empty file that took the compression path is the flags byte alone.
inline constexpr int64_t kEmptyEntrySize = 1;
// A raw entry is the flags byte, the int64 length and the bytes.
inline constexpr int64_t kRawEntryOverhead = kEntryPayloadOffset;

// Entry flags byte.
inline constexpr uint8_t kFlagCompressed = 0x01;
inline constexpr uint8_t kFlagFolder = 0x08;     // "d"
inline constexpr uint8_t kFlagHidden = 0x10;     // "h"
inline constexpr uint8_t kFlagReadOnly = 0x20;   // "r"
inline constexpr uint8_t kFlagSystem = 0x40;     // "s"
inline constexpr uint8_t kFlagArchive = 0x80;    // "a"
inline constexpr uint8_t kAttributeFlags = kFlagHidden | kFlagReadOnly | kFlagSystem | kFlagArchive;

// Directory text.
inline constexpr char kDirectorySeparator = '|';
inline constexpr std::string_view kMarkerNames = "@f";
inline constexpr std::string_view kMarkerNameAttributes = "@fa";
inline constexpr std::string_view kMarkerFolders = "@d";
inline constexpr std::string_view kMarkerFolderAttributes = "@da";
// The stored name of the stub entry.
inline constexpr std::string_view kStubName = "*";

// Checksum: 32-bit little-endian words summed modulo 2^32 - 1; the last four
// whole words (checksum and format version) are not covered.
inline constexpr uint64_t kChecksumModulus = 0xFFFFFFFFull;
inline constexpr int64_t kChecksumUncoveredWords = 4;

}  // namespace archive::layout
