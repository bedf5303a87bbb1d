#include "system/uninstall_log.h"

#include <algorithm>

#include "system/activity_log.h"
#include "system/associations.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/protected_folders.h"
#include "system/shortcuts.h"

namespace sys {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kDirKind = "dir";
constexpr std::string_view kShortcutKind = "shortcut";
constexpr std::string_view kAssocKind = "assoc";

// Blanks and control characters, as trimmed from log lines.
bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(const std::string& line) {
  size_t first = 0, last = line.size();
  while (first < last && IsTrimmed(line[first])) ++first;
  while (last > first && IsTrimmed(line[last - 1])) --last;
  return line.substr(first, last - first);
}

// The file's lines, broken at CR LF, LF or a lone CR; none when the file
// cannot be read.
StringList LoadLines(const std::string& path) {
  const std::string text = platform::ReadWholeFile(path).value_or(std::string());
  StringList lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      line += c;
      continue;
    }
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    lines.push_back(std::move(line));
    line.clear();
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

void RemoveInstallFolder(const std::string& folder, const ProtectedFolderHandler& onProtected,
                         UninstallReplay& replay) {
  if (!FolderExists(folder)) return;
  if (IsProtectedFolder(folder)) {
    replay.refusedFolders.push_back(folder);
    if (onProtected) onProtected(folder);
    return;
  }
  DeleteFolderTree(folder);
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
  if (ExtractFileName(argument).find('.') != std::string::npos) return argument;
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

bool SaveUninstallLog(const std::string& logPath, const StringList& lines) {
  const std::string folder = ExtractFilePath(logPath);
  if (!folder.empty()) CreateFolders(folder);
  std::string content;
  for (const std::string& line : lines) content.append(line).append(kLineEnd);
  return platform::WriteWholeFile(ToNativeSeparators(logPath), content);
}

UninstallReplay ReplayUninstallLog(const std::string& logPath,
                                   const ProtectedFolderHandler& onProtected) {
  UninstallReplay replay;
  if (!FileExists(logPath)) return replay;
  replay.logFound = true;
  for (const std::string& rawLine : LoadLines(ToNativeSeparators(logPath))) {
    const std::string line = Trim(rawLine);
    // A NUL inside a line would cut every path taken from it short, so that
    // the folder checked and the folder deleted would differ: such a line
    // names nothing the install run wrote and is passed over.
    if (line.empty() || line.find('\0') != std::string::npos) continue;
    RecordFields fields;
    SplitRecord(line, fields, 0, nullptr);
    if (fields[0] == kDirKind) {
      LogAction("Removing the folder " + fields[1]);
      RemoveInstallFolder(fields[1], onProtected, replay);
    } else if (fields[0] == kShortcutKind) {
      LogAction("Removing shortcut \"" + fields[1] + "\" from " + fields[2] +
                (fields[3].empty() ? "" : ", " + fields[3]));
      DeleteShortcut(fields[1], fields[2], fields[3]);
    } else if (fields[0] == kAssocKind) {
      // Windows keeps associations; the desktop database elsewhere would
      // otherwise go on naming a program that is gone.
      RemoveFileAssociation(fields[1], fields[2]);
    }
  }
  RemoveFile(logPath);
  LogAction("Removed the uninstall log " + logPath);
  return replay;
}

}  // namespace sys
