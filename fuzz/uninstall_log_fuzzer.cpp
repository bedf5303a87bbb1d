// Arbitrary bytes as an uninstall log, replayed over a throw-away tree.
//
// Safety first: a replay deletes folders and links, so this harness never
// lets it reach anything outside its own sandbox folder.
//  1. Every special folder is redirected into the sandbox (BREVION_ROOT,
//     HOME, TMPDIR; the XDG variables are cleared) and the working folder is
//     inside it during each replay.
//  2. Every path a log line names is rewritten below the sandbox: the path
//     field of each non-shortcut line becomes <sandbox>/t/<path> with "."
//     and ".." parts dropped, shortcut names and sub-folders lose theirs,
//     and a shortcut folder given as a path goes below the sandbox too.
//  3. unlink, unlinkat, rmdir, remove, rename and renameat are replaced in
//     this program by checked versions that, while a replay runs, abort
//     before touching any path (resolved through symbolic links) that is
//     not inside the sandbox.
// After each replay the folders that must survive (the home folder, a
// keyword folder, and a folder reached only through a symbolic link) are
// checked. Linux only.
#include <algorithm>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "system/uninstall_log.h"

namespace {

std::string sandbox;  // resolved, without a closing "/"; "" until set up
bool replaying = false;  // the checks apply while the replay runs (the
                         // fuzzer itself manages its corpus folder)

[[noreturn]] void Refuse(const char* operation, const std::string& path) {
  fprintf(stderr, "uninstall_log_fuzzer: %s outside the sandbox refused: %s\n", operation, path.c_str());
  abort();
}

std::string AbsolutePath(int dirfd, const char* path) {
  if (path[0] == '/') return path;
  char base[PATH_MAX];
  if (dirfd == AT_FDCWD) {
    if (!getcwd(base, sizeof base)) return "";
  } else {
    const std::string link = "/proc/self/fd/" + std::to_string(dirfd);
    const ssize_t n = readlink(link.c_str(), base, sizeof base - 1);
    if (n <= 0) return "";
    base[n] = '\0';
  }
  return std::string(base) + "/" + path;
}

// "." and ".." resolved by the text alone.
std::string Lexical(const std::string& absolute) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= absolute.size()) {
    size_t end = absolute.find('/', start);
    if (end == std::string::npos) end = absolute.size();
    const std::string part = absolute.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string joined;
  for (const std::string& part : parts) joined += "/" + part;
  return joined.empty() ? "/" : joined;
}

// The path the operation acts on: its parent resolved through symbolic
// links (the last part itself is not followed by unlink, rmdir or rename).
std::string Resolved(const std::string& absolute) {
  const std::string lexical = Lexical(absolute);
  const size_t slash = lexical.rfind('/');
  const std::string parent = slash == 0 ? "/" : lexical.substr(0, slash);
  char real[PATH_MAX];
  if (!realpath(parent.c_str(), real)) return lexical;  // a missing parent: nothing to act on
  return (std::string(real) == "/" ? "" : std::string(real)) + lexical.substr(slash);
}

bool InSandbox(const std::string& resolved) {
  return !sandbox.empty() && (resolved == sandbox || resolved.starts_with(sandbox + "/"));
}

void Check(const char* operation, int dirfd, const char* path) {
  if (!replaying) return;
  if (!path) Refuse(operation, "(null)");
  const std::string absolute = AbsolutePath(dirfd, path);
  if (absolute.empty() || !InSandbox(Resolved(absolute))) Refuse(operation, absolute.empty() ? path : absolute);
}

}  // namespace

// ---- the checked file operations ----------------------------------------------

extern "C" int unlinkat(int dirfd, const char* path, int flags) noexcept {
  Check("unlinkat", dirfd, path);
  return int(syscall(SYS_unlinkat, dirfd, path, flags));
}
extern "C" int unlink(const char* path) noexcept {
  Check("unlink", AT_FDCWD, path);
  return int(syscall(SYS_unlinkat, AT_FDCWD, path, 0));
}
extern "C" int rmdir(const char* path) noexcept {
  Check("rmdir", AT_FDCWD, path);
  return int(syscall(SYS_unlinkat, AT_FDCWD, path, AT_REMOVEDIR));
}
extern "C" int remove(const char* path) noexcept {
  Check("remove", AT_FDCWD, path);
  const int result = int(syscall(SYS_unlinkat, AT_FDCWD, path, 0));
  if (result == 0 || errno != EISDIR) return result;
  return int(syscall(SYS_unlinkat, AT_FDCWD, path, AT_REMOVEDIR));
}
extern "C" int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath) noexcept {
  Check("rename", olddirfd, oldpath);
  Check("rename", newdirfd, newpath);
  return int(syscall(SYS_renameat, olddirfd, oldpath, newdirfd, newpath));
}
extern "C" int rename(const char* oldpath, const char* newpath) noexcept {
  return renameat(AT_FDCWD, oldpath, AT_FDCWD, newpath);
}

namespace {

namespace fs = std::filesystem;

void Require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "uninstall_log_fuzzer: %s\n", what);
  abort();
}

void Write(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// The throw-away tree, below <sandbox>/t: a home folder, the all-users
// folders, an installation folder with sub-folders, hidden files and a
// symbolic link to a folder outside the tree, and a shortcut. Beside it the
// sandbox holds the folder the links point to, the temporary folder and the
// working folder of the replay.
void MakeTree() {
  const std::string t = sandbox + "/t";
  std::error_code ignored;
  for (const char* folder : {"/t", "/cwd", "/keep"}) fs::remove_all(sandbox + folder, ignored);
  fs::create_directories(sandbox + "/cwd");
  Write(sandbox + "/keep/precious.txt", "must survive");
  fs::create_directories(t + "/home/Desktop");
  fs::create_directories(t + "/root/var/lib/Test App");
  fs::create_directories(t + "/root/etc/xdg/autostart");
  Write(t + "/root/usr/share/applications/Test/Test App.desktop", "[Desktop Entry]\n");
  Write(t + "/work/Test App/app.exe", "program");
  Write(t + "/work/Test App/data/.hidden", "x");
  Write(t + "/work/Test App/data/sub/file.txt", "x");
  fs::create_symlink(sandbox + "/keep", t + "/work/Test App/link", ignored);
  fs::create_directory_symlink(sandbox + "/keep", t + "/work/linked", ignored);
}

// Rebuilding the tree for every input costs a few hundred system calls and
// kept this target far below the others, so the tree is reused for as long
// as no replay changed it. To see a change cheaply, every entry of the
// sandbox gets the modification time 1 (one second after the epoch) once it
// is built: creating, removing or renaming an entry sets its folder's time
// to now, writing a file sets the file's, and chmod changes the mode, all of
// which the check below notices. The folder of the log is the exception: the
// replay removes the log at its end, so there only the names are compared.
// The temporary folder is left out and never emptied: it is also where the
// fuzzing engine keeps its own files while it merges corpora.
struct Entry {
  std::string path;
  mode_t mode;
  off_t size;
};
std::vector<Entry> pristine;  // empty: the tree is to be built
std::string logFolder, logPath, tempFolder;

void StampTree() {
  pristine.clear();
  const timespec times[2] = {{1, 0}, {1, 0}};
  std::error_code error;
  auto stamp = [&](const std::string& path) {
    struct stat status;
    Require(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 &&
                lstat(path.c_str(), &status) == 0,
            "cannot stamp the tree");
    pristine.push_back({path, status.st_mode, S_ISDIR(status.st_mode) ? 0 : status.st_size});
  };
  stamp(sandbox);
  for (fs::recursive_directory_iterator it(sandbox, error), end; !error && it != end; it.increment(error)) {
    if (it->path() == tempFolder) {
      it.disable_recursion_pending();
    } else if (it->path() != logPath) {
      stamp(it->path());
    }
  }
  Require(!error, "cannot list the tree");
}

bool TreeIntact() {
  if (pristine.empty()) return false;
  for (const Entry& entry : pristine) {
    struct stat status;
    if (lstat(entry.path.c_str(), &status) != 0 || status.st_mode != entry.mode) return false;
    if (entry.path == logFolder) continue;
    if (status.st_mtim.tv_sec != 1 || status.st_mtim.tv_nsec != 0) return false;
    if (!S_ISDIR(status.st_mode) && status.st_size != entry.size) return false;
  }
  // The log's folder holds the log at most.
  std::error_code error;
  for (fs::directory_iterator it(logFolder, error), end; !error && it != end; it.increment(error)) {
    if (it->path() != logPath) return false;
  }
  return !error;
}

// A part that is "." or ".." once the replay trims the line's blanks.
bool IsDotPart(const std::string& part) {
  std::string trimmed = part;
  while (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) <= ' ') trimmed.pop_back();
  return trimmed == "." || trimmed == "..";
}

// The part of `path` below a root: separators unified, "." and ".." and
// empty parts dropped (a folder named as "link/." would be the folder a
// symbolic link points to, outside the tree).
std::string Confined(const std::string& path) {
  std::string result, part;
  auto flush = [&] {
    if (!part.empty() && !IsDotPart(part)) result += (result.empty() ? "" : "/") + part;
    part.clear();
  };
  for (char c : path) {
    if (c == '/' || c == '\\') flush(); else part += c;
  }
  flush();
  return result;
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t end; (end = line.find(separator, start)) != std::string::npos; start = end + 1)
    fields.push_back(line.substr(start, end - start));
  fields.push_back(line.substr(start));
  return fields;
}

bool LooksLikePath(const std::string& text) {
  return text.find_first_of("/\\:.%") != std::string::npos;
}

// One log line with every path it names moved below the sandbox.
std::string ConfineLine(const std::string& line) {
  std::vector<std::string> fields = Split(line, '|');
  if (fields.size() < 2) return line;
  const size_t kindStart = fields[0].find_first_not_of(std::string("\0\t\n\v\f\r ", 7));
  const std::string kind = kindStart == std::string::npos ? "" : fields[0].substr(kindStart);
  if (kind == "shortcut") {
    fields[1] = Confined(fields[1]);
    if (fields.size() > 2 && LooksLikePath(fields[2])) fields[2] = sandbox + "/t/" + Confined(fields[2]);
    for (size_t i = 3; i < fields.size(); ++i) fields[i] = Confined(fields[i]);
  } else {
    fields[1] = sandbox + "/t/" + Confined(fields[1]);
    for (size_t i = 2; i < fields.size(); ++i) fields[i] = Confined(fields[i]);
  }
  std::string joined;
  for (size_t i = 0; i < fields.size(); ++i) joined += (i ? "|" : "") + fields[i];
  return joined;
}

void SetUpSandbox() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base == '/' ? base : "/tmp") + "/brevion-fuzz-XXXXXX";
  Require(mkdtemp(pattern.data()) != nullptr, "cannot create the sandbox folder");
  char real[PATH_MAX];
  Require(realpath(pattern.c_str(), real) != nullptr, "cannot resolve the sandbox folder");
  sandbox = real;
  Require(sandbox.size() > 8 && sandbox != "/tmp", "unexpected sandbox folder");
  setenv("BREVION_ROOT", (sandbox + "/t/root").c_str(), 1);
  setenv("HOME", (sandbox + "/t/home").c_str(), 1);
  setenv("TMPDIR", (sandbox + "/tmp").c_str(), 1);
  for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR", "XDG_DOCUMENTS_DIR", "USERPROFILE"})
    unsetenv(name);
  tempFolder = sandbox + "/tmp";
  fs::create_directories(tempFolder);
  logFolder = sandbox + "/t/root/var/lib/Test App";
  logPath = logFolder + "/Test App.inst";
  atexit([] {
    std::error_code ignored;
    fs::remove_all(sandbox, ignored);
  });
}

}  // namespace

// The replay allocates many short-lived strings and paths per input; with the
// default quarantine of freed memory (256 MB) nearly every allocation lands
// on memory the kernel has to map afresh, which took half of each run. A
// use after free is still caught while the freed block is among the last
// 16 MB freed, far more than one replay frees.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetUpSandbox();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Logs are a few dozen lines; the cap keeps hostile inputs quick.
  if (size > (16 << 10)) return 0;
  if (!TreeIntact()) {
    MakeTree();
    StampTree();
  }
  // Lines end at CR, LF or CR LF, as the replay reads them, so that every
  // line the replay sees has been confined.
  std::string text(reinterpret_cast<const char*>(data), size);
  std::replace(text.begin(), text.end(), '\r', '\n');
  std::string log;
  for (const std::string& line : Split(text, '\n')) log += ConfineLine(line) + "\n";
  std::ofstream(logPath, std::ios::binary) << log;
  // The replay runs with the working folder inside the sandbox, so that a
  // relative path lands there too; the fuzzer's own files stay relative to
  // the folder it was started in.
  const fs::path startFolder = fs::current_path();
  fs::current_path(sandbox + "/cwd");
  replaying = true;
  try {
    sys::ReplayUninstallLog(logPath);
  } catch (const std::exception&) {
  }
  replaying = false;
  fs::current_path(startFolder);
  Require(fs::exists(sandbox + "/keep/precious.txt"), "a file reached through a symbolic link was deleted");
  Require(fs::is_directory(sandbox + "/t/home"), "the home folder was deleted");
  Require(fs::is_directory(sandbox + "/t/root/var/lib"), "the application-data folder was deleted");
  Require(fs::is_directory(sandbox + "/t/root/usr/share/applications"), "the programs folder was deleted");
  return 0;
}
