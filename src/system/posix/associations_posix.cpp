// The classes root on POSIX systems: a text store with the registry's
// layout, "brevion/classes.ini" in the all-users application-data folder
// (docs/linux-integration.md):
//
//   [.abc\shell\open\command]
//   @=/opt/App/app %1
//
// One section per key (its path below the classes root, levels separated
// by "\", matched without ASCII letter case); "@" names the default value;
// a value runs to the end of its line. Other lines are kept as they are.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "system/associations.h"
#include "system/platform.h"

namespace sys::platform {
namespace {

constexpr const char* kStoreFolder = "brevion";
constexpr const char* kStoreName = "classes.ini";
constexpr const char* kDefaultValuePrefix = "@=";
constexpr const char* kWriteError = "Failed to set data for ''";

std::string StoreFolder() {
  std::string folder = KnownFolderPath(KnownFolder::CommonAppData);
  if (folder.empty()) return {};
  if (folder.back() != '/') folder += '/';
  return folder + kStoreFolder + "/";
}

bool SameKey(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool IsSectionHeader(const std::string& line) {
  return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

std::string SectionName(const std::string& line) { return line.substr(1, line.size() - 2); }

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream file(path, std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Index of the header line of `key`'s section, or lines.size().
size_t FindSection(const std::vector<std::string>& lines, const std::string& key) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (IsSectionHeader(lines[i]) && SameKey(SectionName(lines[i]), key)) return i;
  return lines.size();
}

void SetDefaultValue(std::vector<std::string>& lines, const std::string& key,
                     const std::string& value) {
  const std::string valueLine = kDefaultValuePrefix + value;
  size_t header = FindSection(lines, key);
  if (header == lines.size()) {
    if (!lines.empty() && !lines.back().empty()) lines.push_back("");
    lines.push_back("[" + key + "]");
    lines.push_back(valueLine);
    return;
  }
  size_t i = header + 1;
  for (; i < lines.size() && !IsSectionHeader(lines[i]); ++i) {
    if (lines[i].starts_with(kDefaultValuePrefix)) {
      lines[i] = valueLine;
      return;
    }
  }
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(header + 1), valueLine);
}

bool CreateFolderChain(const std::string& folder) {
  for (size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1))
    mkdir(folder.substr(0, slash).c_str(), 0755);
  struct stat st {};
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Writes beside the store and renames over it, so that a failed write never
// leaves a half store behind.
bool WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  const std::string temporary = path + ".new";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) file << line << '\n';
    file.flush();
    if (!file) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  std::remove(temporary.c_str());
  return false;
}

}  // namespace

void WriteClassesRootDefault(const std::string& keyPath, const std::string& value) {
  const std::string folder = StoreFolder();
  // A line break would end the value early and corrupt the store.
  if (folder.empty() || value.find_first_of("\r\n") != std::string::npos ||
      keyPath.find_first_of("\r\n") != std::string::npos || !CreateFolderChain(folder))
    throw std::runtime_error(kWriteError);
  const std::string path = folder + kStoreName;
  std::vector<std::string> lines = ReadLines(path);
  SetDefaultValue(lines, keyPath, value);
  if (!WriteLines(path, lines)) throw std::runtime_error(kWriteError);
}

std::optional<std::string> ReadClassesRootDefault(const std::string& keyPath) {
  const std::string folder = StoreFolder();
  if (folder.empty()) return std::nullopt;
  const std::vector<std::string> lines = ReadLines(folder + kStoreName);
  size_t header = FindSection(lines, keyPath);
  for (size_t i = header + 1; i < lines.size() && !IsSectionHeader(lines[i]); ++i)
    if (lines[i].starts_with(kDefaultValuePrefix))
      return lines[i].substr(std::string(kDefaultValuePrefix).size());
  return std::nullopt;
}

}  // namespace sys::platform
