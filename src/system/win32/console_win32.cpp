// Windows side of AttachParentConsole. A GUI-subsystem program starts with
// no console; when its output is not redirected, the parent's console is
// attached and the C streams stdout and stderr, which the program prints to,
// are reopened on it.
#include <windows.h>

#include <cstdio>

#include "system/platform.h"

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

}  // namespace sys::platform
