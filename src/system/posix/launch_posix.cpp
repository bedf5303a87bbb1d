// Launching on POSIX systems: a file with execute permission runs directly
// in its folder; a program without it is refused with the reason; any other
// file is a document, opened by the desktop's handler for its type
// ("gio open", else "xdg-open").
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "system/launch.h"
#include "system/paths.h"
#include "system/posix/desktop_entry_posix.h"

namespace sys::platform {

namespace {

// Starts argv detached (a grandchild that init adopts, so no zombie is left
// and nobody waits). A close-on-exec pipe tells whether the exec succeeded:
// it closes without data on success, and carries errno on failure. On
// failure `reason` gets the system's words for it.
bool SpawnDetached(const std::vector<std::string>& argv, const std::string& folder, std::string* reason) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (child == 0) {
    close(report[0]);
    setsid();
    if (fork() != 0) _exit(0);
    if (!folder.empty() && chdir(folder.c_str()) != 0) {
      // Run in the inherited folder rather than not at all.
    }
    execvp(args[0], args.data());
    const int error = errno;
    ssize_t written = write(report[1], &error, sizeof error);
    (void)written;
    _exit(127);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (got != 0 && reason) *reason = got == sizeof error ? std::strerror(error) : "The program could not be started.";
  return got == 0;
}

// Opens a document with the handler the desktop has for its type. "gio
// open" answers whether a handler took it; "xdg-open" may wait for the
// handler to end, so it is only started.
bool OpenDocument(const std::string& path, const std::string& folder, std::string* reason) {
  if (desktop::OnPath("gio")) {
    if (desktop::RunAndWait({"gio", "open", path}, folder) == 0) return true;
  } else if (desktop::OnPath("xdg-open")) {
    return SpawnDetached({"xdg-open", path}, folder, reason);
  }
  if (reason) *reason = kLaunchNoHandler;
  return false;
}

}  // namespace

bool ShellLaunch(const std::string& file, const std::string& parameters, const std::string& workingFolder,
                 std::string* reason) {
  const std::string path = ToNativeSeparators(file);
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0) {
    if (reason) *reason = kLaunchNotFound;
    return false;
  }
  const std::string folder = ToNativeSeparators(workingFolder);
  if (S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0) {
    std::vector<std::string> argv = {path};
    for (std::string& argument : desktop::SplitCommandLine(parameters)) argv.push_back(std::move(argument));
    return SpawnDetached(argv, folder, reason);
  }
  if (S_ISREG(info.st_mode) && desktop::LooksLikeProgram(path)) {
    if (reason) *reason = kLaunchNotExecutable;
    return false;
  }
  return OpenDocument(path, folder, reason);
}

bool IsElevated() { return true; }

ElevatedRun RunElevatedAndWait(const std::string&, const std::string&, const std::function<void()>&) { return {}; }

}  // namespace sys::platform
