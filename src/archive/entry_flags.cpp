#include "archive/entry_flags.h"

#include "archive/archive_layout.h"
#include "system/platform.h"

namespace archive {

namespace platform = sys::platform;

namespace {

struct FlagAttribute {
  uint8_t flag;
  uint32_t attribute;
};

constexpr FlagAttribute kFlagAttributes[] = {
    {layout::kFlagArchive, platform::kAttrArchive},
    {layout::kFlagHidden, platform::kAttrHidden},
    {layout::kFlagReadOnly, platform::kAttrReadOnly},
    {layout::kFlagSystem, platform::kAttrSystem},
};

}  // namespace

uint8_t EntryFlagsFromFile(const std::string& path) {
  const auto attributes = platform::GetAttributes(path);
  if (!attributes || (*attributes & platform::kAttrDirectory)) return 0;
  uint8_t flags = 0;
  for (const auto& pair : kFlagAttributes) {
    if (*attributes & pair.attribute) flags |= pair.flag;
  }
  return flags;
}

uint32_t AttributesOfEntryFlags(uint8_t flags) {
  uint32_t attributes = 0;
  for (const auto& pair : kFlagAttributes) {
    if (flags & pair.flag) attributes |= pair.attribute;
  }
  return attributes;
}

bool ApplyEntryFlags(const std::string& path, uint8_t flags) {
  const auto attributes = platform::GetAttributes(path);
  if (!attributes || (*attributes & platform::kAttrDirectory)) return false;
  return platform::SetAttributes(path, AttributesOfEntryFlags(flags));
}

uint32_t AttributesOfLetters(const std::string& letters) {
  uint32_t attributes = 0;
  if (letters.find('a') != std::string::npos) attributes |= platform::kAttrArchive;
  if (letters.find('h') != std::string::npos) attributes |= platform::kAttrHidden;
  if (letters.find('r') != std::string::npos) attributes |= platform::kAttrReadOnly;
  if (letters.find('s') != std::string::npos) attributes |= platform::kAttrSystem;
  return attributes;
}

std::string EntryFlagsToLetters(uint8_t flags) {
  std::string letters;
  if (flags & layout::kFlagFolder) letters += 'd';
  if (flags & layout::kFlagArchive) letters += 'a';
  if (flags & layout::kFlagHidden) letters += 'h';
  if (flags & layout::kFlagReadOnly) letters += 'r';
  if (flags & layout::kFlagSystem) letters += 's';
  return letters;
}

}  // namespace archive
