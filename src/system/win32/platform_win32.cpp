// Win32 side of the platform seam: attributes, dates, searches and file
// operations through the ANSI file API.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

// Sharing that lets other handles, ours included, keep the file open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Closes a file handle when it goes out of scope.
class HandleCloser {
 public:
  explicit HandleCloser(HANDLE handle) : handle_(handle) {}
  ~HandleCloser() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;
  HANDLE get() const { return handle_; }
  // Closes now and reports whether closing succeeded.
  bool Close() {
    const bool ok = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_;
};

// The largest single ReadFile or WriteFile request.
constexpr DWORD kMaxTransfer = 1u << 30;

std::string FullPath(const std::string& path) {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(length + 1);
  }
}

// The length of the root of a full path: "C:\" or "\\server\share"; 0
// when there is none.
size_t RootLength(const std::string& full) {
  if (full.size() >= 3 && full[1] == ':' && full[2] == '\\') return 3;
  if (!full.starts_with("\\\\")) return 0;
  const size_t server = full.find('\\', 2);
  if (server == std::string::npos) return full.size();
  const size_t share = full.find('\\', server + 1);
  return share == std::string::npos ? full.size() : share;
}

// The final path of an existing file or folder, links and junctions
// followed, in its ordinary drive-letter or \\server\share form; "" when
// the system cannot tell.
std::string FinalPath(const std::string& existing) {
  HandleCloser file(CreateFileA(existing.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return {};
  std::vector<char> buffer(MAX_PATH);
  DWORD length = GetFinalPathNameByHandleA(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), 0);
  if (length >= buffer.size()) {
    buffer.resize(length + 1);
    length = GetFinalPathNameByHandleA(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), 0);
  }
  if (length == 0 || length >= buffer.size()) return {};
  std::string result(buffer.data(), length);
  if (result.starts_with("\\\\?\\UNC\\")) return "\\" + result.substr(7);
  if (result.starts_with("\\\\?\\")) return result.substr(4);
  return result;
}

}  // namespace

std::optional<uint32_t> GetAttributes(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes & kReportedAttributes;
}

bool IsNewFileDefault(uint32_t attributes) {
  return (attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive)) == kAttrArchive;
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

bool CreateFolder(const std::string& path, uint32_t /*permissions*/) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

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

std::optional<int64_t> RegularFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return std::nullopt;
  return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  HandleCloser file(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE || GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return std::nullopt;
  std::string content;
  content.reserve(static_cast<size_t>(size.QuadPart));
  std::vector<char> chunk(1 << 16);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    content.append(chunk.data(), got);
  }
  return content;
}

bool WriteWholeFile(const std::string& path, std::string_view content) {
  // Opened and then emptied rather than created anew: creating over an
  // existing hidden or system file is refused by the system.
  HandleCloser file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE || !SetEndOfFile(file.get())) return false;
  while (!content.empty()) {
    DWORD put = 0;
    const DWORD part = static_cast<DWORD>(std::min<size_t>(content.size(), kMaxTransfer));
    if (!WriteFile(file.get(), content.data(), part, &put, nullptr) || put == 0) return false;
    content.remove_prefix(put);
  }
  return file.Close();
}

std::string RealPath(const std::string& path) {
  const std::string full = FullPath(path);
  if (full.empty()) return {};
  // The longest leading part that exists is resolved by the system; what
  // lies beyond it is kept as written.
  std::string head = full, tail;
  const size_t root = RootLength(full);
  while (GetFileAttributesA(head.c_str()) == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME) return {};
    const size_t slash = head.find_last_of('\\');
    if (slash == std::string::npos || slash + 1 < root || head.size() <= root) return full;  // no such drive or share
    tail = head.substr(slash) + tail;
    head.erase(std::max(slash, root));
  }
  std::string resolved = FinalPath(head);
  if (resolved.empty()) resolved = head;
  if (!tail.empty() && !resolved.empty() && resolved.back() == '\\') resolved.pop_back();
  return resolved + tail;
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

namespace {

// The C library's number for a system error, so that both platforms
// describe a failed open in the same words.
int ErrnoFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    default: return EACCES;  // access, sharing and lock violations among them
  }
}

OVERLAPPED At(int64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return at;
}

}  // namespace

bool FileHandle::Open(const std::string& path, OpenMode mode, std::string& reason, uint32_t /*permissions*/) {
  Close();
  DWORD access = GENERIC_READ | GENERIC_WRITE, disposition = OPEN_EXISTING;
  switch (mode) {
    case OpenMode::Read: access = GENERIC_READ; break;
    // Opened and then emptied rather than created anew: creating over an
    // existing hidden or system file is refused by the system.
    case OpenMode::Create: disposition = OPEN_ALWAYS; break;
    case OpenMode::CreateNew: disposition = CREATE_NEW; break;
    case OpenMode::ReadWrite: break;
  }
  HANDLE file = CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE && mode == OpenMode::Create && !SetEndOfFile(file)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    file = INVALID_HANDLE_VALUE;
  }
  if (file == INVALID_HANDLE_VALUE) {
    reason = std::strerror(ErrnoFor(GetLastError()));
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  return true;
}

namespace {

// Repeats `transfer(at, done, part, moved)`, one ReadFile or WriteFile of
// `part` bytes at offset `at` from position `done` on, until `count` bytes
// have moved, the file ends or the call fails.
template <typename Transfer>
int64_t TransferAll(int64_t offset, int64_t count, Transfer transfer) {
  int64_t done = 0;
  while (done < count) {
    OVERLAPPED at = At(offset + done);
    DWORD moved = 0;
    const DWORD part = static_cast<DWORD>(std::min<int64_t>(count - done, kMaxTransfer));
    if (!transfer(at, done, part, moved) || moved == 0) break;
    done += moved;
  }
  return done;
}

}  // namespace

int64_t FileHandle::ReadAt(int64_t offset, void* buffer, int64_t count) {
  return TransferAll(offset, count, [&](OVERLAPPED& at, int64_t done, DWORD part, DWORD& moved) {
    return ReadFile(reinterpret_cast<HANDLE>(handle_), static_cast<char*>(buffer) + done, part, &moved, &at);
  });
}

int64_t FileHandle::WriteAt(int64_t offset, const void* buffer, int64_t count) {
  return TransferAll(offset, count, [&](OVERLAPPED& at, int64_t done, DWORD part, DWORD& moved) {
    return WriteFile(reinterpret_cast<HANDLE>(handle_), static_cast<const char*>(buffer) + done, part, &moved,
                     &at);
  });
}

// The system offers no copy between ranges of two open files.
int64_t FileHandle::CopyFrom(FileHandle&, int64_t, int64_t, int64_t) { return -1; }

std::optional<int64_t> FileHandle::Size() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &size)) return std::nullopt;
  return static_cast<int64_t>(size.QuadPart);
}

bool FileHandle::Resize(int64_t size) {
  if (size < 0) return false;
  FILE_END_OF_FILE_INFO end;
  end.EndOfFile.QuadPart = size;
  return SetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), FileEndOfFileInfo, &end, sizeof end) != 0;
}

bool FileHandle::SetModifiedTime(int64_t unixSeconds) {
  const FILETIME time = ToFileTime(unixSeconds);
  return SetFileTime(reinterpret_cast<HANDLE>(handle_), nullptr, nullptr, &time) != 0;
}

bool FileHandle::Close() {
  if (handle_ == kNone) return false;
  const bool ok = CloseHandle(reinterpret_cast<HANDLE>(handle_)) != 0;
  handle_ = kNone;
  return ok;
}

}  // namespace sys::platform
