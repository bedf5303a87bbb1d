// The uninstall log: the text file in which an installation records what it
// created, and its replay by the uninstall run.
//
// Place: the program's folder in the all-users application-data folder,
// SpecialFolderPath("appdata") + ProgramName + separator (which also holds
// the uninstaller); "user_appdata" in place of "appdata" for a per-user
// installation. Name: the display name + ".inst". Every line, the last
// included, ends in CR LF. Lines are '|'-separated records whose field 0 is
// the kind, matched exactly:
//   dir|<installation folder>
//   folder|<folder the installation created>
//   shortcut|<name>|<folder keyword>|<subfolder>|
//   assoc|<program>|<class key>|<icon file>
//   backup|<file>|<copy of it taken before it was replaced>
//   scope|<machine or user>          (after dir and version; machine when absent)
//   apps|<key>|<machine or user>     the installed-programs entry (apps_entry.h)
//   publisher|<publisher>|<web address>|<copyright>  shown by the uninstaller
//   earlier|<log of the installation being upgraded, kept beside this one>
// Values are written expanded (absolute paths, final names) and never hold
// "|". The dir line comes first, then the folder lines in the order the
// folders were made (parents first), then the shortcut lines in the order
// of creation, then the assoc lines. Backup lines exist only in the log of
// an installation that did not end (it was killed); a finished one rewrites
// its log without them. So do earlier lines: an upgrade into another folder
// keeps the earlier installation's log and list under EarlierLogPath while
// it runs, so that a run killed half way still uninstalls both.
// Readers skip kinds they do not know.
//
// The files the installation wrote are listed beside the log, one per line
// relative to the installation folder (InstalledFilesListPath).
//
// Text: written as UTF-8 without a byte-order mark, so that a log of plain
// ASCII names is what older readers expect and lines can be appended one at
// a time. Read: a UTF-8 byte-order mark is accepted; each line is taken as
// UTF-8 when it is valid UTF-8, else as legacy 8-bit (Latin-1) text.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "system/apps_entry.h"
#include "system/platform.h"
#include "system/settings.h"

namespace sys {

inline constexpr std::string_view kUninstallLogExtension = ".inst";
inline constexpr std::string_view kInstalledFilesExtension = ".files";

// SpecialFolderPath("appdata") (user scope: "user_appdata", see
// CurrentInstallScope) + programName + separator; "" when the
// application-data folder cannot be resolved.
std::string ProgramDataFolder(const std::string& programName);

// displayName + ".inst".
std::string UninstallLogName(const std::string& displayName);

// ProgramDataFolder(programName) + UninstallLogName(displayName).
std::string UninstallLogPath(const std::string& programName, const std::string& displayName);

// The log path named on the uninstall command line: an existing file, a
// full path or a name ending in ".inst" is taken unchanged; any other name, one holding a "." ("Notes 2.0") too, becomes
// ExeFolder() + name + ".inst" (the uninstaller lives beside its log).
std::string UninstallLogPathFromArgument(const std::string& argument);

// The program name shown while uninstalling: the file-name part of the log
// path without its last five characters (the ".inst").
std::string ProgramNameFromLogPath(const std::string& logPath);

// The lines, as the install run logs them.
std::string DirLogLine(const std::string& installFolder);
std::string ShortcutLogLine(const std::string& name, const std::string& keyword,
                            const std::string& subfolder);
std::string AssocLogLine(const std::string& program, const std::string& classKey,
                         const std::string& iconFile);

// "apps|" + key + "|" + scope name; "scope|" + scope name.
std::string AppsLogLine(const std::string& key, InstallScope scope);
std::string ScopeLogLine(InstallScope scope);

// Who publishes the program, as the script says (any may be empty).
struct LogPublisher {
  std::string publisher, url, copyright;
};
std::string PublisherLogLine(const LogPublisher& publisher);
// The publisher line of the log at `logPath`; nullopt when it has none.
std::optional<LogPublisher> ReadLogPublisher(const std::string& logPath);

// FolderLogLine: "folder|" + folder; BackupLogLine: "backup|" + file + "|" + copy.
std::string FolderLogLine(const std::string& folder);
std::string BackupLogLine(const std::string& file, const std::string& copy);

// "earlier|" + earlierLog, and where an upgrade keeps the earlier log of
// `logPath` while it runs: beside it, "(earlier)" added to its name.
std::string EarlierLogLine(const std::string& earlierLog);
std::string EarlierLogPath(const std::string& logPath);

// The list of installed files beside a log: the log path with ".files" in
// place of its extension ("" for a log that itself ends in ".files").
std::string InstalledFilesListPath(const std::string& logPath);

// Creates the log's folder with every missing parent and writes `lines`
// to `logPath`, each followed by CR LF, replacing an earlier file (through
// a complete temporary file beside it). True when the whole log was written.
bool SaveUninstallLog(const std::string& logPath, const StringList& lines);

// The lines of a log or list (CR LF, LF or a lone CR end a line; a
// byte-order mark is dropped; legacy 8-bit lines become UTF-8). Empty
// when the file cannot be read.
StringList LoadUninstallLog(const std::string& path);

// A log or list written as an installation goes: every line reaches the
// system when it is appended, so a process killed at any point leaves a
// file holding every action up to that point.
class LogAppender {
 public:
  // Creates `path` (emptying an existing file). False when it cannot.
  bool Create(const std::string& path);
  // Appends `line` and CR LF. False when they could not be written.
  bool Append(const std::string& line);
  // Appends each of `lines` with CR LF, in one write.
  bool AppendLines(const StringList& lines);
  void Close() { file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }

 private:
  platform::FileHandle file_;
  int64_t size_ = 0;
};

// What a replay did.
struct UninstallReplay {
  bool logFound = false;       // false: no log file, nothing was done
  StringList refusedFolders;   // created folders left because they are protected
  int keptCount = 0;           // files left below the installation folders
  StringList keptFolders;      // installation folders that still hold files
  // Folders of an installation found turned into links (full paths): what
  // lay below them was not removed, and the run is no plain success.
  StringList skippedLinks;
  // Installed files still there after several tries to delete them (held
  // open by another program, say; full paths): the run is no success.
  StringList undeletedFiles;
};

// Replays the log at `logPath`. Lines are trimmed of blanks and control
// characters (empty lines and lines holding a NUL are skipped) and split at
// "|" without variable expansion; kinds are matched exactly and unknown ones
// skipped. For each "dir" folder: the files of `installedFiles` (relative
// names; any that would leave the folder are passed over) are deleted, then
// files replaced by an unfinished installation are put back from their
// "backup" copies, then the "folder" lines' folders are removed, deepest
// first, each only when empty and never a protected one. Nothing is ever
// deleted recursively, so what a user put into those folders stays (and is
// counted in keptCount). Below an installation folder every name is removed
// relative to folders held open component by component, each refused when
// it is a link: a folder swapped for a link during the replay is skipped
// and reported in skippedLinks, and nothing outside is touched. "shortcut": DeleteShortcut(name, keyword,
// subfolder). "assoc": RemoveFileAssociation(program, class key), which
// Windows skips, in the log's scope ("scope"). "apps": the entry goes.
// "earlier": that log (only one beside this one, named by EarlierLogPath) is
// replayed too, with its list, which then goes. Finally the log file is
// deleted; the uninstaller and its folder stay. Shows no message.
UninstallReplay ReplayUninstallLog(const std::string& logPath, const StringList& installedFiles = {});

// Called after each file or folder the replay removed, with the number
// removed so far; empty by default. Tests change the tree between removals.
std::function<void(size_t removed)>& AfterUninstallRemoval();

// The line the uninstaller shows after its message when files were kept:
// "3 files not installed by the program were kept in C:\Work\." ("" when
// nothing was kept).
std::string KeptFilesText(const UninstallReplay& replay);

// Removes the listed folders that are empty, deepest first (never a
// protected one); returns those refused as protected.
StringList RemoveEmptyFolders(StringList folders);

// True when `name` stays inside the folder it is relative to: no root, no
// drive, no ".." level.
bool IsContainedName(const std::string& name);

}  // namespace sys
