// Windows side of the command line and the console. A GUI-subsystem program
// starts with no console; when its output is not redirected, the parent's
// console is attached and the C streams stdout and stderr, which the program
// prints to, are reopened on it. Text reaches a console through its UTF-16
// API and leaves the command line through CommandLineToArgvW, so that
// neither depends on the ANSI or console code page.
#include <windows.h>
#include <shellapi.h>

#include <io.h>

#include <algorithm>
#include <cstdio>

#include "system/platform.h"
#include "system/win32/wide_text.h"

namespace sys::platform {

namespace {

bool LeadsNowhere(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

}  // namespace

void AttachParentConsole() {
  const bool reopenOut = LeadsNowhere(STD_OUTPUT_HANDLE);
  const bool reopenErr = LeadsNowhere(STD_ERROR_HANDLE);
  if (!reopenOut && !reopenErr) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (reopenOut) std::freopen("CONOUT$", "w", stdout);
  if (reopenErr) std::freopen("CONOUT$", "w", stderr);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(win32::Narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

bool WriteConsoleText(std::FILE* stream, std::string_view text) {
  const intptr_t osHandle = _get_osfhandle(_fileno(stream));
  const HANDLE console = reinterpret_cast<HANDLE>(osHandle);
  DWORD mode = 0;
  if (osHandle == -1 || !GetConsoleMode(console, &mode)) return false;
  // What the C stream holds goes first, to keep the order of the text.
  std::fflush(stream);
  const std::wstring wide = win32::Widen(text);
  size_t done = 0;
  while (done < wide.size()) {
    DWORD written = 0;
    const DWORD part = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 8192));
    if (!WriteConsoleW(console, wide.data() + done, part, &written, nullptr) || written == 0) break;
    done += written;
  }
  return true;
}

}  // namespace sys::platform
