// Folder keywords on POSIX systems, following the XDG base-directory and
// user-dirs conventions and the usual FHS locations. docs/linux-folders.md
// holds the table.
//
// Every folder can be redirected through the environment so that tests,
// sandboxes and demos never touch the real system folders:
//   BREVION_ROOT  prefix of every all-users folder (default: "" = "/")
//   HOME, XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_DESKTOP_DIR,
//   XDG_DOCUMENTS_DIR  the current user's folders
//   TMPDIR        the temporary-files folder
#include <pwd.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "system/platform.h"

namespace sys::platform {
namespace {

std::string WithoutTrailingSlashes(std::string path) {
  while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  return path;
}

// A variable's value when it is set to an absolute path ("" otherwise): the
// XDG rules ignore relative values.
std::string AbsoluteEnvironment(const char* name) {
  auto value = GetEnvironment(name);
  if (!value || value->empty() || (*value)[0] != '/') return {};
  return *value;
}

std::string Root() { return WithoutTrailingSlashes(GetEnvironment("BREVION_ROOT").value_or("")); }

std::string Home() {
  std::string home = AbsoluteEnvironment("HOME");
  if (!home.empty()) return WithoutTrailingSlashes(home);
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir)
    return WithoutTrailingSlashes(found->pw_dir);
  return {};
}

// An XDG base directory: the variable, else home + fallback; "" without a
// home.
std::string BaseDirectory(const char* variable, const char* homeRelative) {
  std::string value = AbsoluteEnvironment(variable);
  if (!value.empty()) return WithoutTrailingSlashes(value);
  std::string home = Home();
  return home.empty() ? std::string() : home + "/" + homeRelative;
}

// A user directory (DESKTOP, DOCUMENTS): XDG_<key>_DIR from the environment,
// else from the user-dirs.dirs file of the configuration folder; "" when
// neither names one.
std::string UserDirectory(const std::string& key) {
  const std::string variable = "XDG_" + key + "_DIR";
  std::string value = AbsoluteEnvironment(variable.c_str());
  if (!value.empty()) return value;
  std::string config = BaseDirectory("XDG_CONFIG_HOME", ".config");
  if (config.empty()) return {};
  std::ifstream file(config + "/user-dirs.dirs");
  std::string line;
  const std::string prefix = variable + "=\"";
  while (std::getline(file, line)) {
    if (!line.starts_with(prefix) || line.size() <= prefix.size() || line.back() != '"') continue;
    std::string path = line.substr(prefix.size(), line.size() - prefix.size() - 1);
    if (path.starts_with("$HOME")) path = Home() + path.substr(5);
    if (!path.empty() && path[0] == '/') return path;
  }
  return {};
}

// A user directory with the fallback below the home folder.
std::string UserDirectoryOr(const std::string& key, const char* homeRelative) {
  std::string path = UserDirectory(key);
  if (!path.empty()) return path;
  std::string home = Home();
  return home.empty() ? std::string() : home + "/" + homeRelative;
}

std::string TempFolder() {
  std::string temp = AbsoluteEnvironment("TMPDIR");
  return temp.empty() ? std::string("/tmp/") : temp;
}

}  // namespace

std::string KnownFolderPath(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::Windows: return Root() + "/etc/";
    case KnownFolder::Temp: return TempFolder();
    case KnownFolder::CommonPrograms:
    case KnownFolder::CommonStartMenu: return Root() + "/usr/share/applications/";
    case KnownFolder::CommonStartup: return Root() + "/etc/xdg/autostart/";
    case KnownFolder::Fonts: return Root() + "/usr/share/fonts/";
    case KnownFolder::CommonAppData: return Root() + "/var/lib/";
    case KnownFolder::Desktop: return UserDirectoryOr("DESKTOP", "Desktop");
    case KnownFolder::Programs:
    case KnownFolder::StartMenu: {
      std::string data = BaseDirectory("XDG_DATA_HOME", ".local/share");
      return data.empty() ? data : data + "/applications/";
    }
    case KnownFolder::Startup: {
      std::string config = BaseDirectory("XDG_CONFIG_HOME", ".config");
      return config.empty() ? config : config + "/autostart/";
    }
    case KnownFolder::Documents: return UserDirectoryOr("DOCUMENTS", "Documents");
    case KnownFolder::AppData:
    // Per-user programs live beside the user's other data.
    case KnownFolder::UserProgramFiles: return BaseDirectory("XDG_DATA_HOME", ".local/share");
  }
  return {};
}

}  // namespace sys::platform
