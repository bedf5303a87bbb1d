#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "system/launch.h"
#include "system/paths.h"

namespace sys::platform {

namespace {

// Splits a parameter string at blanks; double quotes group blanks into one
// argument and are removed.
std::vector<std::string> SplitParameters(const std::string& parameters) {
  std::vector<std::string> arguments;
  std::string current;
  bool quoted = false;
  bool pending = false;
  for (char c : parameters) {
    if (c == '"') {
      quoted = !quoted;
      pending = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (pending) arguments.push_back(current);
      current.clear();
      pending = false;
    } else {
      current += c;
      pending = true;
    }
  }
  if (pending) arguments.push_back(current);
  return arguments;
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Starts argv detached (a grandchild that init adopts, so no zombie is left
// and nobody waits). A close-on-exec pipe tells whether the exec succeeded:
// it closes without data on success, and carries errno on failure.
bool SpawnDetached(const std::vector<std::string>& argv, const std::string& folder) {
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
  return got == 0;
}

}  // namespace

bool ShellLaunch(const std::string& file, const std::string& parameters, const std::string& workingFolder) {
  const std::string path = ToNativeSeparators(file);
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0) return false;
  const std::string folder = ToNativeSeparators(workingFolder);
  std::vector<std::string> argv;
  if (IsExecutableFile(path)) {
    argv.push_back(path);
    for (std::string& argument : SplitParameters(parameters)) argv.push_back(std::move(argument));
  } else {
    argv = {"xdg-open", path};
  }
  return SpawnDetached(argv, folder);
}

}  // namespace sys::platform
