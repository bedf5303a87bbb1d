// Win32 side of the platform seam: attributes, dates, searches and file
// operations through the wide (UTF-16) file API; paths arrive in UTF-8.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "system/path_limits.h"
#include "system/platform.h"
#include "system/win32/long_path.h"
#include "system/win32/wide_text.h"

namespace sys::platform {

const char kPathSeparator = '\\';
const char* const kPathDelimiters = "\\/:";
const size_t kMaxPathLength = MAX_PATH - 1;

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
  const std::wstring wide = win32::Widen(path);
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return {};
    if (length < buffer.size()) return win32::Narrow(std::wstring_view(buffer.data(), length));
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
  HandleCloser file(CreateFileW(win32::LongPath(existing).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return {};
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD length = GetFinalPathNameByHandleW(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), 0);
  if (length >= buffer.size()) {
    buffer.resize(length + 1);
    length = GetFinalPathNameByHandleW(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), 0);
  }
  if (length == 0 || length >= buffer.size()) return {};
  std::string result = win32::Narrow(std::wstring_view(buffer.data(), length));
  if (result.starts_with("\\\\?\\UNC\\")) return "\\" + result.substr(7);
  if (result.starts_with("\\\\?\\")) return result.substr(4);
  return result;
}

}  // namespace

std::optional<uint32_t> GetAttributes(const std::string& path) {
  DWORD attributes = GetFileAttributesW(win32::LongPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes & kReportedAttributes;
}

bool IsNewFileDefault(uint32_t attributes) {
  return (attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive)) == kAttrArchive;
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
  DWORD value = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  if (value == 0) value = FILE_ATTRIBUTE_NORMAL;  // "no attributes" in the API's words
  return SetFileAttributesW(win32::LongPath(path).c_str(), value) != 0;
}

bool MarkExecutable(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(win32::LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<int64_t> GetModifiedTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(win32::LongPath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return ToUnixSeconds(data.ftLastWriteTime);
}

bool SetModifiedTime(const std::string& path, int64_t unixSeconds) {
  // Backup semantics let the same call open folders.
  HANDLE file = CreateFileW(win32::LongPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
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
  WIN32_FIND_DATAW data{};
  bool pending = false;  // `data` holds a match not yet handed out
};

FolderSearch::FolderSearch(const std::string& folder, const std::string& mask)
    : state_(std::make_unique<State>()) {
  const std::string pattern = WithTrailingBackslash(folder) + (mask.empty() ? "*" : mask);
  state_->handle = FindFirstFileW(win32::LongPath(pattern).c_str(), &state_->data);
  state_->pending = state_->handle != INVALID_HANDLE_VALUE;
}

FolderSearch::~FolderSearch() {
  if (state_->handle != INVALID_HANDLE_VALUE) FindClose(state_->handle);
}

bool FolderSearch::Next(FoundEntry& entry) {
  if (!state_->pending) return false;
  entry.name = win32::Narrow(state_->data.cFileName);
  entry.attributes = state_->data.dwFileAttributes & kReportedAttributes;
  state_->pending = FindNextFileW(state_->handle, &state_->data) != 0;
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

bool CreateFolder(const std::string& path, uint32_t /*permissions*/) { return CreateDirectoryW(win32::LongPath(path).c_str(), nullptr) != 0; }

bool RemoveFile(const std::string& path) {
  DWORD attributes = GetFileAttributesW(win32::LongPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    // A folder link (junction or symbolic link) is removed as a folder;
    // this removes the link, never what it points to.
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && RemoveDirectoryW(win32::LongPath(path).c_str()) != 0;
  }
  return DeleteFileW(win32::LongPath(path).c_str()) != 0;
}

bool RemoveFolder(const std::string& path) { return RemoveDirectoryW(win32::LongPath(path).c_str()) != 0; }

bool RenameFile(const std::string& from, const std::string& to, bool replace) {
  DWORD flags = MOVEFILE_COPY_ALLOWED | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  return MoveFileExW(win32::LongPath(from).c_str(), win32::LongPath(to).c_str(), flags) != 0;
}

std::optional<int64_t> RegularFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(win32::LongPath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return std::nullopt;
  return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

namespace {

// 100-nanosecond intervals since 1601 to nanoseconds since 1970.
int64_t FileTimeToUnixNs(int64_t ticks) { return (ticks - 116444736000000000LL) * 100; }

}  // namespace

std::optional<FileIdentity> RegularFileIdentity(const std::string& path) {
  HandleCloser file(CreateFileW(win32::LongPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE || GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandle(file.get(), &info) ||
      !GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || basic.ChangeTime.QuadPart == 0) {
    // A file system without change times cannot tell a rewrite apart.
    return std::nullopt;
  }
  FileIdentity identity;
  identity.volume = info.dwVolumeSerialNumber;
  identity.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  identity.size = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  identity.modifiedNs = FileTimeToUnixNs(basic.LastWriteTime.QuadPart);
  identity.changedNs = FileTimeToUnixNs(basic.ChangeTime.QuadPart);
  return identity;
}

int64_t NowNs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return FileTimeToUnixNs(static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime));
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  HandleCloser file(CreateFileW(win32::LongPath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
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
  HandleCloser file(CreateFileW(win32::LongPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
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

std::optional<int64_t> FreeSpace(const std::string& folder) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(sys::win32::Widen(WithTrailingBackslash(folder)).c_str(), &available, nullptr, nullptr)) {
    return std::nullopt;
  }
  return static_cast<int64_t>(available.QuadPart);
}

std::string RealPath(const std::string& path) {
  const std::string full = FullPath(path);
  if (full.empty()) return {};
  // The longest leading part that exists is resolved by the system; what
  // lies beyond it is kept as written.
  std::string head = full, tail;
  const size_t root = RootLength(full);
  while (GetFileAttributesW(win32::LongPath(head).c_str()) == INVALID_FILE_ATTRIBUTES) {
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
  const std::wstring wideName = win32::Widen(name);
  DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::vector<wchar_t> buffer(size);
  DWORD length = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), size);
  if (length >= size) return std::nullopt;
  return win32::Narrow(std::wstring_view(buffer.data(), length));
}

std::string ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return win32::Narrow(std::wstring_view(buffer.data(), length));
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);  // cut short: a longer buffer is needed
  }
}

std::string CurrentFolder() {
  std::vector<wchar_t> buffer(32768);
  DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return {};
  return win32::Narrow(std::wstring_view(buffer.data(), length));
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
  HANDLE file = CreateFileW(win32::LongPath(path).c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  position_ = 0;
  pendingTime_ = kNoTime;
  pendingAttributes_ = kNoAttributes;
  return true;
}

namespace {

// Repeats `transfer(at, done, part, moved)`, one ReadFile or WriteFile of
// `part` bytes from position `done` on, until `count` bytes have moved, the
// file ends or the call fails. `at` is null when the file pointer already
// stands at the offset: a call without one is cheaper (under Wine an
// offset costs one more request to the server per call). `position` follows
// the file pointer, which a synchronous transfer leaves after its last byte.
template <typename Transfer>
int64_t TransferAll(int64_t offset, int64_t count, int64_t& position, Transfer transfer) {
  int64_t done = 0;
  while (done < count) {
    OVERLAPPED at = At(offset + done);
    DWORD moved = 0;
    const DWORD part = static_cast<DWORD>(std::min<int64_t>(count - done, kMaxTransfer));
    const bool ok = transfer(position == offset + done ? nullptr : &at, done, part, moved);
    position = ok ? offset + done + moved : -1;
    if (!ok || moved == 0) break;
    done += moved;
  }
  return done;
}

}  // namespace

int64_t FileHandle::ReadAt(int64_t offset, void* buffer, int64_t count) {
  return TransferAll(offset, count, position_, [&](OVERLAPPED* at, int64_t done, DWORD part, DWORD& moved) {
    return ReadFile(reinterpret_cast<HANDLE>(handle_), static_cast<char*>(buffer) + done, part, &moved, at);
  });
}

int64_t FileHandle::WriteAt(int64_t offset, const void* buffer, int64_t count) {
  return TransferAll(offset, count, position_, [&](OVERLAPPED* at, int64_t done, DWORD part, DWORD& moved) {
    return WriteFile(reinterpret_cast<HANDLE>(handle_), static_cast<const char*>(buffer) + done, part, &moved, at);
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

namespace {

// The attribute value of the seam's `attributes` for a file or folder
// (`kind`); "no attributes" is FILE_ATTRIBUTE_NORMAL in the API's words.
DWORD AttributeValue(uint32_t attributes, DWORD kind) {
  const DWORD value = (attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive)) | kind;
  return value == 0 ? FILE_ATTRIBUTE_NORMAL : value;
}

// Sets the attribute bits the seam handles on an open file or folder.
bool SetHandleAttributes(HANDLE handle, uint32_t attributes, DWORD kind) {
  FILE_BASIC_INFO info{};  // zero times: left as they are
  info.FileAttributes = AttributeValue(attributes, kind);
  return SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info) != 0;
}

}  // namespace

// The date and the attributes wait for Close, which sets both in one call:
// a file being extracted gets both, and each call on a handle is a request
// to the server under Wine. The answer is the handle's: one that may change
// its basic information.
bool FileHandle::SetModifiedTime(int64_t unixSeconds) {
  if (handle_ == kNone) return false;
  pendingTime_ = unixSeconds;
  return true;
}

bool FileHandle::SetModifiedTimeAtOnce(int64_t unixSeconds) {
  if (handle_ == kNone) return false;
  FILE_BASIC_INFO info{};  // zero times and attributes: left as they are
  const FILETIME time = ToFileTime(unixSeconds);
  info.LastWriteTime.LowPart = time.dwLowDateTime;
  info.LastWriteTime.HighPart = static_cast<LONG>(time.dwHighDateTime);
  return SetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), FileBasicInfo, &info, sizeof info) != 0;
}

bool FileHandle::SetAttributes(uint32_t attributes) {
  if (handle_ == kNone) return false;
  pendingAttributes_ = attributes;
  return true;
}

bool FileHandle::Close() {
  if (handle_ == kNone) return false;
  const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  if (pendingTime_ != kNoTime || pendingAttributes_ != kNoAttributes) {
    FILE_BASIC_INFO info{};  // zero times and attributes: left as they are
    if (pendingTime_ != kNoTime) {
      const FILETIME time = ToFileTime(pendingTime_);
      info.LastWriteTime.LowPart = time.dwLowDateTime;
      info.LastWriteTime.HighPart = static_cast<LONG>(time.dwHighDateTime);
    }
    if (pendingAttributes_ != kNoAttributes) info.FileAttributes = AttributeValue(pendingAttributes_, 0);
    SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info);
    pendingTime_ = kNoTime;
    pendingAttributes_ = kNoAttributes;
  }
  const bool ok = CloseHandle(handle) != 0;
  handle_ = kNone;
  return ok;
}

// ---- FolderHandle ----
//
// Handle-relative opens need the native API; instead every folder of the
// chain is held open without delete sharing, which the system honours by
// refusing to rename or remove it (or any folder above it) while it is held.
// A path built from held folders therefore names the same folders for as
// long as they are held, and each component is checked to be no reparse
// point (symbolic link, junction, mount point) when it is opened.

namespace {

// Read and list, change attributes; others may read and write inside, but
// not rename or delete the folder while it is held.
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool IsOneComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:") == std::string::npos;
}

HANDLE OpenFolder(const std::string& path, DWORD flags) {
  return CreateFileW(sys::win32::Widen(path).c_str(), kFolderAccess, kFolderShare, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

}  // namespace

void FolderHandle::Close() {
  made_ = false;
  if (handle_ != kNone) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNone;
}

bool FolderHandle::Open(const std::string& path, std::string& reason) {
  Close();
  const std::string full = FullPath(path.empty() ? "." : path);
  HANDLE folder = full.empty() ? INVALID_HANDLE_VALUE : OpenFolder(full, 0);
  BY_HANDLE_FILE_INFORMATION info{};
  if (folder != INVALID_HANDLE_VALUE &&
      (!GetFileInformationByHandle(folder, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))) {
    CloseHandle(folder);
    SetLastError(ERROR_DIRECTORY);
    folder = INVALID_HANDLE_VALUE;
  }
  if (folder == INVALID_HANDLE_VALUE) {
    reason = std::strerror(ErrnoFor(GetLastError()));
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(folder);
  path_ = WithTrailingBackslash(full);
  return true;
}

FolderHandle::Child FolderHandle::OpenChild(const FolderHandle& parent, const std::string& name, bool create,
                                            std::string& reason, int /*permissions*/) {
  Close();
  if (!IsOneComponent(name)) {
    reason = std::strerror(EINVAL);
    return Child::Failed;
  }
  const std::string path = parent.path_ + name;
  bool made = false;
  if (create) {
    made = CreateDirectoryW(sys::win32::Widen(path).c_str(), nullptr) != 0;
    if (!made && GetLastError() != ERROR_ALREADY_EXISTS) {
      reason = std::strerror(ErrnoFor(GetLastError()));
      return Child::Failed;
    }
  }
  HANDLE folder = OpenFolder(path, FILE_FLAG_OPEN_REPARSE_POINT);
  if (folder == INVALID_HANDLE_VALUE) {
    reason = std::strerror(ErrnoFor(GetLastError()));
    return Child::Failed;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(folder, &info)) {
    reason = std::strerror(ErrnoFor(GetLastError()));
    CloseHandle(folder);
    return Child::Failed;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    CloseHandle(folder);
    return Child::Link;
  }
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(folder);
    reason = std::strerror(ENOTDIR);
    return Child::Failed;
  }
  handle_ = reinterpret_cast<intptr_t>(folder);
  path_ = path + "\\";
  made_ = made;
  return Child::Opened;
}

std::optional<NameInfo> FolderHandle::Inspect(const std::string& name) const {
  if (!IsOneComponent(name)) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(sys::win32::Widen(path_ + name).c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  NameInfo info;
  info.attributes = data.dwFileAttributes & kReportedAttributes;
  info.modifiedTime = ToUnixSeconds(data.ftLastWriteTime);
  info.size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  return info;
}

bool FolderHandle::CreateNewFile(const std::string& name, FileHandle& file, int, std::string& reason) const {
  file.Close();
  if (!IsOneComponent(name)) {
    reason = std::strerror(EINVAL);
    return false;
  }
  // CREATE_NEW fails on any existing name, a link included, so nothing is
  // ever opened through one.
  HANDLE created = CreateFileW(sys::win32::Widen(path_ + name).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                               nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (created == INVALID_HANDLE_VALUE) {
    reason = std::strerror(ErrnoFor(GetLastError()));
    return false;
  }
  file.handle_ = reinterpret_cast<intptr_t>(created);
  file.position_ = 0;
  file.pendingTime_ = FileHandle::kNoTime;
  file.pendingAttributes_ = FileHandle::kNoAttributes;
  return true;
}

bool FolderHandle::Rename(const std::string& from, const std::string& to, bool replace) const {
  if (!IsOneComponent(from) || !IsOneComponent(to)) return false;
  const std::wstring source = sys::win32::Widen(path_ + from), target = sys::win32::Widen(path_ + to);
  if (replace) {
    const DWORD existing = GetFileAttributesW(target.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
      if ((existing & FILE_ATTRIBUTE_DIRECTORY) && !(existing & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
      // A read-only, hidden or system file would refuse to be replaced.
      if (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
      }
    }
  }
  return MoveFileExW(source.c_str(), target.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
}

namespace {

// Opens the name itself for deletion: a reparse point there is opened as
// what it is, never followed to its target.
HANDLE OpenForDeletion(const std::string& path) {
  return CreateFileW(sys::win32::Widen(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                     kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

// Deletes what `path` names when `accept` agrees with its attributes. The
// check and the deletion act on one open handle, so the name cannot be
// swapped for something else in between.
template <typename Accept>
bool DeleteChecked(const std::string& path, Accept accept) {
  HANDLE entry = OpenForDeletion(path);
  if (entry == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  bool ok = GetFileInformationByHandle(entry, &info) && accept(info.dwFileAttributes);
  const DWORD attributes = info.dwFileAttributes;
  if (ok && (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // A read-only file refuses deletion: the attribute goes first.
    ok = SetHandleAttributes(entry, attributes & ~static_cast<DWORD>(kAttrReadOnly), 0);
  }
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  ok = ok && SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition) != 0;
  CloseHandle(entry);
  return ok;
}

}  // namespace

bool FolderHandle::RemoveFile(const std::string& name) const {
  if (!IsOneComponent(name)) return false;
  // A file, or a link of either kind (removed itself); never a real folder.
  return DeleteChecked(path_ + name, [](DWORD attributes) {
    return !(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  });
}

bool FolderHandle::RemoveFolder(const std::string& name) const {
  if (!IsOneComponent(name)) return false;
  // The system refuses to delete a folder that is not empty.
  return DeleteChecked(path_ + name, [](DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  });
}

bool FolderHandle::SetAttributes(uint32_t attributes) {
  return SetHandleAttributes(reinterpret_cast<HANDLE>(handle_), attributes, FILE_ATTRIBUTE_DIRECTORY);
}

std::string UnpredictableTemporaryName() {
  std::random_device device;  // the system's random source
  char name[3 + 16 + 4 + 1];
  std::snprintf(name, sizeof name, "~bv%08x%08x.tmp", static_cast<unsigned>(device()),
                static_cast<unsigned>(device()));
  return name;
}

}  // namespace sys::platform
