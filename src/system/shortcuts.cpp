#include "system/shortcuts.h"

#include "system/files.h"
#include "system/paths.h"
#include "system/protected_folders.h"

namespace sys {
namespace {

// SpecialFolderPath(keyword) followed by the subfolder, with a trailing
// separator. "" when the keyword resolves to nothing: the subfolder alone
// would be a path relative to whatever the current folder happens to be.
std::string ShortcutFolder(const std::string& keyword, const std::string& subfolder) {
  const std::string base = SpecialFolderPath(keyword);
  return base.empty() ? std::string() : IncludeTrailingSeparator(base + subfolder);
}

// A link's folder counts as empty when it holds no visible file and no
// subfolder. Hidden files (such as a folder's own view settings) do not
// count. Subfolders do: they may hold other programs' shortcuts.
bool IsLeftEmpty(const std::string& folder) {
  StringList entries;
  if (ListFiles(entries, folder, "rsa", "*.*") > 0) return false;
  ListFolder(entries, folder, "dh", "*.*");  // subfolders only, hidden ones too
  return entries.empty();
}

// True when `part` names something inside the folder it is joined to: not
// absolute, no drive or other colon, no ".." level (nor another level of
// dots and spaces, which Windows may read as one; "." itself stays).
bool StaysInside(const std::string& part) {
  const std::string path = ToBackslashes(part);
  if (path.find(':') != std::string::npos || (!path.empty() && path.front() == '\\')) return false;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::string level = path.substr(start, end - start);
    if (!level.empty() && level != "." && level.find_first_not_of(". ") == std::string::npos) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string ShortcutPath(const std::string& name, const std::string& keyword,
                         const std::string& subfolder) {
  const std::string folder = ShortcutFolder(keyword, subfolder);
  return folder.empty() ? std::string() : ToNativeSeparators(folder) + name + platform::kShortcutExtension;
}

bool CreateShortcut(const std::string& target, const std::string& arguments,
                    const std::string& name, const std::string& keyword,
                    const std::string& iconFile, const std::string& subfolder) {
  ShortcutInfo link;
  link.target = target;
  link.arguments = arguments;
  link.workingFolder = ExtractFilePath(target);
  link.iconFile = iconFile;
  const std::string folder = ShortcutFolder(keyword, subfolder);
  if (folder.empty()) return false;
  CreateFolders(folder);
  platform::WriteShellLink(link, ToNativeSeparators(folder) + name + platform::kShortcutExtension);
  return true;
}

bool DeleteShortcut(const std::string& name, const std::string& keyword,
                    const std::string& subfolder) {
  // The log names a link below a keyword folder; a name or subfolder that
  // leads elsewhere (a damaged or hand-edited log) is not followed.
  if (!StaysInside(subfolder) || !StaysInside(name) || name.find_first_of("\\/") != std::string::npos)
    return false;
  const std::string folder = ShortcutFolder(keyword, subfolder);
  if (folder.empty()) return false;
  const std::string linkPath = ToNativeSeparators(folder) + name + platform::kShortcutExtension;
  if (!FileExists(linkPath)) return false;
  RemoveFile(linkPath);
  // The keyword folder itself (an empty subfolder) is never cleaned up, and
  // neither is a subfolder such as ".." that leads back to a shared folder.
  if (!subfolder.empty() && IsLeftEmpty(folder) && !IsProtectedFolder(folder))
    DeleteFolderTree(folder);
  return true;
}

std::optional<ShortcutInfo> ReadShortcut(const std::string& linkPath) {
  return platform::ReadShellLink(linkPath);
}

}  // namespace sys
