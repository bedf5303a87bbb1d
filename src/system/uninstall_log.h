// The uninstall log: the text file in which an installation records what it
// created, and its replay by the uninstall run.
//
// Place: the program's folder in the all-users application-data folder,
// SpecialFolderPath("appdata") + ProgramName + separator (which also holds
// the uninstaller). Name: the display name + ".inst". Text is 8-bit; every
// line, the last included, ends in CR LF. Lines are '|'-separated records
// whose field 0 is the kind, matched exactly:
//   dir|<installation folder>
//   shortcut|<name>|<folder keyword>|<subfolder>|
//   assoc|<program>|<class key>|<icon file>
// Values are written expanded (absolute paths, final names) and never hold
// "|". The install run writes the dir line first, then the shortcut lines
// in the order of creation, then the assoc lines.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "system/settings.h"

namespace sys {

inline constexpr std::string_view kUninstallLogExtension = ".inst";

// SpecialFolderPath("appdata") + programName + separator; "" when the
// application-data folder cannot be resolved.
std::string ProgramDataFolder(const std::string& programName);

// displayName + ".inst".
std::string UninstallLogName(const std::string& displayName);

// ProgramDataFolder(programName) + UninstallLogName(displayName).
std::string UninstallLogPath(const std::string& programName, const std::string& displayName);

// The log path named on the uninstall command line: a name without a "."
// in its file-name part becomes ExeFolder() + name + ".inst"; anything else
// (a full path, or a display name holding a ".") is taken unchanged.
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

// Creates the log's folder with every missing parent and writes `lines`
// to `logPath`, each followed by CR LF, replacing an earlier file. True
// when the whole log was written.
bool SaveUninstallLog(const std::string& logPath, const StringList& lines);

// Called for a "dir" folder that IsProtectedFolder refuses to delete
// wholesale (a root, the home folder, a keyword folder or a folder above
// one). Here a list of the files the package installed there can be
// removed one by one; by default the folder is left as it is.
using ProtectedFolderHandler = std::function<void(const std::string& folder)>;

// What a replay did.
struct UninstallReplay {
  bool logFound = false;       // false: no log file, nothing was done
  StringList refusedFolders;   // dir folders left because they are protected
};

// Replays the log at `logPath`: each line, first to last, is trimmed of
// blanks and control characters (empty lines are skipped) and split at "|"
// without variable expansion. "dir": an existing folder is deleted with
// everything below it, symbolic links removed but never followed, unless
// it is protected (then it is reported and handed to `onProtected`).
// "shortcut": DeleteShortcut(name, keyword, subfolder). "assoc":
// RemoveFileAssociation(program, class key), which Windows skips. Every
// other kind, and kinds in another letter case, are skipped. Missing
// folders and shortcuts are passed over, and so are lines holding a NUL
// character (their paths would be cut short). Finally the log file is deleted;
// the uninstaller and its folder stay. Shows no message.
UninstallReplay ReplayUninstallLog(const std::string& logPath,
                                   const ProtectedFolderHandler& onProtected = {});

}  // namespace sys
