// The attribute letters an archive records beyond a, d, h, r and s, in this
// fixed order after them (docs/archive-format.md):
//   u  the stored name is UTF-8 (without it, legacy 8-bit text)
//   x  the file is executable (files only: a folder's search permission is
//      implied by its being a folder)
//   p  the file or folder is private: no access for group or others
// Readers that know only a, d, h, r, s ignore them, so an archive of ASCII
// names without executable or private files is byte for byte what it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace archive {

inline constexpr char kLetterUtf8 = 'u';
inline constexpr char kLetterExecutable = 'x';
inline constexpr char kLetterPrivate = 'p';

// True when `text` holds no byte of 0x80 or above.
bool IsAsciiText(std::string_view text);
// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8Text(std::string_view text);

// The letters the writer records for the file or folder at `path` stored
// as `storedName`: its attribute letters (a, d, h, r, s), then "u" when the
// name is UTF-8 beyond ASCII, "x" for an executable file and "p" for a
// private one, where the platform keeps such permissions.
std::string RecordedLetters(const std::string& path, const std::string& storedName, bool isFolder);

// The permission bits (POSIX, before the umask) a file or folder extracted
// with `letters` is created with: read and write for all, execute with "x"
// (folders always), no write with "r", the owner alone with "p". They never
// grant more than the letters say, so nothing extracted is wider than what
// was packed.
uint32_t CreationPermissions(std::string_view letters, bool isFolder);

// A stored name (file or folder) as UTF-8: as it is with "u" among its
// letters or when it is ASCII, else decoded from legacy 8-bit text with
// `codePage` (0: the platform's own, see sys::platform::DecodeLegacyText).
std::string StoredNameAsUtf8(const std::string& name, std::string_view letters, int codePage);

}  // namespace archive
