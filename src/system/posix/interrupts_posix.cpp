#include <signal.h>

#include "system/interrupts.h"

namespace sys {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

volatile sig_atomic_t interrupted = 0;
struct sigaction previous[kSignalCount];
int guards = 0;  // user-interface thread only

void Remember(int) { interrupted = 1; }

}  // namespace

InterruptGuard::InterruptGuard() {
  if (guards++ > 0) return;
  interrupted = 0;
  struct sigaction action {};
  action.sa_handler = Remember;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &action, &previous[i]);
}

InterruptGuard::~InterruptGuard() {
  if (--guards > 0) return;
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &previous[i], nullptr);
}

bool InterruptRequested() { return interrupted != 0; }

}  // namespace sys
