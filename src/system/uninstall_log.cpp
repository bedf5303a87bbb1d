#include "system/uninstall_log.h"

#include <algorithm>
#include <cstdint>

#include "system/activity_log.h"
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

// Deletes one installed file (a read-only one too); a folder of that name,
// which the installation did not write, stays.
void RemoveInstalledFile(const std::string& path) {
  const auto attributes = platform::GetAttributes(path);
  if (!attributes) {
    RemoveFile(path);  // a dangling link
    return;
  }
  if (*attributes & platform::kAttrDirectory && !(*attributes & platform::kAttrLink)) return;
  if (!(*attributes & platform::kAttrLink)) ApplyAttributeLetters(path, "a");
  RemoveFile(path);
}

// True when a folder of `relative` below `base` (not its last name) is a
// symbolic link: the installation never writes through one, so such a
// name is not one of its files.
bool CrossesLink(const std::string& base, const std::string& relative) {
  for (size_t end = relative.find_first_of(platform::kPathDelimiters); end != std::string::npos;
       end = relative.find_first_of(platform::kPathDelimiters, end + 1)) {
    const auto attributes = platform::GetAttributes(base + relative.substr(0, end));
    if (!attributes) return false;
    if (*attributes & platform::kAttrLink) return true;
  }
  return false;
}

// The lines of a log that the replay acts on.
struct ParsedLog {
  StringList dirs, folders, shellLines;                      // whole "shortcut" and "assoc" lines
  std::vector<std::pair<std::string, std::string>> backups;  // file, copy
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
    } else if (fields[0] == kBackupKind) {
      log.backups.emplace_back(fields[1], fields[2]);
    } else if (fields[0] == kShortcutKind || fields[0] == kAssocKind) {
      log.shellLines.push_back(line);
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
  const std::string appData = SpecialFolderPath("appdata");
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

std::string AssocLogLine(const std::string& program, const std::string& classKey,
                         const std::string& iconFile) {
  return std::string(kAssocKind) + "|" + program + "|" + classKey + "|" + iconFile;
}

std::string FolderLogLine(const std::string& folder) { return std::string(kFolderKind) + "|" + folder; }

std::string BackupLogLine(const std::string& file, const std::string& copy) {
  return std::string(kBackupKind) + "|" + file + "|" + copy;
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

bool LogAppender::Append(const std::string& line) {
  if (!file_.IsOpen()) return false;
  const std::string text = line + std::string(kLineEnd);
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

UninstallReplay ReplayUninstallLog(const std::string& logPath, const StringList& installedFiles) {
  UninstallReplay replay;
  if (!FileExists(logPath)) return replay;
  replay.logFound = true;
  const ParsedLog log = ParseLog(LoadUninstallLog(logPath));
  StringList folders = log.folders;
  for (const std::string& dir : log.dirs) {
    if (!IsAbsolutePath(dir)) continue;  // would name something below the current folder
    const std::string base = IncludeTrailingSeparator(ToNativeSeparators(dir));
    // The installation wrote into a real folder, never through a link to one.
    const auto attributes = platform::GetAttributes(ExcludeTrailingSeparator(base));
    if (attributes && (*attributes & platform::kAttrLink)) continue;
    LogAction("Removing the installed files of " + dir);
    for (const std::string& entry : installedFiles) {
      if (!IsContainedName(entry)) continue;
      // Lists written before folders were logged end with the package's
      // folders ("sub\"); they go like created folders, only when empty.
      if (entry.back() == '\\' || entry.back() == '/') {
        folders.push_back(base + ToNativeSeparators(entry));
      } else if (!CrossesLink(base, ToNativeSeparators(entry))) {
        RemoveInstalledFile(base + ToNativeSeparators(entry));
      }
    }
  }
  // An installation that was killed while it replaced files left copies of
  // the originals: they go back where they were.
  for (const auto& [file, copy] : log.backups) {
    if (FileExists(copy) && RenameFile(copy, file, true)) LogAction("Restored " + file);
  }
  replay.refusedFolders = RemoveEmptyFolders(folders);
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
  for (const std::string& dir : log.dirs) {
    if (!IsAbsolutePath(dir) || !FolderExists(dir)) continue;
    const int kept = CountFilesBelow(dir);
    if (kept == 0) continue;
    replay.keptCount += kept;
    replay.keptFolders.push_back(dir);
  }
  RemoveFile(logPath);
  LogAction("Removed the uninstall log " + logPath);
  return replay;
}

std::string KeptFilesText(const UninstallReplay& replay) {
  if (replay.keptCount == 0) return {};
  std::string where;
  for (const std::string& folder : replay.keptFolders) where += (where.empty() ? "" : ", ") + folder;
  const bool one = replay.keptCount == 1;
  return std::to_string(replay.keptCount) + (one ? " file" : " files") + " not installed by the program " +
         (one ? "was" : "were") + " kept in " + where + ".";
}

}  // namespace sys
