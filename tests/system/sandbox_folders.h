// Special folders redirected into a temporary folder for one test.
//
// On POSIX systems every folder keyword resolves below the sandbox (through
// BREVION_ROOT, HOME, TMPDIR and the XDG variables), so shortcuts, stores
// and deletions never reach the real system. Windows has no such
// redirection: there the keywords keep their real (Wine prefix) folders and
// tests name their folders by path instead.
#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "support/temp_dir.h"
#include "system/files.h"
#include "system/paths.h"

namespace testsupport {

class SandboxFolders {
 public:
  SandboxFolders() {
#ifndef _WIN32
    Set("BREVION_ROOT", temp_.dir() + "root");
    Set("HOME", temp_.dir() + "home");
    Set("TMPDIR", temp_.dir() + "tmp");
    sys::CreateFolders(temp_.dir() + "tmp");  // later temporary folders go there
    sys::CreateFolders(temp_.dir() + "home");
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR",
                             "XDG_DOCUMENTS_DIR", "USERPROFILE"})
      Set(name, std::nullopt);
#endif
  }
  ~SandboxFolders() {
#ifndef _WIN32
    for (const auto& [name, value] : saved_) Apply(name, value);
#endif
  }
  SandboxFolders(const SandboxFolders&) = delete;
  SandboxFolders& operator=(const SandboxFolders&) = delete;

  // A scratch folder (with a trailing separator) outside every keyword
  // folder: stands for an installation folder, or for a shortcut folder
  // named by path.
  std::string Scratch(const std::string& name) const {
    std::string folder = temp_.dir() + "scratch" + sys::PathSeparator() + name;
    sys::CreateFolders(folder);
    return sys::IncludeTrailingSeparator(folder);
  }
  const TempDir& temp() const { return temp_; }

  // True where the keywords resolve into the sandbox.
  static constexpr bool kRedirected =
#ifdef _WIN32
      false;
#else
      true;
#endif

 private:
#ifndef _WIN32
  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    Apply(name, value);
  }
  static void Apply(const std::string& name, const std::optional<std::string>& value) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  std::map<std::string, std::optional<std::string>> saved_;
#endif
  TempDir temp_;
};

}  // namespace testsupport
