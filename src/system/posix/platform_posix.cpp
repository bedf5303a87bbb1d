// POSIX side of the platform seam: attributes, dates, searches and file
// operations. Every path given in may use "\" as a separator.
//
// The Windows attribute model is mapped as follows: folder = a directory;
// hidden = the name begins with "."; read-only = no write permission bit at
// all; archive = set for everything that is not a folder; system = never.
// A read-only file is refused by RemoveFile, as on Windows, so that both
// platforms leave the same files behind when deleting trees.
#include <dirent.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <fcntl.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "system/path_limits.h"
#include "system/platform.h"

namespace sys::platform {

const char kPathSeparator = '/';
const char* const kPathDelimiters = "/\\";
const size_t kMaxPathLength = PATH_MAX - 1;

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// `path` with "\" read as "/" and trailing separators dropped (a lone "/"
// stays), so that lstat looks at a link itself rather than through it.
std::string ToPosix(const std::string& path) {
  std::string result = path;
  for (char& c : result)
    if (c == '\\') c = '/';
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

bool IsHiddenName(const std::string& posixPath) {
  size_t slash = posixPath.rfind('/');
  std::string name = slash == std::string::npos ? posixPath : posixPath.substr(slash + 1);
  return name.size() > 1 && name[0] == '.' && name != "..";
}

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// "*" and "?" wildcards without ASCII letter case.
bool Glob(const char* name, const char* mask) {
  const char* starMask = nullptr;
  const char* starName = nullptr;
  while (*name) {
    if (*mask == '*') {
      starMask = mask++;
      starName = name;
    } else if (*mask == '?' || (*mask && LowerChar(*mask) == LowerChar(*name))) {
      ++mask;
      ++name;
    } else if (starMask) {
      mask = starMask + 1;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*mask == '*') ++mask;
  return *mask == 0;
}

// Windows mask rules: "*.*" matches every name, and "x.*" also matches the
// name "x" without any dot.
bool MatchesMask(const std::string& name, const std::string& mask) {
  if (mask.empty() || mask == "*.*") return true;
  if (Glob(name.c_str(), mask.c_str())) return true;
  if (mask.size() >= 2 && mask.ends_with(".*") && name.find('.') == std::string::npos)
    return Glob(name.c_str(), mask.substr(0, mask.size() - 2).c_str());
  return false;
}

// Opens with close-on-exec, retrying when a signal interrupts the call.
int OpenRetrying(const std::string& path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// "." and ".." resolved and repeated separators dropped in an absolute path.
std::string LexicallyNormal(const std::string& absolute) {
  std::vector<std::string> parts;
  size_t position = 0;
  while (position < absolute.size()) {
    size_t end = absolute.find('/', position);
    if (end == std::string::npos) end = absolute.size();
    const std::string part = absolute.substr(position, end - position);
    position = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

}  // namespace

// GetAttributes of a path already in POSIX form, whose "\" (if any) are
// part of names.
static std::optional<uint32_t> AttributesOfPosixPath(const std::string& p) {
  if (p.empty()) return std::nullopt;
  struct stat link {};
  if (lstat(p.c_str(), &link) != 0) return std::nullopt;
  struct stat target = link;
  uint32_t attributes = 0;
  if (S_ISLNK(link.st_mode)) {
    attributes |= kAttrLink;
    if (stat(p.c_str(), &target) != 0) target = link;  // dangling: a file
  }
  attributes |= S_ISDIR(target.st_mode) ? kAttrDirectory : kAttrArchive;
  if (!S_ISLNK(target.st_mode) && (target.st_mode & kWriteBits) == 0) attributes |= kAttrReadOnly;
  if (IsHiddenName(p)) attributes |= kAttrHidden;
  return attributes;
}

std::optional<uint32_t> GetAttributes(const std::string& path) { return AttributesOfPosixPath(ToPosix(path)); }

bool SetAttributes(const std::string& path, uint32_t attributes) {
  const std::string p = ToPosix(path);
  struct stat st {};
  if (stat(p.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  // Hidden follows the name, archive and system have no counterpart: only
  // read-only has an effect.
  mode = (attributes & kAttrReadOnly) ? (mode & ~kWriteBits) : (mode | S_IWUSR);
  return chmod(p.c_str(), mode) == 0;
}

bool IsNewFileDefault(uint32_t attributes) { return !(attributes & kAttrReadOnly); }

bool MarkExecutable(const std::string& path) {
  const std::string p = ToPosix(path);
  struct stat st {};
  if (stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  mode_t mode = st.st_mode & 07777;
  // Execute follows read: r-- becomes r-x, --- stays.
  mode |= (mode & (S_IRUSR | S_IRGRP | S_IROTH)) >> 2;
  return chmod(p.c_str(), mode) == 0;
}

std::optional<int64_t> GetModifiedTime(const std::string& path) {
  struct stat st {};
  if (stat(ToPosix(path).c_str(), &st) != 0) return std::nullopt;
  return static_cast<int64_t>(st.st_mtim.tv_sec);
}

bool SetModifiedTime(const std::string& path, int64_t unixSeconds) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // access time stays
  times[1].tv_sec = static_cast<time_t>(unixSeconds);
  times[1].tv_nsec = 0;
  return utimensat(AT_FDCWD, ToPosix(path).c_str(), times, 0) == 0;
}

LocalDateTime ToLocalDateTime(int64_t unixSeconds) {
  time_t t = static_cast<time_t>(unixSeconds);
  struct tm local {};
  localtime_r(&t, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::optional<int64_t> FromLocalDateTime(const LocalDateTime& local) {
  struct tm fields {};
  fields.tm_year = local.year - 1900;
  fields.tm_mon = local.month - 1;
  fields.tm_mday = local.day;
  fields.tm_hour = local.hour;
  fields.tm_min = local.minute;
  fields.tm_sec = local.second;
  fields.tm_isdst = -1;  // let the zone rules decide
  time_t t = mktime(&fields);
  if (t == static_cast<time_t>(-1)) return std::nullopt;
  return static_cast<int64_t>(t);
}

struct FolderSearch::State {
  DIR* dir = nullptr;
  std::string folder;  // with a trailing "/"
  std::string mask;
};

FolderSearch::FolderSearch(const std::string& folder, const std::string& mask)
    : state_(std::make_unique<State>()) {
  // ToPosix keeps a lone "/" and drops other trailing separators.
  const std::string p = ToPosix(folder);
  state_->dir = opendir(p.empty() ? "." : p.c_str());
  state_->folder = (p.empty() || p == "/") ? p : p + "/";
  state_->mask = mask;
}

FolderSearch::~FolderSearch() {
  if (state_->dir) closedir(state_->dir);
}

bool FolderSearch::Next(FoundEntry& entry) {
  if (!state_->dir) return false;
  while (struct dirent* found = readdir(state_->dir)) {
    std::string name = found->d_name;
    if (!MatchesMask(name, state_->mask)) continue;
    std::optional<uint32_t> attributes;
    if (name == "." || name == "..")
      attributes = kAttrDirectory;
    else
      // A "\" in a name found here is part of the name: the entry is
      // listed as it is, for the caller to refuse by name.
      attributes = AttributesOfPosixPath(state_->folder + name);
    if (!attributes) continue;  // vanished while listing
    entry.name = std::move(name);
    entry.attributes = *attributes;
    return true;
  }
  return false;
}

bool IsReservedName(const std::string&) { return false; }

bool CreateFolder(const std::string& path, uint32_t permissions) {
  return mkdir(ToPosix(path).c_str(), static_cast<mode_t>(permissions)) == 0;
}

bool RemoveFile(const std::string& path) {
  const std::string p = ToPosix(path);
  struct stat st {};
  if (lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (!S_ISLNK(st.st_mode) && (st.st_mode & kWriteBits) == 0) return false;  // read-only
  return unlink(p.c_str()) == 0;
}

bool RemoveFolder(const std::string& path) { return rmdir(ToPosix(path).c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to, bool replace) {
  const std::string source = ToPosix(from), target = ToPosix(to);
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0) {
    if (!replace || S_ISDIR(st.st_mode)) return false;
    // Replacing a read-only file is refused, as on Windows.
    if (!S_ISLNK(st.st_mode) && (st.st_mode & kWriteBits) == 0) return false;
  }
  return rename(source.c_str(), target.c_str()) == 0;
}

std::optional<int64_t> RegularFileSize(const std::string& path) {
  struct stat st {};
  if (stat(ToPosix(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<int64_t>(st.st_size);
}

std::optional<FileIdentity> RegularFileIdentity(const std::string& path) {
  struct stat st {};
  if (stat(ToPosix(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const auto ns = [](const timespec& t) { return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; };
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                      static_cast<int64_t>(st.st_size), ns(st.st_mtim), ns(st.st_ctim)};
}

int64_t NowNs() {
  timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const int fd = OpenRetrying(ToPosix(path), O_RDONLY);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return std::nullopt;
  }
  std::string content;
  content.reserve(static_cast<size_t>(st.st_size));
  char chunk[1 << 16];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    content.append(chunk, static_cast<size_t>(got));
  }
  close(fd);
  return content;
}

bool WriteWholeFile(const std::string& path, std::string_view content) {
  const int fd = OpenRetrying(ToPosix(path), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  while (ok && !content.empty()) {
    const ssize_t put = write(fd, content.data(), content.size());
    if (put < 0 && errno == EINTR) continue;
    ok = put > 0;
    if (ok) content.remove_prefix(static_cast<size_t>(put));
  }
  // A delayed write error (a full disk on a network file system) shows at close.
  return close(fd) == 0 && ok;
}

std::optional<int64_t> FreeSpace(const std::string& folder) {
  struct statvfs volume {};
  const std::string p = ToPosix(folder);
  if (statvfs(p.empty() ? "." : p.c_str(), &volume) != 0) return std::nullopt;
  return static_cast<int64_t>(volume.f_bavail) * static_cast<int64_t>(volume.f_frsize);
}

std::string RealPath(const std::string& path) {
  std::string head = ToPosix(path);
  if (head.empty()) return {};
  // Walk up to the longest leading part that exists; what lies beyond it
  // is kept as written.
  std::string tail;
  for (;;) {
    struct stat st {};
    if (stat(head.c_str(), &st) == 0) break;
    if (errno != ENOENT && errno != ENOTDIR) return {};
    const size_t slash = head.rfind('/');
    if (slash == std::string::npos) {
      tail = "/" + head + tail;
      head.clear();  // nothing exists: the path is relative to the current folder
      break;
    }
    tail = head.substr(slash) + tail;
    head = slash == 0 ? "/" : head.substr(0, slash);
  }
  char resolved[PATH_MAX];
  if (!realpath(head.empty() ? "." : head.c_str(), resolved)) return {};
  return LexicallyNormal(resolved + tail);
}

std::optional<std::string> GetEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  return std::string(buffer.data(), static_cast<size_t>(length));
}

std::string CurrentFolder() {
  std::vector<char> buffer(4096);
  if (!getcwd(buffer.data(), buffer.size())) return {};
  return std::string(buffer.data());
}

bool FileHandle::Open(const std::string& path, OpenMode mode, std::string& reason, uint32_t permissions) {
  Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Read: flags |= O_RDONLY; break;
    case OpenMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
  }
  int fd;
  do {
    fd = open(path.c_str(), flags, static_cast<mode_t>(permissions));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  // Only reading may open a folder; its "content" is no file's.
  struct stat status {};
  if (mode == OpenMode::Read && fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
    close(fd);
    reason = std::strerror(EISDIR);
    return false;
  }
  handle_ = fd;
  return true;
}

namespace {

// Repeats `transfer(done)`, which moves bytes from position `done` on and
// answers how many (below 0: an error), until `count` bytes have moved, the
// file ends or an error other than an interruption stops it.
template <typename Transfer>
int64_t TransferAll(int64_t count, Transfer transfer) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t moved = transfer(done);
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) break;
    done += moved;
  }
  return done;
}

}  // namespace

int64_t FileHandle::ReadAt(int64_t offset, void* buffer, int64_t count) {
  return TransferAll(count, [&](int64_t done) {
    return pread(static_cast<int>(handle_), static_cast<char*>(buffer) + done, static_cast<size_t>(count - done),
                 static_cast<off_t>(offset + done));
  });
}

int64_t FileHandle::WriteAt(int64_t offset, const void* buffer, int64_t count) {
  return TransferAll(count, [&](int64_t done) {
    return pwrite(static_cast<int>(handle_), static_cast<const char*>(buffer) + done,
                  static_cast<size_t>(count - done), static_cast<off_t>(offset + done));
  });
}

int64_t FileHandle::CopyFrom(FileHandle& source, int64_t from, int64_t to, int64_t count) {
#ifdef __linux__
  auto in = static_cast<off_t>(from), out = static_cast<off_t>(to);
  int64_t done = 0;
  while (done < count) {
    const ssize_t copied = copy_file_range(static_cast<int>(source.handle_), &in, static_cast<int>(handle_), &out,
                                           static_cast<size_t>(count - done), 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0 && done == 0 &&
        (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)) {
      return -1;  // not between these files (other file systems, old kernels)
    }
    if (copied <= 0) break;
    done += copied;
  }
  return done;
#else
  (void)source, (void)from, (void)to, (void)count;
  return -1;
#endif
}

std::optional<int64_t> FileHandle::Size() {
  struct stat status {};
  if (fstat(static_cast<int>(handle_), &status) != 0) return std::nullopt;
  return static_cast<int64_t>(status.st_size);
}

bool FileHandle::Resize(int64_t size) {
  return size >= 0 && ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) == 0;
}

bool FileHandle::SetModifiedTimeAtOnce(int64_t unixSeconds) { return SetModifiedTime(unixSeconds); }

bool FileHandle::SetModifiedTime(int64_t unixSeconds) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // access time stays
  times[1].tv_sec = static_cast<time_t>(unixSeconds);
  times[1].tv_nsec = 0;
  return futimens(static_cast<int>(handle_), times) == 0;
}

namespace {

// The read-only attribute as the write bits of an open file or folder:
// read-only takes every write bit away, writable gives the owner one back.
bool ApplyReadOnlyToDescriptor(int fd, uint32_t attributes) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return false;
  mode_t mode = status.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? (mode & ~kWriteBits) : (mode | S_IWUSR);
  return fchmod(fd, mode) == 0;
}

}  // namespace

bool FileHandle::SetAttributes(uint32_t attributes) {
  return ApplyReadOnlyToDescriptor(static_cast<int>(handle_), attributes);
}

bool FileHandle::Close() {
  if (handle_ == kNone) return false;
  const bool ok = close(static_cast<int>(handle_)) == 0;
  handle_ = kNone;
  return ok;
}

// ---- FolderHandle ----

namespace {

// A single component: no separator, not "." or "..", not empty. Names come
// from archives and scripts, and a separator would take a lookup past the
// held folder.
bool IsOneComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos;
}

int OpenAtRetrying(int folder, const std::string& name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = openat(folder, name.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

void FolderHandle::Close() {
  made_ = false;
  if (handle_ != kNone) close(static_cast<int>(handle_));
  handle_ = kNone;
}

bool FolderHandle::Open(const std::string& path, std::string& reason) {
  Close();
  const std::string p = ToPosix(path);
  const int fd = OpenRetrying(p.empty() ? "." : p, O_RDONLY | O_DIRECTORY);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  handle_ = fd;
  path_ = (p.empty() || p.back() == '/') ? p : p + "/";
  return true;
}

FolderHandle::Child FolderHandle::OpenChild(const FolderHandle& parent, const std::string& name, bool create,
                                            std::string& reason, int permissions) {
  Close();
  if (!IsOneComponent(name)) {
    reason = std::strerror(EINVAL);
    return Child::Failed;
  }
  const int folder = static_cast<int>(parent.handle_);
  bool made = false;
  if (create) {
    made = mkdirat(folder, name.c_str(), static_cast<mode_t>(permissions)) == 0;
    if (!made && errno != EEXIST) {
      reason = std::strerror(errno);
      return Child::Failed;
    }
  }
  const int fd = OpenAtRetrying(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) {
    const int error = errno;
    // ELOOP is what O_NOFOLLOW answers for a link; ENOTDIR may be a link
    // to a file. Look at the name itself to tell.
    struct stat status {};
    if (fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode)) {
      return Child::Link;
    }
    reason = std::strerror(error);
    return Child::Failed;
  }
  handle_ = fd;
  path_ = parent.path_ + name + "/";
  made_ = made;
  return Child::Opened;
}

std::optional<NameInfo> FolderHandle::Inspect(const std::string& name) const {
  if (!IsOneComponent(name)) return std::nullopt;
  const int folder = static_cast<int>(handle_);
  struct stat link {};
  if (fstatat(folder, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  NameInfo info;
  struct stat target = link;
  if (S_ISLNK(link.st_mode)) {
    info.attributes |= kAttrLink;
    if (fstatat(folder, name.c_str(), &target, 0) != 0) target = link;
  }
  info.attributes |= S_ISDIR(target.st_mode) ? kAttrDirectory : kAttrArchive;
  if (!S_ISLNK(target.st_mode) && (target.st_mode & kWriteBits) == 0) info.attributes |= kAttrReadOnly;
  if (name.size() > 1 && name[0] == '.') info.attributes |= kAttrHidden;
  info.modifiedTime = static_cast<int64_t>(link.st_mtim.tv_sec);
  info.size = static_cast<int64_t>(link.st_size);
  return info;
}

bool FolderHandle::CreateNewFile(const std::string& name, FileHandle& file, int permissions,
                              std::string& reason) const {
  file.Close();
  if (!IsOneComponent(name)) {
    reason = std::strerror(EINVAL);
    return false;
  }
  const int fd = OpenAtRetrying(static_cast<int>(handle_), name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW,
                                static_cast<mode_t>(permissions));
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  file.handle_ = fd;
  return true;
}

bool FolderHandle::Rename(const std::string& from, const std::string& to, bool replace) const {
  if (!IsOneComponent(from) || !IsOneComponent(to)) return false;
  const int folder = static_cast<int>(handle_);
  // No look at `to` first: renaming a file over a folder fails by itself
  // (EISDIR, or EEXIST without replacing).
  if (replace) return renameat(folder, from.c_str(), folder, to.c_str()) == 0;
#ifdef RENAME_NOREPLACE
  if (renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  // A second name that fails when the name is taken, then the first goes.
  if (linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) return unlinkat(folder, from.c_str(), 0) == 0;
  if (errno == EEXIST) return false;
  // File systems without hard links: look, then rename.
  struct stat status {};
  if (fstatat(folder, to.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) return false;
  return renameat(folder, from.c_str(), folder, to.c_str()) == 0;
}

bool FolderHandle::RemoveFile(const std::string& name) const {
  if (!IsOneComponent(name)) return false;
  return unlinkat(static_cast<int>(handle_), name.c_str(), 0) == 0;
}

bool FolderHandle::RemoveFolder(const std::string& name) const {
  if (!IsOneComponent(name)) return false;
  // AT_REMOVEDIR refuses a symbolic link (ENOTDIR) and a folder that is not
  // empty: never a link's target, never anything recursively.
  return unlinkat(static_cast<int>(handle_), name.c_str(), AT_REMOVEDIR) == 0;
}

bool FolderHandle::SetAttributes(uint32_t attributes) {
  return ApplyReadOnlyToDescriptor(static_cast<int>(handle_), attributes);
}

namespace {

// Fills `bytes` from the kernel's random source, the library's when the
// kernel has none (old kernels).
void SystemRandom(uint8_t* bytes, size_t count) {
  size_t got = 0;
  while (got < count) {
    const ssize_t n = getrandom(bytes + got, count - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < count) {
    std::random_device device;
    for (size_t i = got; i < count; ++i) bytes[i] = static_cast<uint8_t>(device());
  }
}

}  // namespace

std::string UnpredictableTemporaryName() {
  // Drawn from a pool filled a few hundred names at a time: one system call
  // per file is a noticeable share of extracting thousands of small files.
  // Each name uses bytes no other name used, so none is less random.
  thread_local uint8_t pool[4096];
  thread_local size_t used = sizeof pool;
  if (used + 8 > sizeof pool) {
    SystemRandom(pool, sizeof pool);
    used = 0;
  }
  const uint8_t* bytes = pool + used;
  used += 8;
  char name[3 + 16 + 4 + 1];
  std::snprintf(name, sizeof name, "~bv%02x%02x%02x%02x%02x%02x%02x%02x.tmp", bytes[0], bytes[1], bytes[2],
                bytes[3], bytes[4], bytes[5], bytes[6], bytes[7]);
  return name;
}

}  // namespace sys::platform
