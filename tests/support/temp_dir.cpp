#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    path_ = fs::temp_directory_path() /
            ("brevion-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(path_, ec)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files and folders would stop remove_all on Windows.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::dir() const {
  std::string s = path_.string();
  if (s.empty() || (s.back() != '/' && s.back() != '\\'))
    s += static_cast<char>(fs::path::preferred_separator);
  return s;
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  fs::path file = path_ / fs::path(name);
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out << content;
  return file.string();
}

UndeletableFile::UndeletableFile(const std::string& path) {
  if constexpr (fs::path::preferred_separator == '\\') {
    holder_.open(path, std::ios::binary);  // the C library's files do not share deletion
    held_ = holder_.is_open();
    return;
  }
  folder_ = fs::path(path).parent_path();
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  // Root writes where the permissions say no: then nothing holds the file.
  const fs::path probe = folder_ / "probe";
  held_ = !std::ofstream(probe).is_open();
  std::error_code ec;
  if (!held_) fs::remove(probe, ec);
}

UndeletableFile::~UndeletableFile() {
  std::error_code ec;
  if (!folder_.empty()) fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string ReadTestData(const std::string& name) {
  return ReadFile(fs::path(BREVION_TEST_DATA) / name);
}

}  // namespace testsupport
