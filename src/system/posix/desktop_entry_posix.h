// Desktop entries (the ".desktop" files that menus, desktops and file
// managers read) and the small file helpers the POSIX desktop integration
// shares: launchers, association handlers and launching.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sys::platform::desktop {

// "\" read as "/": scripts written with Windows separators still name files.
std::string ToSlashes(std::string path);

// The general escapes of string values: \\ \n \r \t, and \s for a leading
// blank (which readers would trim).
std::string EscapeValue(const std::string& value);
std::string UnescapeValue(const std::string& value);

// A command-line text split as a Windows program reads it: blanks and tabs
// separate arguments, double quotes group blanks and are removed.
std::vector<std::string> SplitCommandLine(const std::string& text);
// The reverse: arguments holding a blank, or empty ones, in double quotes.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

// One argument as the Exec key wants it (before EscapeValue): quoted when it
// holds a reserved character (blank, quotes, "\", shell operators, ...),
// with \" \` \$ \\ inside the quotes; every "%" doubled.
std::string ExecArgument(const std::string& argument);
// An unescaped Exec value split into its arguments, quotes removed and "%%"
// read as "%"; field codes such as %f are dropped.
std::vector<std::string> ParseExec(const std::string& exec);

// The unescaped keys of the "[Desktop Entry]" group; nullopt when the file
// cannot be read or has no such group.
std::optional<std::map<std::string, std::string>> ReadEntry(const std::string& path);

// Writes `text` beside `path` with `mode` and renames it over `path`, so an
// existing file (a symbolic link included) is replaced, never written
// through, and a failed write leaves the old file. True on success.
bool ReplaceFile(const std::string& path, const std::string& text, mode_t mode);

// Creates `folder` and every missing parent (mode 0755). True when it is a
// folder afterwards.
bool MakeFolders(const std::string& folder);

// Runs argv[0] with the rest as its arguments, searching PATH, in `folder`
// ("" = the current one), and waits for it; its output is discarded. The
// exit status, or nullopt when it could not run (not installed, say).
std::optional<int> RunAndWait(const std::vector<std::string>& argv, const std::string& folder = "");

// True for an existing file that is meant to run rather than be opened: a
// compiled program or a script naming its interpreter (whatever its
// permissions).
bool LooksLikeProgram(const std::string& path);

// True for an existing regular file that is neither executable nor looks
// like a program: it is opened by the handler of its type, not run.
bool IsDocument(const std::string& path);

// The command that opens a document with the desktop's handler.
inline constexpr const char* kOpenCommand = "xdg-open";

// True when `program` is found on PATH as an executable file.
bool OnPath(const std::string& program);

}  // namespace sys::platform::desktop
