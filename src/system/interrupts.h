// Interruptions of a run that must clean up after itself: Ctrl-C, SIGTERM
// and SIGHUP on POSIX systems; Ctrl-C, Ctrl-Break, closing the console
// window, logging off and shutting down on Windows.
//
// While an InterruptGuard lives, such an interruption no longer ends the
// process at once: it is remembered, and the run, which asks
// InterruptRequested() at each step, stops and undoes what it did. On
// Windows the system ends the process a few seconds after a console close;
// the handler holds it until the guard is gone or that time is nearly up.
#pragma once

namespace sys {

class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// True once an interruption arrived while a guard lived (until the next
// guard is made).
bool InterruptRequested();

}  // namespace sys
