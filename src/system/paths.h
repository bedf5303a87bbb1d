// Folder keywords and path helpers.
//
// Installer scripts, shortcut records and uninstall-log lines name folders
// by keyword (programs, user_desktop, temp, ...). SpecialFolderPath resolves
// a keyword to a folder path; any other text is taken as a path itself.
// Folder paths produced here end in a separator unless they are empty.
// Separators: "\" and "/" are both read as separators on every platform; the
// platform's own separator (sys::kPathSeparator) is the one that is added.
#pragma once

#include <string>
#include <string_view>

#include "system/settings.h"

namespace sys {

// "\" on Windows, "/" elsewhere.
char PathSeparator();

// True when `c` ends a folder part of a path ("\", "/", and ":" on Windows).
bool IsPathDelimiter(char c);

// The folder of `keyword` (matched exactly, letter case included) with a
// trailing separator, or "" when the platform gives no path. Text that is no
// keyword comes back with a trailing separator ("Programs" -> "Programs\"
// or "Programs/"); "" gives "". Keywords: windows, temp, programs,
// startmenu, startup, fonts, appdata, user_desktop, desktop, user_programs,
// user_startmenu, user_startup, user_documents, user_appdata.
std::string SpecialFolderPath(std::string_view keyword);

// The folder that programs installed for the current user alone go into
// (%LOCALAPPDATA%\Programs\, or the XDG data home), with a trailing
// separator; "" when the platform gives none.
std::string UserProgramFilesFolder();

// The thirteen keywords published by AddFolderVariables, in this order:
// windows|programs|startmenu|startup|fonts|user_desktop|user_programs|
// user_startmenu|user_startup|user_documents|appdata|user_appdata|temp.
extern const char* const kFolderVariableList;

// For each keyword of kFolderVariableList in order, sets the variable
// keyword + suffix to SpecialFolderPath(keyword) with SetSettingValue
// (add-if-missing): an existing variable is overwritten; an empty path
// deletes an existing variable or appends "name=" when there is none.
void AddFolderVariables(StringList& variables, std::string_view suffix);

// `text` unchanged when it is empty or its last character is `separator`;
// otherwise `text` + `separator`.
std::string IncludeTrailing(std::string_view text, char separator);

// `path` unchanged when it is empty or ends in "\" or "/"; otherwise `path`
// followed by the platform's separator.
std::string IncludeTrailingSeparator(std::string_view path);

// `path` without one trailing "\" or "/" (a lone root separator stays).
std::string ExcludeTrailingSeparator(std::string_view path);

// The folder part of `path`: up to and including its last delimiter
// ("" when there is none).
std::string ExtractFilePath(std::string_view path);

// The name part of `path`: after its last delimiter.
std::string ExtractFileName(std::string_view path);

// The extension of `path`: from the last "." after the last delimiter
// ("" when the name has no dot).
std::string ExtractFileExt(std::string_view path);

// `fileName` without its current extension (see ExtractFileExt) followed by
// `newExtension` (given with its dot): "backup" and "backup.zip" become
// "backup.bvarc"; "my.dir\backup" becomes "my.dir\backup.bvarc".
std::string ChangeExtension(std::string_view fileName, std::string_view newExtension);

// The folder of the running executable, with a trailing separator.
std::string ExeFolder();

// `path` with every "\" and "/" replaced by the platform's separator.
std::string ToNativeSeparators(std::string_view path);

// `path` with every "/" replaced by "\" (the archive's stored-name form).
std::string ToBackslashes(std::string_view path);

// True when `path` names the same place whatever the current folder is:
// on Windows a drive letter with its root ("C:\", "C:/") or a network path
// ("\\server\share"); elsewhere a path starting at the root ("/" or "\").
// "C:\Program Files" is therefore relative on Linux.
bool IsAbsolutePath(std::string_view path);

}  // namespace sys
