#include "system/posix/desktop_entry_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace sys::platform::desktop {
namespace {

constexpr const char* kGroupHeader = "[Desktop Entry]";

// Characters that oblige an Exec argument to be quoted.
constexpr const char* kExecReserved = " \t\n\"'\\><~|&;$*?#()`";
// Characters escaped with "\" inside a quoted Exec argument.
constexpr const char* kExecEscaped = "\"`$\\";

bool WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string ToSlashes(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string EscapeValue(const std::string& value) {
  std::string result;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    switch (c) {
      case '\\': result += "\\\\"; break;
      case '\n': result += "\\n"; break;
      case '\r': result += "\\r"; break;
      case '\t': result += "\\t"; break;
      case ' ': result += i == 0 ? "\\s" : " "; break;
      default: result += c; break;
    }
  }
  return result;
}

std::string UnescapeValue(const std::string& value) {
  std::string result;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      result += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's': result += ' '; break;
      case 'n': result += '\n'; break;
      case 'r': result += '\r'; break;
      case 't': result += '\t'; break;
      default: result += value[i]; break;
    }
  }
  return result;
}

std::vector<std::string> SplitCommandLine(const std::string& text) {
  std::vector<std::string> arguments;
  std::string current;
  bool quoted = false, pending = false;
  for (char c : text) {
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

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) {
    if (!text.empty()) text += ' ';
    const bool quote = argument.empty() || argument.find_first_of(" \t") != std::string::npos;
    text += quote ? "\"" + argument + "\"" : argument;
  }
  return text;
}

std::string ExecArgument(const std::string& argument) {
  std::string result;
  const bool quote = argument.empty() || argument.find_first_of(kExecReserved) != std::string::npos;
  if (quote) result += '"';
  for (char c : argument) {
    if (quote && std::string_view(kExecEscaped).find(c) != std::string_view::npos) result += '\\';
    result += c;
    if (c == '%') result += '%';
  }
  if (quote) result += '"';
  return result;
}

std::vector<std::string> ParseExec(const std::string& exec) {
  std::vector<std::string> arguments;
  std::string current;
  bool pending = false;
  for (size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (c == ' ' || c == '\t') {
      if (pending) arguments.push_back(current);
      current.clear();
      pending = false;
    } else if (c == '"') {
      pending = true;
      for (++i; i < exec.size() && exec[i] != '"'; ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
        current += exec[i];
      }
    } else {
      current += c;
      pending = true;
    }
  }
  if (pending) arguments.push_back(current);
  // "%%" is a percent sign; any other "%x" is a field code filled in by the
  // launching desktop, and an argument that is only a field code goes.
  std::vector<std::string> result;
  for (const std::string& argument : arguments) {
    std::string text;
    bool codeOnly = true;
    for (size_t k = 0; k < argument.size(); ++k) {
      if (argument[k] == '%' && k + 1 < argument.size()) {
        if (argument[++k] == '%') {
          text += '%';
          codeOnly = false;
        }
        continue;
      }
      text += argument[k];
      codeOnly = false;
    }
    if (!codeOnly || argument.empty()) result.push_back(text);
  }
  return result;
}

std::optional<std::map<std::string, std::string>> ReadEntry(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::map<std::string, std::string> keys;
  std::string line;
  bool inGroup = false, found = false;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("[")) {
      inGroup = line == kGroupHeader;
      found = found || inGroup;
      continue;
    }
    const size_t equals = line.find('=');
    if (inGroup && equals != std::string::npos && !keys.count(line.substr(0, equals)))
      keys[line.substr(0, equals)] = UnescapeValue(line.substr(equals + 1));
  }
  if (!found) return std::nullopt;
  return keys;
}

bool ReplaceFile(const std::string& path, const std::string& text, mode_t mode) {
  std::string temporary = path + ".XXXXXX";
  std::vector<char> pattern(temporary.begin(), temporary.end());
  pattern.push_back('\0');
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return false;
  temporary = pattern.data();
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, text);
  ok = close(fd) == 0 && ok;
  if (ok && rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

bool MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
    mkdir(folder.substr(0, slash).c_str(), 0755);
  mkdir(folder.c_str(), 0755);
  struct stat st {};
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<int> RunAndWait(const std::vector<std::string>& argv, const std::string& folder) {
  if (argv.empty()) return std::nullopt;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // A close-on-exec pipe stays silent when the exec succeeds and carries
  // errno when it fails, so "could not run" differs from "exited with 127".
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return std::nullopt;
  const pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return std::nullopt;
  }
  if (child == 0) {
    close(report[0]);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
    execvp(args[0], args.data());
    const int error = errno;
    ssize_t written = write(report[1], &error, sizeof error);
    (void)written;
    _exit(127);
  }
  close(report[1]);
  int error = 0;
  ssize_t got;
  while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (got != 0 || !WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
}

bool LooksLikeProgram(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  char head[4] = {};
  file.read(head, sizeof head);
  const std::string start(head, static_cast<size_t>(file.gcount()));
  return start.starts_with("\x7f" "ELF") || start.starts_with("#!");
}

bool IsDocument(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) != 0 &&
         !LooksLikeProgram(path);
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string folder = list.substr(start, end - start);
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + program;
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return true;
    start = end + 1;
  }
  return false;
}

}  // namespace sys::platform::desktop
