// POSIX side of the command line and the console: a process inherits its
// standard streams, its arguments are the bytes it was given (UTF-8 on any
// current system) and a terminal takes UTF-8 bytes as they are.
#include <algorithm>

#include "system/platform.h"

namespace sys::platform {

void AttachParentConsole() {}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

bool WriteConsoleText(std::FILE*, std::string_view) { return false; }

}  // namespace sys::platform
