// A fresh temporary folder for one test, removed with everything in it when
// the test ends.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as the system's own folder strings are written: with a
  // trailing separator.
  std::string dir() const;
  // Writes `content` to the relative path `name` (creating parent folders)
  // and returns its full path.
  std::string Write(const std::string& name, const std::string& content) const;

 private:
  std::filesystem::path path_;
};

// Keeps the file `path` from being deleted while it lives, as another
// program holding it open does on Windows; elsewhere its folder loses write
// permission, which binds everyone but root (Held() false then).
class UndeletableFile {
 public:
  explicit UndeletableFile(const std::string& path);
  ~UndeletableFile();
  UndeletableFile(const UndeletableFile&) = delete;
  UndeletableFile& operator=(const UndeletableFile&) = delete;

  bool Held() const { return held_; }

 private:
  std::filesystem::path folder_;
  std::ifstream holder_;
  bool held_ = false;
};

// Whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::filesystem::path& file);
// Bytes of a file from the test data folder (tests/data).
std::string ReadTestData(const std::string& name);

}  // namespace testsupport
