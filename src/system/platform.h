// The operating-system seam of the system layer. Everything declared here is
// implemented twice, once in system/posix and once in system/win32; the build
// compiles exactly one of the two. Code above this header is platform-free.
//
// Paths passed in may use "\" or "/" on both platforms (the POSIX side reads
// "\" as a separator, so scripts written for Windows work there). Failures
// are reported through results, never by exceptions, except where stated.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sys::platform {

// The separator that the platform writes into the paths it produces
// ("\" on Windows, "/" elsewhere).
extern const char kPathSeparator;

// The characters that end a folder part of a path: "\\/:" on Windows,
// "/\\" elsewhere (":" is an ordinary name character on POSIX).
extern const char* const kPathDelimiters;

// A path as the file operations below open it: every "\" becomes "/", which
// both platforms accept, so that archive stored names (always with "\") and
// folder paths from Windows scripts work on Linux too.
std::string NativePath(std::string path);

// ---- Special folders ------------------------------------------------------

// The folders behind the folder keywords. Common* are the all-users
// folders, the others the current user's.
enum class KnownFolder {
  Windows,          // the operating system's folder
  Temp,             // the current user's temporary-files folder
  CommonPrograms,   // Programs folder of the all-users Start menu
  CommonStartMenu,  // all-users Start menu
  CommonStartup,    // all-users Startup folder
  Fonts,            // the Fonts folder
  CommonAppData,    // all-users application data
  Desktop,          // the current user's desktop (with the profile fallback)
  Programs,         // Programs folder of the user's Start menu
  StartMenu,        // the user's Start menu
  Startup,          // the user's Startup folder
  Documents,        // the user's documents
  AppData,          // the user's (roaming) application data
  UserProgramFiles, // where programs installed for the current user only go
};

// The folder's path as the platform gives it (a trailing separator may or
// may not be present), or "" when the platform gives none. The desktop falls
// back to a folder below the user's profile when it cannot be resolved.
std::string KnownFolderPath(KnownFolder folder);

// Full path of the running executable ("" when unknown).
std::string ExecutablePath();

// The program's command-line arguments after the program name, in UTF-8.
// POSIX: `argv` as given. Windows: read from the system's UTF-16 command
// line, since `argv` holds only what the ANSI code page can spell.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Writes UTF-8 text to `stream` when it is a console window, through the
// console's own text API, so that any script shows whatever the console's
// code page; false (nothing written) when `stream` is no console (a file,
// a pipe, a POSIX terminal), which then takes the bytes as they are.
bool WriteConsoleText(std::FILE* stream, std::string_view text);

// Legacy 8-bit text in the system's ANSI code page as UTF-8. POSIX has no
// such code page: there it is Windows-1252, the common one.
std::string AnsiToUtf8(std::string_view text);
// The process's current folder, without a closing separator ("" when unknown).
std::string CurrentFolder();

// Lets a program without a console of its own print to the console of the
// shell that started it: standard output and error that lead nowhere are
// reopened on the parent's console. Output already redirected (to a file or
// pipe) is kept. POSIX programs always have their streams: nothing to do.
void AttachParentConsole();

// ---- Attributes and dates ---------------------------------------------------

// Attribute bits, Windows values, reported by both platforms.
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrVolume = 0x08;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
// A symbolic link (Windows: reparse point). Never descended into or
// followed when deleting.
inline constexpr uint32_t kAttrLink = 0x400;

// The attributes of an existing file or folder, or nullopt when the path
// does not exist. A symbolic link reports its target's kind plus kAttrLink
// (a dangling link reports as a file).
std::optional<uint32_t> GetAttributes(const std::string& path);

// Sets read-only, hidden, system and archive from `attributes` (other bits
// ignored). True when the platform accepted the change.
bool SetAttributes(const std::string& path, uint32_t attributes);

// True when SetAttributes(path, `attributes`) would change nothing on a
// file just created: a new file is an archive file, and POSIX has no
// counterpart for hidden, system and archive.
bool IsNewFileDefault(uint32_t attributes);

// Makes an existing file runnable as a program: on POSIX every class that
// may read the file may also execute it; Windows runs files by their
// extension and changes nothing. True when the file is runnable afterwards.
bool MarkExecutable(const std::string& path);

// The POSIX permission bits (0..07777) of an existing file or folder,
// symbolic links followed; nullopt for a missing path and on Windows, whose
// files carry no such bits.
std::optional<uint32_t> GetPermissions(const std::string& path);

// The permission bits a new file or folder gets when nothing restricts it
// (before the umask). Other platforms ignore permissions given at creation.
inline constexpr uint32_t kDefaultFilePermissions = 0666;
inline constexpr uint32_t kDefaultFolderPermissions = 0777;

// Legacy 8-bit text (names stored without the "u" letter) as UTF-8.
// `codePage` 0 is the platform's own: Windows' ANSI code page, elsewhere
// Windows-1252. Bytes a code page does not define become U+FFFD, except the
// five holes of Windows-1252, which become the control characters of their
// value, as Windows reads them. Pure ASCII comes back unchanged.
std::string DecodeLegacyText(std::string_view bytes, int codePage);
// True when DecodeLegacyText can read `codePage` here (0 always).
bool SupportsCodePage(int codePage);

// Modification time in seconds since 1970-01-01 00:00 UTC, or nullopt.
std::optional<int64_t> GetModifiedTime(const std::string& path);
// Sets the modification time (seconds since 1970 UTC). True on success.
bool SetModifiedTime(const std::string& path, int64_t unixSeconds);

// A calendar date and time of day in the user's local time zone.
struct LocalDateTime {
  int year = 1980, month = 1, day = 1;    // month 1..12, day 1..31
  int hour = 0, minute = 0, second = 0;
};
// UTC seconds since 1970 to local calendar time and back (the platform's
// time-zone rules, daylight saving included).
LocalDateTime ToLocalDateTime(int64_t unixSeconds);
std::optional<int64_t> FromLocalDateTime(const LocalDateTime& local);

// ---- Folder searches ----------------------------------------------------------

struct FoundEntry {
  std::string name;     // the entry's own name (no folder part)
  uint32_t attributes;  // as GetAttributes
};

// A find-first/find-next search over the entries of `folder` whose names
// match `mask` ("*" and "?" wildcards; "*.*" matches every name; matched
// without ASCII letter case on every platform). Entries come in the
// platform's order and may include "." and "..". A folder that cannot be
// read gives an empty search.
class FolderSearch {
 public:
  FolderSearch(const std::string& folder, const std::string& mask);
  ~FolderSearch();
  FolderSearch(const FolderSearch&) = delete;
  FolderSearch& operator=(const FolderSearch&) = delete;

  // Fills `entry` with the next match; false when there is none left.
  bool Next(FoundEntry& entry);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// True when `name` (one component of a path) names a device rather than a
// file on this platform, so that writing to it would put bytes somewhere
// other than a file in its folder. Windows: CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, COM1-COM9 and LPT1-LPT9 in any letter case, alone or followed by
// an extension, dots or spaces ("aux.txt", "nul "). POSIX: none.
bool IsReservedName(const std::string& name);

// ---- Creating, deleting, renaming -------------------------------------------

// Creates one folder whose parent exists, with `permissions` (POSIX bits,
// limited by the umask). True when it was created.
bool CreateFolder(const std::string& path, uint32_t permissions = kDefaultFolderPermissions);
// Deletes a file (or a symbolic link itself). A read-only file is refused on
// every platform. True when it was deleted.
bool RemoveFile(const std::string& path);
// Removes an empty folder. True when it was removed.
bool RemoveFolder(const std::string& path);
// Renames (moves) a file; with `replace`, an existing destination file is
// replaced, otherwise the call fails when the destination exists.
bool RenameFile(const std::string& from, const std::string& to, bool replace);

// ---- Open files --------------------------------------------------------------

// How FileHandle::Open opens a file.
enum class OpenMode {
  Read,       // an existing file, reading only
  Create,     // created, or emptied when it exists; reading and writing
  CreateNew,  // created; refused when anything (a link included) has the name
  ReadWrite,  // an existing file, reading and writing
};

// An open file, read and written at explicit offsets without buffering of
// its own. It keeps no file position, so reading and writing here and there
// never costs a seek. Closed when destroyed. The path is used as given.
class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { Close(); }
  FileHandle(FileHandle&& other) noexcept
      : handle_(other.handle_), position_(other.position_), pendingTime_(other.pendingTime_),
        pendingAttributes_(other.pendingAttributes_) {
    other.handle_ = kNone;
  }
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      position_ = other.position_;
      pendingTime_ = other.pendingTime_;
      pendingAttributes_ = other.pendingAttributes_;
      other.handle_ = kNone;
    }
    return *this;
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Opens `path` (closing what was open). On failure returns false and sets
  // `reason` to the C library's words for the cause ("Permission denied",
  // "No such file or directory", ...). A folder is refused. A file that is
  // created gets `permissions` (POSIX bits, limited by the umask).
  bool Open(const std::string& path, OpenMode mode, std::string& reason,
            uint32_t permissions = kDefaultFilePermissions);
  bool IsOpen() const { return handle_ != kNone; }

  // Reads up to `count` bytes from `offset`; returns the number read, fewer
  // only at the end of the file or on an error.
  int64_t ReadAt(int64_t offset, void* buffer, int64_t count);
  // Writes `count` bytes at `offset`, growing the file as needed (a gap
  // reads as zeros); returns the number written, fewer when the medium
  // refuses more.
  int64_t WriteAt(int64_t offset, const void* buffer, int64_t count);

  // Copies `count` bytes from `source` at `from` to this file at `to`
  // inside the system, without passing them through the program's memory.
  // Returns the number copied, fewer when the source ends or the medium
  // refuses more; -1 when the platform cannot copy between these files so
  // (nothing was copied: the caller copies them itself).
  int64_t CopyFrom(FileHandle& source, int64_t from, int64_t to, int64_t count);

  std::optional<int64_t> Size();
  // Cuts or extends the file to `size` bytes (new bytes are zero).
  bool Resize(int64_t size);
  // Sets the modification time (seconds since 1970 UTC); later writes
  // through this handle may change it again. Windows applies it, with the
  // attributes below, in one call when the file is closed, so that no
  // later write changes it.
  bool SetModifiedTime(int64_t unixSeconds);
  // Sets the modification time now, on every platform, before content is
  // written: a file dated so while it is filled shows a stale date if the
  // writer dies. Writes through this handle move it on afterwards.
  bool SetModifiedTimeAtOnce(int64_t unixSeconds);
  // Sets read-only, hidden, system and archive as SetAttributes does for a
  // path; writing through this handle goes on working.
  bool SetAttributes(uint32_t attributes);
  // True when the file was open and closed without error.
  bool Close();

 private:
  friend class FolderHandle;
  static constexpr intptr_t kNone = -1;
  static constexpr int64_t kNoTime = INT64_MIN;
  static constexpr uint32_t kNoAttributes = UINT32_MAX;
  intptr_t handle_ = kNone;  // a descriptor, or a HANDLE on Windows
  // Windows only: where the system's file pointer stands (-1: not known),
  // so that a transfer there needs no offset, and the date and attributes
  // still to be set when the file is closed.
  int64_t position_ = 0;
  int64_t pendingTime_ = kNoTime;
  uint32_t pendingAttributes_ = kNoAttributes;
};

// ---- Folders held open -------------------------------------------------------

// What a name in a held folder is, looked at without following a link.
struct NameInfo {
  uint32_t attributes = 0;   // as GetAttributes; a link reports kAttrLink and its own kind
  int64_t modifiedTime = 0;  // seconds since 1970 UTC
  int64_t size = 0;
};

// An open folder through which names are created, renamed and removed
// relative to the folder itself, never through a path looked up again: a
// folder renamed or swapped for a link after it was opened cannot redirect
// what is written through its handle. Closed when destroyed.
//
// POSIX: a descriptor; children are opened with openat(O_DIRECTORY |
// O_NOFOLLOW), files created with openat(O_CREAT | O_EXCL | O_NOFOLLOW).
// Windows: a handle opened without delete sharing, which keeps the folder
// from being renamed or removed while it is held (nor can any folder above a
// held one be); children are opened with FILE_FLAG_OPEN_REPARSE_POINT and
// refused when they are reparse points, and names below a held folder are
// addressed through its path, which cannot change while the chain is held.
// A child is held only as long as every folder above it is, so holders
// keep the whole chain open.
class FolderHandle {
 public:
  FolderHandle() = default;
  ~FolderHandle() { Close(); }
  FolderHandle(FolderHandle&& other) noexcept
      : handle_(other.handle_), path_(std::move(other.path_)), made_(other.made_) {
    other.handle_ = kNone;
  }
  FolderHandle& operator=(FolderHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      path_ = std::move(other.path_);
      made_ = other.made_;
      other.handle_ = kNone;
    }
    return *this;
  }
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;

  // Opens the folder `path` (links in the path are followed: whoever names
  // the folder chose it). False with `reason` set on failure.
  bool Open(const std::string& path, std::string& reason);

  enum class Child { Opened, Link, Failed };
  // Opens the folder `name` (one component, no separator) inside `parent`,
  // creating it first when `create` is set and nothing has the name. A
  // link or reparse point there gives Link and is never followed; anything
  // else that is not a folder gives Failed with `reason`.
  // A folder made here gets `permissions` (POSIX mode bits, less the umask).
  Child OpenChild(const FolderHandle& parent, const std::string& name, bool create, std::string& reason,
                  int permissions = 0777);

  bool IsOpen() const { return handle_ != kNone; }
  // True when OpenChild made the folder itself (it did not exist before):
  // what it holds was all put there through this handle's owner.
  bool Made() const { return made_; }
  // The folder's path as it was opened (for messages), with a closing separator.
  const std::string& Path() const { return path_; }

  // The name's kind, attributes, date and size; nullopt when nothing has it.
  std::optional<NameInfo> Inspect(const std::string& name) const;

  // Creates the file `name` for reading and writing, refused when anything
  // (a link included) already has the name. `permissions` are POSIX mode
  // bits (the process's mask applies); Windows ignores them.
  bool CreateNewFile(const std::string& name, FileHandle& file, int permissions, std::string& reason) const;

  // Renames the file `from` to `to`, both in this folder. With `replace` an
  // existing file (read-only too) or link at `to` is replaced itself, never
  // what a link points to; without it the call fails when `to` exists.
  bool Rename(const std::string& from, const std::string& to, bool replace) const;

  // Removes the file or link `name`, a read-only file too (never a folder,
  // never a link's target).
  bool RemoveFile(const std::string& name) const;

  // Removes the empty folder `name`; a link or reparse point there, a file
  // or a folder that still holds anything is refused and stays. On Windows
  // the folder must not be held open (its own FolderHandle closed first).
  bool RemoveFolder(const std::string& name) const;

  // Sets read-only, hidden, system and archive of the folder itself, as
  // SetAttributes does for a path.
  bool SetAttributes(uint32_t attributes);

  void Close();

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t handle_ = kNone;  // a descriptor, or a HANDLE on Windows
  std::string path_;
  bool made_ = false;
};

// A file name no one can guess ("~bv" and 16 random hexadecimal digits,
// ".tmp"), for files created exclusively before they take their real name.
std::string UnpredictableTemporaryName();

// ---- Whole files ------------------------------------------------------------

// The size in bytes of a regular file (symbolic links followed); nullopt
// for a folder, a device, a pipe or a path that does not exist.
std::optional<int64_t> RegularFileSize(const std::string& path);

// What tells one state of a regular file from another without reading it:
// the volume and file number, the size, and the modification and change
// times in nanoseconds since 1970. The change time moves with every write
// or attribute change and cannot be set back by an ordinary program.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  int64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of a regular file (symbolic links followed); nullopt for
// anything else or a path that does not exist.
std::optional<FileIdentity> RegularFileIdentity(const std::string& path);

// The file system's clock: nanoseconds since 1970.
int64_t NowNs();

// True when the file's last change lies well before `sinceNs` (NowNs): file
// systems stamp changes with a clock of coarse ticks, so a rewrite within
// the tick of an earlier one could leave the size and both times as they
// were. Only such a file may be known again by its identity alone.
inline bool SettledBefore(const FileIdentity& identity, int64_t sinceNs) {
  return identity.changedNs < sinceNs - 2'000'000'000;
}

// The whole content of a regular file; nullopt when it cannot be opened or
// read to its end.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Creates `path`, or empties an existing file, and writes `content` to it.
// True when every byte was written and the file closed without error; a
// read-only file is refused.
bool WriteWholeFile(const std::string& path, std::string_view content);

// The bytes this user may still write on the volume that holds the existing
// folder `folder`; nullopt when the system cannot tell.
std::optional<int64_t> FreeSpace(const std::string& folder);

// The absolute form of `path` with "." and ".." resolved and symbolic links
// (Windows: links and junctions) in its existing leading part replaced by
// their targets; the part that does not exist is appended as written. ""
// when the existing part cannot be resolved (for example, access denied).
std::string RealPath(const std::string& path);

// The machine's physical memory in bytes; nullopt when the platform does
// not say.
std::optional<int64_t> PhysicalMemory();

// Reads the value of an environment variable; nullopt when it is not set.
std::optional<std::string> GetEnvironment(const std::string& name);

// ---- Private folders ------------------------------------------------------------
// (system/<platform>/private_folder_<platform>.cpp)

// Fills `buffer` with `count` bytes from the operating system's
// cryptographic random source (Linux getrandom, Windows BCryptGenRandom).
// False when the source failed; the buffer is then not to be used.
bool RandomBytes(void* buffer, size_t count);

// The folder below which this process makes its private temporary folders,
// with a trailing separator: Windows GetTempPath2 where the system has it
// (a folder of SYSTEM's own when running as SYSTEM), else GetTempPath;
// POSIX the temporary-files folder (TMPDIR, else /tmp). "" when unknown.
std::string PrivateTempRoot();

// Creates the folder `path` (its parent must exist) for the current user
// alone: POSIX mode 0700 whatever the umask; Windows a protected access
// list granting the user and SYSTEM, inherited by what is made inside.
// Refused when anything already has the name, a folder or a link included;
// an existing name is never followed or reused. True when it was created.
bool CreatePrivateFolder(const std::string& path);

}  // namespace sys::platform
