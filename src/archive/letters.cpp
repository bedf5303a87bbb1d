#include "archive/letters.h"

#include "system/files.h"
#include "system/platform.h"

namespace archive {

namespace {

constexpr uint32_t kGroupAndOthers = 077;
constexpr uint32_t kExecuteBits = 0111;
constexpr uint32_t kWriteBits = 0222;

bool HasLetter(std::string_view letters, char letter) { return letters.find(letter) != std::string_view::npos; }

}  // namespace

bool IsAsciiText(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool IsUtf8Text(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    char32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    const char32_t smallest = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0x80;
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string RecordedLetters(const std::string& path, const std::string& storedName, bool isFolder) {
  std::string letters = sys::AttributeLetters(path);
  // A name that is not UTF-8 (bytes of some 8-bit page in a POSIX name) goes
  // in as legacy text, which is what readers take a name without "u" for.
  if (!IsAsciiText(storedName) && IsUtf8Text(storedName)) letters += kLetterUtf8;
  if (const auto permissions = sys::platform::GetPermissions(path)) {
    if (!isFolder && (*permissions & kExecuteBits)) letters += kLetterExecutable;
    if ((*permissions & kGroupAndOthers) == 0) letters += kLetterPrivate;
  }
  return letters;
}

uint32_t CreationPermissions(std::string_view letters, bool isFolder) {
  uint32_t permissions = isFolder ? sys::platform::kDefaultFolderPermissions : sys::platform::kDefaultFilePermissions;
  if (!isFolder && HasLetter(letters, kLetterExecutable)) permissions |= kExecuteBits;
  // A read-only folder still takes its files; its attribute is applied last.
  if (!isFolder && HasLetter(letters, 'r')) permissions &= ~kWriteBits;
  if (HasLetter(letters, kLetterPrivate)) permissions &= ~kGroupAndOthers;
  return permissions;
}

std::string StoredNameAsUtf8(const std::string& name, std::string_view letters, int codePage) {
  if (IsAsciiText(name) || HasLetter(letters, kLetterUtf8)) return name;
  return sys::platform::DecodeLegacyText(name, codePage);
}

}  // namespace archive
