// Win32 side of the platform seam: attributes, dates, searches and file
// operations through the ANSI file API.
#include <windows.h>

#include <vector>

#include "system/platform.h"

namespace sys::platform {

const char kPathSeparator = '\\';
const char* const kPathDelimiters = "\\/:";

namespace {

// FILETIME counts 100-nanosecond ticks since 1601-01-01 UTC.
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

// The attribute bits the seam reports (kAttrLink is the reparse-point bit).
constexpr DWORD kReportedAttributes = 0x7F | kAttrLink;

int64_t ToUnixSeconds(const FILETIME& time) {
  ULARGE_INTEGER ticks;
  ticks.LowPart = time.dwLowDateTime;
  ticks.HighPart = time.dwHighDateTime;
  return static_cast<int64_t>(ticks.QuadPart) / kTicksPerSecond - kSecondsFrom1601To1970;
}

FILETIME ToFileTime(int64_t unixSeconds) {
  ULARGE_INTEGER ticks;
  ticks.QuadPart = static_cast<ULONGLONG>((unixSeconds + kSecondsFrom1601To1970) * kTicksPerSecond);
  FILETIME time;
  time.dwLowDateTime = ticks.LowPart;
  time.dwHighDateTime = ticks.HighPart;
  return time;
}

std::string WithTrailingBackslash(const std::string& folder) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder;
  return folder + "\\";
}

}  // namespace

std::optional<uint32_t> GetAttributes(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes & kReportedAttributes;
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
  DWORD value = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  if (value == 0) value = FILE_ATTRIBUTE_NORMAL;  // "no attributes" in the API's words
  return SetFileAttributesA(path.c_str(), value) != 0;
}

bool MarkExecutable(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<int64_t> GetModifiedTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return ToUnixSeconds(data.ftLastWriteTime);
}

bool SetModifiedTime(const std::string& path, int64_t unixSeconds) {
  // Backup semantics let the same call open folders.
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME time = ToFileTime(unixSeconds);
  bool ok = SetFileTime(file, nullptr, nullptr, &time) != 0;
  CloseHandle(file);
  return ok;
}

LocalDateTime ToLocalDateTime(int64_t unixSeconds) {
  FILETIME utc = ToFileTime(unixSeconds), local;
  SYSTEMTIME fields{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &fields))
    return {};
  return {fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute, fields.wSecond};
}

std::optional<int64_t> FromLocalDateTime(const LocalDateTime& local) {
  SYSTEMTIME fields{};
  fields.wYear = static_cast<WORD>(local.year);
  fields.wMonth = static_cast<WORD>(local.month);
  fields.wDay = static_cast<WORD>(local.day);
  fields.wHour = static_cast<WORD>(local.hour);
  fields.wMinute = static_cast<WORD>(local.minute);
  fields.wSecond = static_cast<WORD>(local.second);
  FILETIME localTime, utc;
  if (!SystemTimeToFileTime(&fields, &localTime) || !LocalFileTimeToFileTime(&localTime, &utc))
    return std::nullopt;
  return ToUnixSeconds(utc);
}

struct FolderSearch::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data{};
  bool pending = false;  // `data` holds a match not yet handed out
};

FolderSearch::FolderSearch(const std::string& folder, const std::string& mask)
    : state_(std::make_unique<State>()) {
  const std::string pattern = WithTrailingBackslash(folder) + (mask.empty() ? "*" : mask);
  state_->handle = FindFirstFileA(pattern.c_str(), &state_->data);
  state_->pending = state_->handle != INVALID_HANDLE_VALUE;
}

FolderSearch::~FolderSearch() {
  if (state_->handle != INVALID_HANDLE_VALUE) FindClose(state_->handle);
}

bool FolderSearch::Next(FoundEntry& entry) {
  if (!state_->pending) return false;
  entry.name = state_->data.cFileName;
  entry.attributes = state_->data.dwFileAttributes & kReportedAttributes;
  state_->pending = FindNextFileA(state_->handle, &state_->data) != 0;
  return true;
}

bool IsReservedName(const std::string& name) {
  // The device name is what comes before the first dot; trailing spaces
  // are dropped by the file system as well.
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
         stem[3] <= '9';
}

bool CreateFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool RemoveFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    // A folder link (junction or symbolic link) is removed as a folder;
    // this removes the link, never what it points to.
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && RemoveDirectoryA(path.c_str()) != 0;
  }
  return DeleteFileA(path.c_str()) != 0;
}

bool RemoveFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool RenameFile(const std::string& from, const std::string& to, bool replace) {
  DWORD flags = MOVEFILE_COPY_ALLOWED | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  return MoveFileExA(from.c_str(), to.c_str(), flags) != 0;
}

std::optional<std::string> GetEnvironment(const std::string& name) {
  DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::vector<char> buffer(size);
  DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), size);
  if (length >= size) return std::nullopt;
  return std::string(buffer.data(), length);
}

std::string ExecutablePath() {
  std::vector<char> buffer(MAX_PATH * 4);
  DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  return std::string(buffer.data(), length);
}

}  // namespace sys::platform
