// The entry-flags byte of a stored entry: the source file's attributes and
// the compressed bit (values in archive/archive_layout.h).
#pragma once

#include <cstdint>
#include <string>

namespace archive {

// The attribute bits of an existing file: 0x80 archive, 0x10 hidden, 0x20
// read-only, 0x40 system. 0 when the file does not exist.
uint8_t EntryFlagsFromFile(const std::string& path);

// The platform attribute bits (sys::platform::kAttr*) that bits 0x80, 0x10,
// 0x20 and 0x40 stand for.
uint32_t AttributesOfEntryFlags(uint8_t flags);

// Sets the file's attributes to exactly those named by bits 0x80, 0x10,
// 0x20 and 0x40 (none: a normal file). False when the file is missing or the
// platform refuses.
bool ApplyEntryFlags(const std::string& path, uint8_t flags);

// The platform attribute bits (sys::platform::kAttr*) that the letters a,
// h, r and s name; other letters are ignored.
uint32_t AttributesOfLetters(const std::string& letters);

// "d" for 0x08, "a" for 0x80, "h" for 0x10, "r" for 0x20, "s" for 0x40, in
// that order; the compressed bit adds nothing.
std::string EntryFlagsToLetters(uint8_t flags);

}  // namespace archive
