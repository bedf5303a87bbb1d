#include "system/protected_folders.h"

#include <vector>

#include "system/paths.h"
#include "system/platform.h"
#include "system/text.h"

namespace sys {
namespace {

// Every folder keyword, the all-users and the current user's alike.
constexpr const char* kKeywords[] = {
    "windows",      "temp",          "programs",       "startmenu",    "startup",
    "fonts",        "appdata",       "user_desktop",   "desktop",      "user_programs",
    "user_startmenu", "user_startup", "user_documents", "user_appdata",
};

// Environment variables naming the user's home or profile folder.
constexpr const char* kHomeVariables[] = {"HOME", "USERPROFILE"};

// Environment variables naming the folders programs are commonly installed
// into, and the user's own data folders.
constexpr const char* kCommonVariables[] = {
    "ProgramFiles",  "ProgramFiles(x86)", "ProgramW6432",   "ProgramData",     "CommonProgramFiles",
    "ALLUSERSPROFILE", "XDG_DATA_HOME",   "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
};

// The usual parents of installed programs on POSIX systems, below the root.
constexpr const char* kCommonParents[] = {"/opt", "/usr", "/usr/local", "/srv", "/var", "/etc"};

// The user's folders below the home folder.
constexpr const char* kHomeFolders[] = {".local",   ".local/share", ".local/state", ".config",  ".cache",
                                        "Desktop",  "Documents",    "Downloads",    "Music",    "Pictures",
                                        "Videos",   "Public",       "Templates"};

// A path split into its root and its folder names, with "." and ".."
// resolved and letters lowered. An empty root marks a relative path.
struct NormalPath {
  std::string root;
  std::vector<std::string> parts;
};

bool IsDriveLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Drive letters are roots only where the platform has them; elsewhere
// "C:\x" is a relative name.
bool PlatformHasDrives() { return PathSeparator() == '\\'; }

// Splits off the root of a path written with backslashes; returns the
// position where the folder names begin.
size_t SplitRoot(const std::string& path, std::string& root) {
  if (path.starts_with("\\\\")) {
    // \\server\share is the root of a network path.
    size_t server = path.find('\\', 2);
    size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
    root = path.substr(0, share);
    return share == std::string::npos ? path.size() : share;
  }
  if (PlatformHasDrives() && path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' &&
      path[2] == '\\') {
    root = path.substr(0, 3);
    return 3;
  }
  if (!path.empty() && path[0] == '\\') {
    root.assign(1, '\\');
    return 1;
  }
  root.clear();
  return 0;
}

NormalPath Normalize(const std::string& path) {
  const std::string text = LowerAscii(ToBackslashes(path));
  NormalPath result;
  size_t position = SplitRoot(text, result.root);
  while (position < text.size()) {
    size_t end = text.find('\\', position);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(position, end - position);
    position = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!result.parts.empty()) result.parts.pop_back();
      continue;
    }
    result.parts.push_back(std::move(part));
  }
  return result;
}

// True when `folder` is `other` or one of its ancestors.
bool IsSameOrAbove(const NormalPath& folder, const NormalPath& other) {
  if (folder.root != other.root || folder.parts.size() > other.parts.size()) return false;
  for (size_t i = 0; i < folder.parts.size(); ++i)
    if (folder.parts[i] != other.parts[i]) return false;
  return true;
}

// The real location of `path` with symbolic links resolved; with
// `keepLastName`, a link as the last name stays unresolved (deleting a
// folder tree removes such a link itself). "" when it cannot be resolved.
std::string RealLocation(const std::string& path, bool keepLastName) {
  const std::string native = ExcludeTrailingSeparator(ToNativeSeparators(path));
  if (keepLastName) {
    const size_t split = native.find_last_of(platform::kPathDelimiters);
    if (split != std::string::npos && split + 1 < native.size()) {
      const std::string parent = platform::RealPath(native.substr(0, split + 1));
      return parent.empty() ? std::string() : IncludeTrailingSeparator(parent) + native.substr(split + 1);
    }
  }
  return platform::RealPath(native);
}

// The protected folders, each as written and at its real location.
std::vector<NormalPath> ProtectedFolders() {
  std::vector<std::string> folders;
  for (const char* keyword : kKeywords) folders.push_back(SpecialFolderPath(keyword));
  for (const char* variable : kHomeVariables) {
    const std::string home = platform::GetEnvironment(variable).value_or("");
    folders.push_back(home);
    if (home.empty()) continue;
    for (const char* name : kHomeFolders) folders.push_back(IncludeTrailingSeparator(home) + name);
  }
  for (const char* variable : kCommonVariables)
    folders.push_back(platform::GetEnvironment(variable).value_or(""));
  if (!PlatformHasDrives()) {
    // Also below a relocated root (BREVION_ROOT) that the keyword folders use.
    const std::string root = ExcludeTrailingSeparator(platform::GetEnvironment("BREVION_ROOT").value_or(""));
    for (const char* parent : kCommonParents) {
      folders.push_back(parent);
      if (!root.empty()) folders.push_back(root + parent);
    }
  }
  std::vector<NormalPath> result;
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    NormalPath written = Normalize(folder);
    if (written.root.empty()) continue;  // nothing absolute to protect
    result.push_back(std::move(written));
    std::string real = RealLocation(folder, false);
    if (!real.empty()) result.push_back(Normalize(real));
  }
  return result;
}

bool IsProtectedPath(const NormalPath& candidate, const std::vector<NormalPath>& protectedFolders) {
  if (candidate.root.empty() || candidate.parts.empty()) return true;
  for (const NormalPath& folder : protectedFolders)
    if (IsSameOrAbove(candidate, folder)) return true;
  return false;
}

}  // namespace

bool IsProtectedFolder(const std::string& folder) {
  const std::vector<NormalPath> protectedFolders = ProtectedFolders();
  if (IsProtectedPath(Normalize(folder), protectedFolders)) return true;
  const std::string real = RealLocation(folder, true);
  return !real.empty() && IsProtectedPath(Normalize(real), protectedFolders);
}

}  // namespace sys
