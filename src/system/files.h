// Folder listing with attribute letters, file attributes, deletion, and the
// small file operations the archive engine and the installer share.
//
// Attribute letters (matched with letter case; other characters ignored):
//   r read-only  h hidden  s system  v volume  d folder  a archive
//   l bit 0x40   * all of r, h, s, v, d and a
//   / option: descend into subfolders
//   p option: report full paths instead of paths relative to the folder
// The archive engine's usual selection is "adhrs/".
//
// On POSIX systems: hidden = the name begins with "."; read-only = no write
// permission bit set; archive = set for every entry that is not a folder;
// system = never set. A symbolic link is listed as what it points to but is
// never descended into, and deleting removes the link itself.
//
// Folders may be passed with or without a trailing separator. Nothing here
// reports an error to the user: entries that cannot be read are not listed,
// files that cannot be deleted stay.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "system/platform.h"
#include "system/settings.h"

namespace sys {

// The search mask of a set of attribute letters: the OR of 0x01 (r),
// 0x02 (h), 0x04 (s), 0x08 (v), 0x10 (d), 0x20 (a), 0x40 (l), 0x3F (*).
uint32_t AttributeMask(std::string_view letters);

// Called every 128 entries of one folder during ListFolder so that the user
// interface can process pending messages. The application installs it once;
// the default does nothing. Pass an empty function to remove it.
void SetMessagePump(std::function<void()> pump);

// Fills `list` with the entries of `folder` whose names match `fileMask`
// (such as "*.*"; the mask applies to folders too). With an empty
// `relativePrefix` (the top-level call) the list is cleared first.
// Folders are reported when "d" is given, files only when one of r, a or s
// is; hidden entries only with "h" (a hidden folder that is not reported is
// not descended into). With "/" subfolders are listed after their own entry
// (pre-order). Entries are relativePrefix + path below `folder`, levels
// joined with the platform separator, or full paths with "p"; folder entries
// carry no trailing separator. Order within a folder is the platform's.
void ListFolder(StringList& list, const std::string& folder, std::string_view letters,
                const std::string& fileMask, const std::string& relativePrefix = {});

// ListFolder without folder entries unless "d" is among the letters
// (subfolders are still searched when "/" is given). Returns the number of
// entries in `list`. For relative listings (without "p").
int ListFiles(StringList& list, const std::string& folder, std::string_view letters,
              const std::string& fileMask, const std::string& relativePrefix = {});

// The letters of an existing file's or folder's attributes, in the order
// a, d, h, r, s ("ar" for a read-only archived file); "" when the path
// exists neither as file nor as folder.
// The letters of platform attribute bits, in the order a, d, h, r, s.
std::string LettersOfAttributes(uint32_t attributes);

std::string AttributeLetters(const std::string& path);

// Clears `output` and adds AttributeLetters(folder + entry) for each entry.
void AttributeLettersForList(const std::string& folder, const StringList& entries,
                             StringList& output);

// Sets the path's attributes to exactly archive (a), hidden (h), read-only
// (r) and system (s) as given; other letters, "d" included, are ignored and
// absent letters clear their attribute. Returns whether the platform
// accepted the change (false for a missing path). POSIX: only r has an
// effect (it clears or restores write permission).
bool ApplyAttributeLetters(const std::string& path, std::string_view letters);

// Removes from `list` every entry that is not in `folder`, and the entry at
// the same index from `parallel` (when it has one). The folder part of an
// entry (up to its last separator) is compared, ignoring ASCII letter case,
// with the folder plus a trailing separator: equal, or with
// `includeSubfolders` beginning with it. With `makeRelative` the kept
// entries lose that prefix. Entries without a separator are always removed;
// an empty folder changes nothing. "\" and "/" count as the same separator.
void FilterByFolder(const std::string& folder, StringList& list, StringList& parallel,
                    bool includeSubfolders, bool makeRelative);

// Deletes the files of `folder` that match any of `masks` (separated by
// "|" or "+"); when `descend`, first applies itself to every matching
// subfolder and then removes it (which fails silently when something is
// left). Files that cannot be deleted, such as read-only ones, stay.
void DeleteMatchingFiles(const std::string& folder, const std::string& masks, bool descend);

// Deletes `folder` with everything below it. Read-only files (and thus the
// folders holding them) are left behind; symbolic links are removed, never
// followed. An empty or missing folder is left alone.
void DeleteFolderTree(const std::string& folder);

// ---- Single files and folders ---------------------------------------------

// What a path names, symbolic links followed, found without opening it (a
// pipe opened for reading waits for a writer that may never come).
enum class PathKind {
  Missing,       // nothing has the name
  File,          // a regular file
  Folder,        // a folder
  DanglingLink,  // a symbolic link to nothing
  Special,       // a pipe, socket or device
};
PathKind KindOfPath(const std::string& path);

// True when `path` exists and is not a folder.
bool FileExists(const std::string& path);
// True when `path` exists and is a folder.
bool FolderExists(const std::string& path);
// Creates `folder` and any missing parents; `folder` itself, when it is
// created here, gets `permissions` (POSIX bits, limited by the umask). True
// when it exists afterwards.
bool CreateFolders(const std::string& folder, uint32_t permissions = platform::kDefaultFolderPermissions);
// Deletes one file (refused for read-only files). True when deleted.
bool RemoveFile(const std::string& path);
// Removes one empty folder. True when removed.
bool RemoveFolder(const std::string& folder);
// Renames or moves a file; with `replace` an existing destination file is
// replaced, otherwise the call fails when the destination exists.
bool RenameFile(const std::string& from, const std::string& to, bool replace);

}  // namespace sys
