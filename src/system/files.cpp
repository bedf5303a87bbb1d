#include "system/files.h"

#include <vector>

#include "system/paths.h"
#include "system/platform.h"
#include "system/text.h"

namespace sys {
namespace {

using platform::FoundEntry;

// The attributes that a search filters on: an entry is returned only when
// each of these bits that it has is also in the search mask. Other bits
// (read-only, archive) never hide an entry.
constexpr uint32_t kFilteredAttributes = platform::kAttrHidden | platform::kAttrSystem |
                                         platform::kAttrVolume | platform::kAttrDirectory;

// Entries per folder between two calls of the message pump.
constexpr int kPumpInterval = 128;

std::function<void()>& MessagePump() {
  static std::function<void()> pump;
  return pump;
}

bool HasLetter(std::string_view letters, char letter) {
  return letters.find(letter) != std::string_view::npos;
}

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

bool PassesSearchMask(uint32_t attributes, uint32_t mask) {
  return (attributes & kFilteredAttributes & ~mask) == 0;
}

// What a set of attribute letters asks a listing for.
struct ListOptions {
  uint32_t mask;
  bool descend, fullPaths, hidden, files;
  explicit ListOptions(std::string_view letters)
      : mask(AttributeMask(letters)),
        descend(HasLetter(letters, '/')),
        fullPaths(HasLetter(letters, 'p')),
        hidden(HasLetter(letters, 'h')),
        files(HasLetter(letters, 'r') || HasLetter(letters, 'a') || HasLetter(letters, 's')) {}
};

// ListFolder's walk; `isFolder` receives, in step with `list`, whether each
// added entry is a folder.
void ListInto(StringList& list, std::vector<bool>& isFolder, const std::string& folder,
              const ListOptions& options, const std::string& fileMask,
              const std::string& relativePrefix) {
  const std::string dir = IncludeTrailingSeparator(folder);
  const std::string base = options.fullPaths ? dir : relativePrefix;
  platform::FolderSearch search(dir, fileMask);
  FoundEntry entry;
  int seen = 0;
  while (search.Next(entry)) {
    if (++seen % kPumpInterval == 0 && MessagePump()) MessagePump()();
    if (IsDotEntry(entry.name) || !PassesSearchMask(entry.attributes, options.mask)) continue;
    const bool hidden = entry.attributes & platform::kAttrHidden;
    if (hidden && !options.hidden) continue;
    if (entry.attributes & platform::kAttrDirectory) {
      list.push_back(base + entry.name);
      isFolder.push_back(true);
      // A linked folder is listed but not entered: links may form loops.
      if (options.descend && !(entry.attributes & platform::kAttrLink))
        ListInto(list, isFolder, dir + entry.name, options, fileMask,
                 relativePrefix + entry.name + PathSeparator());
    } else if (options.files) {
      list.push_back(base + entry.name);
      isFolder.push_back(false);
    }
  }
}

// Names found in `dir` for `mask`, without "." and "..", read completely
// before anything is deleted.
std::vector<FoundEntry> ReadEntries(const std::string& dir, const std::string& mask) {
  std::vector<FoundEntry> entries;
  platform::FolderSearch search(dir, mask);
  FoundEntry entry;
  while (search.Next(entry))
    if (!IsDotEntry(entry.name)) entries.push_back(entry);
  return entries;
}

// Lower-cased with "/" read as "\", for comparing folder parts.
std::string FolderKey(std::string_view path) { return LowerAscii(ToBackslashes(path)); }

}  // namespace

uint32_t AttributeMask(std::string_view letters) {
  uint32_t mask = 0;
  for (char letter : letters) {
    switch (letter) {
      case 'r': mask |= 0x01; break;
      case 'h': mask |= 0x02; break;
      case 's': mask |= 0x04; break;
      case 'v': mask |= 0x08; break;
      case 'd': mask |= 0x10; break;
      case 'a': mask |= 0x20; break;
      case 'l': mask |= 0x40; break;
      case '*': mask |= 0x3F; break;
      default: break;
    }
  }
  return mask;
}

void SetMessagePump(std::function<void()> pump) { MessagePump() = std::move(pump); }

void ListFolder(StringList& list, const std::string& folder, std::string_view letters,
                const std::string& fileMask, const std::string& relativePrefix) {
  if (relativePrefix.empty()) list.clear();
  std::vector<bool> isFolder;
  ListInto(list, isFolder, folder, ListOptions(letters), fileMask, relativePrefix);
}

int ListFiles(StringList& list, const std::string& folder, std::string_view letters,
              const std::string& fileMask, const std::string& relativePrefix) {
  if (HasLetter(letters, 'd')) {
    ListFolder(list, folder, letters, fileMask, relativePrefix);
    return static_cast<int>(list.size());
  }
  // Folders must be found to be descended into; they are dropped afterwards.
  if (relativePrefix.empty()) list.clear();
  const size_t kept = list.size();
  std::vector<bool> isFolder(kept, false);
  ListInto(list, isFolder, folder, ListOptions(std::string(letters) + "d"), fileMask,
           relativePrefix);
  for (size_t i = list.size(); i > kept; --i)
    if (isFolder[i - 1]) list.erase(list.begin() + static_cast<std::ptrdiff_t>(i - 1));
  return static_cast<int>(list.size());
}

std::string LettersOfAttributes(uint32_t attributes) {
  std::string letters;
  if (attributes & platform::kAttrArchive) letters += 'a';
  if (attributes & platform::kAttrDirectory) letters += 'd';
  if (attributes & platform::kAttrHidden) letters += 'h';
  if (attributes & platform::kAttrReadOnly) letters += 'r';
  if (attributes & platform::kAttrSystem) letters += 's';
  return letters;
}

std::string AttributeLetters(const std::string& path) {
  auto attributes = platform::GetAttributes(path);
  return attributes ? LettersOfAttributes(*attributes) : std::string();
}

void AttributeLettersForList(const std::string& folder, const StringList& entries,
                             StringList& output) {
  output.clear();
  const std::string dir = IncludeTrailingSeparator(folder);
  for (const std::string& entry : entries) output.push_back(AttributeLetters(dir + entry));
}

bool ApplyAttributeLetters(const std::string& path, std::string_view letters) {
  if (!platform::GetAttributes(path)) return false;
  uint32_t attributes = 0;
  if (HasLetter(letters, 'a')) attributes |= platform::kAttrArchive;
  if (HasLetter(letters, 'h')) attributes |= platform::kAttrHidden;
  if (HasLetter(letters, 'r')) attributes |= platform::kAttrReadOnly;
  if (HasLetter(letters, 's')) attributes |= platform::kAttrSystem;
  return platform::SetAttributes(path, attributes);
}

void FilterByFolder(const std::string& folder, StringList& list, StringList& parallel,
                    bool includeSubfolders, bool makeRelative) {
  if (folder.empty()) return;
  const std::string prefix = FolderKey(IncludeTrailing(ToBackslashes(folder), '\\'));
  size_t i = 0;
  while (i < list.size()) {
    const std::string entryFolder = FolderKey(list[i]);
    const size_t lastSeparator = entryFolder.rfind('\\');
    bool keep = false;
    if (lastSeparator != std::string::npos) {
      std::string_view part = std::string_view(entryFolder).substr(0, lastSeparator + 1);
      keep = includeSubfolders ? part.starts_with(prefix) : part == prefix;
    }
    if (!keep) {
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
      if (i < parallel.size()) parallel.erase(parallel.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (makeRelative) list[i] = list[i].substr(prefix.size());
    ++i;
  }
}

void DeleteMatchingFiles(const std::string& folder, const std::string& masks, bool descend) {
  const std::string dir = IncludeTrailingSeparator(folder);
  StringList maskList;
  SplitDelimited(masks, "|+", maskList);
  for (const std::string& mask : maskList) {
    for (const FoundEntry& entry : ReadEntries(dir, mask)) {
      const std::string path = dir + entry.name;
      if (!(entry.attributes & platform::kAttrDirectory)) {
        platform::RemoveFile(path);
      } else if (descend) {
        // A linked folder goes as a link: what it points to is not ours.
        if (entry.attributes & platform::kAttrLink) {
          platform::RemoveFile(path);
          continue;
        }
        DeleteMatchingFiles(path, masks, true);
        platform::RemoveFolder(path);
      }
    }
  }
}

void DeleteFolderTree(const std::string& folder) {
  if (folder.empty()) return;
  const std::string path = ExcludeTrailingSeparator(folder);
  auto attributes = platform::GetAttributes(path);
  if (!attributes || !(*attributes & platform::kAttrDirectory)) return;
  if (*attributes & platform::kAttrLink) {
    platform::RemoveFile(path);
    return;
  }
  DeleteMatchingFiles(path, "*.*", true);
  platform::RemoveFolder(path);
}

PathKind KindOfPath(const std::string& path) {
  const auto attributes = platform::GetAttributes(path);
  if (!attributes) return PathKind::Missing;
  if (*attributes & platform::kAttrDirectory) return PathKind::Folder;
  if (platform::RegularFileSize(path)) return PathKind::File;
  // A link whose target has no time has no target.
  if ((*attributes & platform::kAttrLink) && !platform::GetModifiedTime(path)) return PathKind::DanglingLink;
  return platform::GetAttributes(path) ? PathKind::Special : PathKind::Missing;
}

bool FileExists(const std::string& path) {
  auto attributes = platform::GetAttributes(path);
  return attributes && !(*attributes & platform::kAttrDirectory);
}

bool FolderExists(const std::string& path) {
  auto attributes = platform::GetAttributes(path);
  return attributes && (*attributes & platform::kAttrDirectory);
}

bool CreateFolders(const std::string& folder, uint32_t permissions) {
  const std::string path = ExcludeTrailingSeparator(folder);
  if (path.empty()) return false;
  if (FolderExists(path)) return true;
  const std::string parent = ExtractFilePath(path);
  // The parent must be shorter, or a root such as "C:" would recurse forever.
  if (!parent.empty() && ExcludeTrailingSeparator(parent).size() < path.size())
    CreateFolders(parent);
  return platform::CreateFolder(path, permissions) || FolderExists(path);
}

bool RemoveFile(const std::string& path) { return platform::RemoveFile(path); }

bool RemoveFolder(const std::string& folder) {
  return platform::RemoveFolder(ExcludeTrailingSeparator(folder));
}

bool RenameFile(const std::string& from, const std::string& to, bool replace) {
  return platform::RenameFile(from, to, replace);
}

}  // namespace sys
