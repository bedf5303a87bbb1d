#include "system/uninstall_log.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "system/activity_log.h"
#include "system/apps_entry.h"
#include "system/associations.h"
#include "system/files.h"
#include "system/legacy_text.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/protected_folders.h"
#include "system/shortcuts.h"
#include "system/text.h"

namespace sys {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kDirKind = "dir";
constexpr std::string_view kShortcutKind = "shortcut";
constexpr std::string_view kAssocKind = "assoc";
constexpr std::string_view kFolderKind = "folder";
constexpr std::string_view kBackupKind = "backup";
constexpr std::string_view kEarlierKind = "earlier";
constexpr std::string_view kAppsKind = "apps";
constexpr std::string_view kScopeKind = "scope";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Blanks and control characters, as trimmed from log lines.
bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(const std::string& line) {
  size_t first = 0, last = line.size();
  while (first < last && IsTrimmed(line[first])) ++first;
  while (last > first && IsTrimmed(line[last - 1])) --last;
  return line.substr(first, last - first);
}

// The number of separators in `path`: deeper folders have more.
size_t Depth(const std::string& path) {
  return static_cast<size_t>(std::count_if(path.begin(), path.end(), [](char c) { return c == '/' || c == '\\'; }));
}

// The names of `relative` between its separators ("." and empty ones dropped).
StringList Components(const std::string& relative) {
  StringList parts;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find_first_of("/\\", start);
    if (end == std::string::npos) end = relative.size();
    std::string part = relative.substr(start, end - start);
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    start = end + 1;
  }
  return parts;
}

// Counts what the replay removes and lets a test act between removals.
void Removed(size_t& count) {
  ++count;
  if (AfterUninstallRemoval()) AfterUninstallRemoval()(count);
}

// Adds `path` to the folders found turned into links, once.
void NoteLink(const std::string& path, StringList& links) {
  if (std::find(links.begin(), links.end(), path) == links.end()) links.push_back(path);
}

// One installation folder held open from the top down. Every name below it
// is removed relative to a folder handle opened component by component,
// each checked to be no link when it was opened, never through a path
// looked up again: a folder swapped for a link while the replay runs
// cannot lead it outside. Only the chain to the folder in use is held.
class InstallTree {
 public:
  explicit InstallTree(std::string base) : base_(std::move(base)) {}

  const std::string& base() const { return base_; }

  // The held folder `parts` below the top (the top itself for none),
  // opening what is not held yet; nullptr when a folder on the way is
  // missing or cannot be opened, or is a link (whose path goes to `links`).
  const platform::FolderHandle* Reach(const StringList& parts, size_t count, StringList& links) {
    if (!top_.IsOpen() && !OpenTop(links)) return nullptr;
    size_t same = 0;
    while (same < chain_.size() && same < count && chain_[same].first == parts[same]) ++same;
    chain_.erase(chain_.begin() + static_cast<std::ptrdiff_t>(same), chain_.end());
    for (size_t i = same; i < count; ++i) {
      platform::FolderHandle child;
      std::string reason;
      const platform::FolderHandle& parent = i == 0 ? top_ : chain_[i - 1].second;
      switch (child.OpenChild(parent, parts[i], false, reason)) {
        case platform::FolderHandle::Child::Opened: chain_.emplace_back(parts[i], std::move(child)); break;
        case platform::FolderHandle::Child::Link: NoteLink(parent.Path() + parts[i], links); return nullptr;
        case platform::FolderHandle::Child::Failed: return nullptr;
      }
    }
    return count == 0 ? &top_ : &chain_[count - 1].second;
  }

  // Lets go of every held folder (Windows refuses to remove a held one).
  void Close() {
    chain_.clear();
    top_.Close();
  }

 private:
  // The top is opened as a child of its parent (named by the log's path)
  // so that a link in its place is seen; a drive or root is opened as is.
  bool OpenTop(StringList& links) {
    const std::string top = ExcludeTrailingSeparator(base_);
    const std::string name = ExtractFileName(top);
    std::string reason;
    if (name.empty()) return top_.Open(base_, reason);
    platform::FolderHandle parent;
    if (!parent.Open(ExtractFilePath(top), reason)) return false;
    const auto opened = top_.OpenChild(parent, name, false, reason);
    if (opened == platform::FolderHandle::Child::Link) NoteLink(top, links);
    return opened == platform::FolderHandle::Child::Opened;
  }

  std::string base_;  // with its closing separator
  platform::FolderHandle top_;
  std::vector<std::pair<std::string, platform::FolderHandle>> chain_;
};

// Deletes the installed file `relative` below `tree` (a read-only one too,
// a link itself); a folder of that name, which the installation did not
// write, stays. A file still there after the last try is added to
// `undeleted` (its full path).
void RemoveInstalledFile(InstallTree& tree, const std::string& relative, UninstallReplay& replay, size_t& removed) {
  StringList& links = replay.skippedLinks;
  const StringList parts = Components(relative);
  if (parts.empty()) return;
  const platform::FolderHandle* folder = tree.Reach(parts, parts.size() - 1, links);
  if (!folder) return;
  const auto info = folder->Inspect(parts.back());
  if (!info) return;
  if ((info->attributes & platform::kAttrDirectory) && !(info->attributes & platform::kAttrLink)) return;
  // Another program may hold the file open for a moment (an indexer, a
  // virus scanner, a process still closing), and Windows refuses to delete
  // it meanwhile: a few tries a tenth of a second apart before it stays.
  constexpr int kAttempts = 10;
  for (int attempt = 1;; ++attempt) {
    if (folder->RemoveFile(parts.back())) return Removed(removed);
    if (!folder->Inspect(parts.back())) return;
    if (attempt == kAttempts) return replay.undeletedFiles.push_back(tree.base() + relative);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// The tree whose installation folder holds `path` below its top, or nullptr.
InstallTree* TreeHolding(std::vector<InstallTree>& trees, const std::string& path) {
  for (InstallTree& tree : trees) {
    if (path.size() > tree.base().size() && path.starts_with(tree.base())) return &tree;
  }
  return nullptr;
}

// Removes the empty folder `folder` (native separators, no closing one):
// below an installation folder through the held tree, anything else (the
// installation folder itself, folders made above it) relative to its
// parent named by the path, which refuses a link in its place.
void RemoveCreatedFolder(std::vector<InstallTree>& trees, const std::string& folder, StringList& links,
                         size_t& removed) {
  if (InstallTree* tree = TreeHolding(trees, folder)) {
    const StringList parts = Components(folder.substr(tree->base().size()));
    if (parts.empty()) return;
    const platform::FolderHandle* parent = tree->Reach(parts, parts.size() - 1, links);
    if (!parent) return;
    if (parent->RemoveFolder(parts.back())) {
      Removed(removed);
    } else if (const auto info = parent->Inspect(parts.back()); info && (info->attributes & platform::kAttrLink)) {
      NoteLink(parent->Path() + parts.back(), links);
    }
    return;
  }
  for (InstallTree& tree : trees) tree.Close();
  platform::FolderHandle parent;
  std::string reason;
  const std::string name = ExtractFileName(folder);
  if (!name.empty() && parent.Open(ExtractFilePath(folder), reason) && parent.RemoveFolder(name)) Removed(removed);
}

// Puts a file replaced by an unfinished installation back from its copy
// beside it, through the held tree when the file lies below one.
void RestoreBackup(std::vector<InstallTree>& trees, const std::string& file, const std::string& copy,
                   StringList& links) {
  const std::string nativeFile = ToNativeSeparators(file), nativeCopy = ToNativeSeparators(copy);
  InstallTree* tree = TreeHolding(trees, nativeFile);
  if (!tree || ExtractFilePath(nativeFile) != ExtractFilePath(nativeCopy)) {
    if (FileExists(copy) && RenameFile(copy, file, true)) LogAction("Restored " + file);
    return;
  }
  const StringList parts = Components(nativeFile.substr(tree->base().size()));
  if (parts.empty()) return;
  const platform::FolderHandle* folder = tree->Reach(parts, parts.size() - 1, links);
  const std::string copyName = ExtractFileName(nativeCopy);
  const auto info = folder ? folder->Inspect(copyName) : std::nullopt;
  if (!info || (info->attributes & (platform::kAttrDirectory | platform::kAttrLink))) return;
  if (folder->Rename(copyName, parts.back(), true)) LogAction("Restored " + file);
}

// The lines of a log that the replay acts on.
struct ParsedLog {
  StringList dirs, folders, shellLines;                      // whole "shortcut" and "assoc" lines
  std::vector<std::pair<std::string, std::string>> backups;  // file, copy
  StringList earlierLogs;
  std::vector<std::pair<std::string, InstallScope>> appsEntries;
  std::optional<InstallScope> scope;
};

ParsedLog ParseLog(const StringList& rawLines) {
  ParsedLog log;
  for (const std::string& rawLine : rawLines) {
    const std::string line = Trim(rawLine);
    // A NUL inside a line would cut every path taken from it short, so that
    // the folder checked and the folder deleted would differ: such a line
    // names nothing the install run wrote and is passed over.
    if (line.empty() || line.find('\0') != std::string::npos) continue;
    RecordFields fields;
    SplitRecord(line, fields, 0, nullptr);
    if (fields[0] == kDirKind) {
      log.dirs.push_back(fields[1]);
    } else if (fields[0] == kFolderKind) {
      log.folders.push_back(fields[1]);
    } else if (fields[0] == kEarlierKind) {
      log.earlierLogs.push_back(fields[1]);
    } else if (fields[0] == kBackupKind) {
      log.backups.emplace_back(fields[1], fields[2]);
    } else if (fields[0] == kShortcutKind || fields[0] == kAssocKind) {
      log.shellLines.push_back(line);
    } else if (fields[0] == kScopeKind) {
      log.scope = ParseScope(fields[1]);
    } else if (fields[0] == kAppsKind && !fields[1].empty()) {
      log.appsEntries.emplace_back(fields[1], ParseScope(fields[2]).value_or(InstallScope::Machine));
    }
  }
  return log;
}

// The number of files (links included) below `folder`.
int CountFilesBelow(const std::string& folder) {
  StringList entries;
  return ListFiles(entries, folder, "ahrs/", "*");
}

bool EndsWithExtension(const std::string& name) {
  return name.size() >= kUninstallLogExtension.size() &&
         SameTextAscii(std::string_view(name).substr(name.size() - kUninstallLogExtension.size()), kUninstallLogExtension);
}

}  // namespace

std::string ProgramDataFolder(const std::string& programName) {
  const std::string appData = SpecialFolderPath(CurrentInstallScope() == InstallScope::User ? "user_appdata" : "appdata");
  if (appData.empty()) return {};
  return IncludeTrailingSeparator(appData + programName);
}

std::string UninstallLogName(const std::string& displayName) {
  return displayName + std::string(kUninstallLogExtension);
}

std::string UninstallLogPath(const std::string& programName, const std::string& displayName) {
  const std::string folder = ProgramDataFolder(programName);
  return folder.empty() ? std::string() : folder + UninstallLogName(displayName);
}

std::string UninstallLogPathFromArgument(const std::string& argument) {
  // A display name may hold a "." ("Notes 2.0"): only an existing file, a
  // full path or a name ending in the log's extension is taken as it is.
  if (FileExists(argument) || IsAbsolutePath(argument) || EndsWithExtension(argument)) return argument;
  return ExeFolder() + UninstallLogName(argument);
}

std::string ProgramNameFromLogPath(const std::string& logPath) {
  const std::string name = ExtractFileName(logPath);
  return name.substr(0, name.size() - std::min(name.size(), kUninstallLogExtension.size()));
}

std::string DirLogLine(const std::string& installFolder) {
  return std::string(kDirKind) + "|" + installFolder;
}

std::string ShortcutLogLine(const std::string& name, const std::string& keyword,
                            const std::string& subfolder) {
  return std::string(kShortcutKind) + "|" + name + "|" + keyword + "|" + subfolder + "|";
}

std::string PublisherLogLine(const LogPublisher& publisher) {
  return "publisher|" + publisher.publisher + "|" + publisher.url + "|" + publisher.copyright;
}

std::optional<LogPublisher> ReadLogPublisher(const std::string& logPath) {
  for (const std::string& line : LoadUninstallLog(logPath)) {
    RecordFields fields;
    SplitRecord(Trim(line), fields, 0, nullptr);
    if (fields[0] == "publisher") return LogPublisher{fields[1], fields[2], fields[3]};
  }
  return std::nullopt;
}

std::string AppsLogLine(const std::string& key, InstallScope scope) {
  return std::string(kAppsKind) + "|" + key + "|" + std::string(ScopeName(scope));
}

std::string ScopeLogLine(InstallScope scope) { return std::string(kScopeKind) + "|" + std::string(ScopeName(scope)); }

std::string AssocLogLine(const std::string& program, const std::string& classKey,
                         const std::string& iconFile) {
  return std::string(kAssocKind) + "|" + program + "|" + classKey + "|" + iconFile;
}

std::string FolderLogLine(const std::string& folder) { return std::string(kFolderKind) + "|" + folder; }

std::string BackupLogLine(const std::string& file, const std::string& copy) {
  return std::string(kBackupKind) + "|" + file + "|" + copy;
}

std::string EarlierLogLine(const std::string& earlierLog) { return std::string(kEarlierKind) + "|" + earlierLog; }

std::string EarlierLogPath(const std::string& logPath) {
  const std::string name = ExtractFileName(logPath);
  const bool withExtension = EndsWithExtension(name);
  const std::string stem = withExtension ? name.substr(0, name.size() - kUninstallLogExtension.size()) : name;
  return ExtractFilePath(logPath) + stem + " (earlier)" + std::string(kUninstallLogExtension);
}

std::string InstalledFilesListPath(const std::string& logPath) {
  const std::string list = ChangeExtension(logPath, kInstalledFilesExtension);
  return list == logPath ? std::string() : list;
}

bool SaveUninstallLog(const std::string& logPath, const StringList& lines) {
  const std::string folder = ExtractFilePath(logPath);
  if (!folder.empty()) CreateFolders(folder);
  std::string content;
  for (const std::string& line : lines) content.append(line).append(kLineEnd);
  // Written whole beside the log first: a log is never left half written.
  const std::string native = ToNativeSeparators(logPath);
  const std::string temporary = native + ".new";
  if (!platform::WriteWholeFile(temporary, content)) {
    platform::RemoveFile(temporary);
    return false;
  }
  if (platform::RenameFile(temporary, native, true)) return true;
  platform::RemoveFile(temporary);
  return false;
}

StringList LoadUninstallLog(const std::string& path) {
  std::string text = platform::ReadWholeFile(ToNativeSeparators(path)).value_or(std::string());
  if (text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
  StringList lines = SplitLines(text);
  for (std::string& line : lines) {
    if (!IsValidUtf8(line)) line = platform::AnsiToUtf8(line);
  }
  return lines;
}

bool LogAppender::Create(const std::string& path) {
  std::string reason;
  size_ = 0;
  return file_.Open(ToNativeSeparators(path), platform::OpenMode::Create, reason);
}

bool LogAppender::Append(const std::string& line) { return AppendLines({line}); }

bool LogAppender::AppendLines(const StringList& lines) {
  if (!file_.IsOpen()) return false;
  std::string text;
  for (const std::string& line : lines) text.append(line).append(kLineEnd);
  // Unbuffered: the line is the system's as soon as the call returns.
  const int64_t written = file_.WriteAt(size_, text.data(), static_cast<int64_t>(text.size()));
  if (written > 0) size_ += written;
  return written == static_cast<int64_t>(text.size());
}

bool IsContainedName(const std::string& name) {
  const std::string path = ToBackslashes(name);
  if (path.empty() || path.front() == '\\' || path.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

StringList RemoveEmptyFolders(StringList folders) {
  for (std::string& folder : folders) folder = ExcludeTrailingSeparator(ToNativeSeparators(folder));
  std::stable_sort(folders.begin(), folders.end(),
                   [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
  StringList refused;
  for (const std::string& folder : folders) {
    const auto attributes = platform::GetAttributes(folder);
    if (!attributes || !(*attributes & platform::kAttrDirectory) || (*attributes & platform::kAttrLink)) continue;
    if (IsProtectedFolder(folder)) {
      refused.push_back(folder);
      continue;
    }
    // Removing a folder fails while anything is left in it: never recursive.
    RemoveFolder(folder);
  }
  return refused;
}

std::function<void(size_t)>& AfterUninstallRemoval() {
  static std::function<void(size_t)> hook;
  return hook;
}

UninstallReplay ReplayUninstallLog(const std::string& logPath, const StringList& installedFiles) {
  UninstallReplay replay;
  if (!FileExists(logPath)) return replay;
  replay.logFound = true;
  const ParsedLog log = ParseLog(LoadUninstallLog(logPath));
  StringList folders = log.folders;
  std::vector<InstallTree> trees;
  size_t removed = 0;
  for (const std::string& dir : log.dirs) {
    if (!IsAbsolutePath(dir)) continue;  // would name something below the current folder
    const std::string base = IncludeTrailingSeparator(ToNativeSeparators(dir));
    InstallTree& tree = trees.emplace_back(base);
    LogAction("Removing the installed files of " + dir);
    for (const std::string& entry : installedFiles) {
      if (!IsContainedName(entry)) continue;
      // Lists written before folders were logged end with the package's
      // folders ("sub\"); they go like created folders, only when empty.
      if (entry.back() == '\\' || entry.back() == '/') {
        folders.push_back(base + ToNativeSeparators(entry));
      } else {
        RemoveInstalledFile(tree, ToNativeSeparators(entry), replay, removed);
      }
    }
  }
  // An installation that was killed while it replaced files left copies of
  // the originals: they go back where they were.
  for (const auto& [file, copy] : log.backups) RestoreBackup(trees, file, copy, replay.skippedLinks);
  for (std::string& folder : folders) folder = ExcludeTrailingSeparator(ToNativeSeparators(folder));
  std::stable_sort(folders.begin(), folders.end(),
                   [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
  for (const std::string& folder : folders) {
    const auto attributes = platform::GetAttributes(folder);
    if (attributes && (*attributes & platform::kAttrDirectory) && !(*attributes & platform::kAttrLink) &&
        IsProtectedFolder(folder)) {
      replay.refusedFolders.push_back(folder);
      continue;
    }
    // Removing a folder fails while anything is left in it: never recursive.
    RemoveCreatedFolder(trees, folder, replay.skippedLinks, removed);
  }
  trees.clear();
  for (const std::string& link : replay.skippedLinks) {
    LogAction("Skipped " + link + ": a folder of the installation had turned into a link; nothing was removed through it");
  }
  // The associations of a per-user installation are the user's.
  if (log.scope) SetCurrentInstallScope(*log.scope);
  for (const std::string& line : log.shellLines) {
    RecordFields fields;
    SplitRecord(line, fields, 0, nullptr);
    if (fields[0] == kShortcutKind) {
      LogAction("Removing shortcut \"" + fields[1] + "\" from " + fields[2] +
                (fields[3].empty() ? "" : ", " + fields[3]));
      DeleteShortcut(fields[1], fields[2], fields[3]);
    } else {
      // Windows keeps associations; the desktop database elsewhere would
      // otherwise go on naming a program that is gone.
      RemoveFileAssociation(fields[1], fields[2]);
    }
  }
  for (const auto& [key, scope] : log.appsEntries) {
    if (platform::RemoveAppsEntry(scope, key)) {
      LogAction("Removed the entry " + key + " from the installed programs");
    } else {
      LogAction("Could not remove the entry " + key + " from the installed programs");
    }
  }
  for (const std::string& dir : log.dirs) {
    if (!IsAbsolutePath(dir) || !FolderExists(dir)) continue;
    // Installed files that could not be deleted are reported on their own.
    const std::string base = IncludeTrailingSeparator(ToNativeSeparators(dir));
    const auto undeletedBelow = std::count_if(replay.undeletedFiles.begin(), replay.undeletedFiles.end(),
                                              [&](const std::string& file) { return file.starts_with(base); });
    const int kept = CountFilesBelow(dir) - static_cast<int>(undeletedBelow);
    if (kept <= 0) continue;
    replay.keptCount += kept;
    replay.keptFolders.push_back(dir);
  }
  RemoveFile(logPath);
  LogAction("Removed the uninstall log " + logPath);
  // The installation an unfinished upgrade was replacing. Only the one log
  // kept beside this one is followed, so a log cannot lead anywhere else.
  const std::string earlier = EarlierLogPath(logPath);
  for (const std::string& named : log.earlierLogs) {
    if (named != earlier || earlier == logPath || !FileExists(earlier)) continue;
    const std::string list = InstalledFilesListPath(earlier);
    const UninstallReplay more = ReplayUninstallLog(earlier, LoadUninstallLog(list));
    RemoveFile(list);
    const auto append = [](StringList& to, const StringList& from) { to.insert(to.end(), from.begin(), from.end()); };
    replay.keptCount += more.keptCount;
    append(replay.refusedFolders, more.refusedFolders);
    append(replay.keptFolders, more.keptFolders);
    append(replay.skippedLinks, more.skippedLinks);
    append(replay.undeletedFiles, more.undeletedFiles);
  }
  return replay;
}

std::string KeptFilesText(const UninstallReplay& replay) {
  if (replay.keptCount == 0) return {};
  const std::string where = JoinWith(replay.keptFolders, ", ");
  const bool one = replay.keptCount == 1;
  return std::to_string(replay.keptCount) + (one ? " file" : " files") + " not installed by the program " +
         (one ? "was" : "were") + " kept in " + where + ".";
}

}  // namespace sys
