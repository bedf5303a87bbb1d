// Shortcuts to installed programs: files named "<name>" plus the platform's
// shortcut extension in a keyword folder (see SpecialFolderPath) or a
// subfolder below it.
//
// Windows writes shell links ("<name>.lnk"). Elsewhere the file is a
// launcher "<name>.desktop": a freedesktop desktop entry with mode 0755, at
// the same location and with the same clean-up rules.
// docs/linux-integration.md describes the launcher format.
#pragma once

#include <optional>
#include <string>

namespace sys {

// What a shortcut starts. The working folder is always the target's own.
struct ShortcutInfo {
  std::string target;         // full path of the file started
  std::string arguments;      // command-line text passed to it (may be "")
  std::string workingFolder;  // the target's folder, up to its last separator
  std::string iconFile;       // "" = the target's own icon
  int iconIndex = 0;
};

// Writes folder + name + kShortcutExtension, where folder is SpecialFolderPath(keyword)
// followed by `subfolder` (which may hold several levels, "Tools\Extras").
// Missing folders are created; an existing file of that name is replaced.
// The icon is set (index 0) only when `iconFile` is not empty.
// Returns false, writing nothing, when the keyword resolves to "" (whatever
// the subfolder). Otherwise
// returns true even when the platform failed to write the file.
// Windows: throws std::runtime_error when the shell link object cannot be
// created.
bool CreateShortcut(const std::string& target, const std::string& arguments,
                    const std::string& name, const std::string& keyword,
                    const std::string& iconFile, const std::string& subfolder);

// Deletes the link written by CreateShortcut with the same name, keyword and
// subfolder. True when the link existed and was deleted; false when the
// keyword resolves to "" or there is no such link. When `subfolder` is not
// empty and the link's own folder is left without visible files and without
// subfolders, that folder goes too (with any hidden files in it); its
// parents stay, and a keyword folder itself is never removed. A name with a
// separator, or a name or subfolder that is absolute, holds a colon or a
// ".." level, leads out of the keyword folder: false, nothing done.
bool DeleteShortcut(const std::string& name, const std::string& keyword,
                    const std::string& subfolder);

// The full path of the link CreateShortcut writes ("" when the keyword
// resolves to "").
std::string ShortcutPath(const std::string& name, const std::string& keyword,
                         const std::string& subfolder);

// Reads back an existing link file; nullopt when it cannot be read.
std::optional<ShortcutInfo> ReadShortcut(const std::string& linkPath);

namespace platform {

// ".lnk" on Windows, ".desktop" elsewhere.
extern const char* const kShortcutExtension;

// Writes `link` to `linkPath` (whose folder exists), replacing an existing
// file. Failures are ignored; the caller cannot tell them from success.
// Windows: throws std::runtime_error when the link object cannot be created.
void WriteShellLink(const ShortcutInfo& link, const std::string& linkPath);

// Reads a link file written by WriteShellLink (or by the platform's shell).
std::optional<ShortcutInfo> ReadShellLink(const std::string& linkPath);

}  // namespace platform
}  // namespace sys
