#include <windows.h>

#include <atomic>

#include "system/interrupts.h"

namespace sys {
namespace {

std::atomic<bool> interrupted{false};
std::atomic<bool> guarded{false};
int guards = 0;  // user-interface thread only

// The system ends the process about five seconds after a close, log-off or
// shut-down event; the run gets most of that time to undo its work.
constexpr DWORD kCloseGraceMs = 4500;

BOOL WINAPI Remember(DWORD event) {
  interrupted = true;
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Returning lets the system end the process: hold it while the run cleans up.
    for (DWORD waited = 0; guarded && waited < kCloseGraceMs; waited += 50) Sleep(50);
  }
  return TRUE;
}

}  // namespace

InterruptGuard::InterruptGuard() {
  if (guards++ > 0) return;
  interrupted = false;
  guarded = true;
  SetConsoleCtrlHandler(Remember, TRUE);
}

InterruptGuard::~InterruptGuard() {
  if (--guards > 0) return;
  guarded = false;
  SetConsoleCtrlHandler(Remember, FALSE);
}

bool InterruptRequested() { return interrupted; }

}  // namespace sys
