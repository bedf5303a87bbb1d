#include "system/private_folder.h"

#include "system/paths.h"
#include "system/platform.h"

namespace sys {

namespace {

// Names tried before giving up: a taken name is a coincidence or someone's
// attempt, and a handful of fresh ones settles either.
constexpr int kNameAttempts = 16;
constexpr size_t kRandomBytes = 8;

bool IsLinkOrMissing(const std::string& path) {
  const auto attributes = platform::GetAttributes(path);
  return !attributes || (*attributes & platform::kAttrLink);
}

}  // namespace

std::string CreateUniqueFolder(const std::string& parent, std::string_view prefix) {
  if (parent.empty()) return {};
  const std::string base = IncludeTrailingSeparator(parent) + std::string(prefix);
  static const char kDigits[] = "0123456789abcdef";
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    unsigned char random[kRandomBytes];
    if (!platform::RandomBytes(random, sizeof random)) return {};
    std::string path = base;
    for (unsigned char byte : random) {
      path += kDigits[byte >> 4];
      path += kDigits[byte & 0x0F];
    }
    if (platform::CreatePrivateFolder(path)) return IncludeTrailingSeparator(path);
    // Only a taken name is worth another try; a missing or closed parent
    // refuses every name.
    if (!platform::GetAttributes(path)) return {};
  }
  return {};
}

void EmptyOwnFolder(const std::string& folder) {
  const std::string dir = IncludeTrailingSeparator(folder);
  if (IsLinkOrMissing(ExcludeTrailingSeparator(dir))) return;
  platform::FolderSearch search(dir, "*.*");
  platform::FoundEntry entry;
  while (search.Next(entry)) {
    if (entry.name == "." || entry.name == "..") continue;
    const std::string path = dir + entry.name;
    // A link goes as a link: its target, and the target's attributes, are
    // not ours.
    if (entry.attributes & platform::kAttrLink) {
      platform::RemoveFile(path);
      continue;
    }
    // Read-only would keep a file, or the files of a folder, in place.
    if (entry.attributes & platform::kAttrReadOnly) platform::SetAttributes(path, 0);
    if (entry.attributes & platform::kAttrDirectory) {
      EmptyOwnFolder(path);
      platform::RemoveFolder(path);
    } else {
      platform::RemoveFile(path);
    }
  }
}

void RemoveOwnFolder(const std::string& folder) {
  const std::string path = ExcludeTrailingSeparator(folder);
  if (path.empty()) return;
  const auto attributes = platform::GetAttributes(path);
  if (!attributes) return;
  if (*attributes & platform::kAttrLink) {
    platform::RemoveFile(path);
    return;
  }
  EmptyOwnFolder(path);
  platform::RemoveFolder(path);
}

}  // namespace sys
