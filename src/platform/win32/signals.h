// SIGTERM, SIGINT and SIGHUP as a clean end of the run. The handler only records the
// signal and wakes the message queue (async-signal-safe); the queue then, outside the
// handler, runs the termination callback if one is set, or otherwise sends WM_CLOSE to
// every top-level window of ours and posts WM_QUIT, so a PeekMessageA/GetMessageA loop
// sees the end and the program's own teardown runs.
#pragma once

#include <functional>

namespace win32 {

// Installs the handlers (idempotent). SDL's own handlers are switched off.
void InstallTerminationSignals();
// The signal received (SIGTERM, SIGINT, SIGHUP), 0 if none. Stays set once seen.
int TerminationSignal();
// Called once, from the message queue, when a termination signal has been seen; replaces
// the default WM_CLOSE + WM_QUIT. nullptr restores the default.
void SetTerminationCallback(std::function<void(int signal)> callback);
// For loops that do not take messages (capture): true once a signal arrived; runs the
// same delivery as the message queue does.
bool PollTermination();
// For tests: forgets a received signal.
void ResetTerminationForTesting();

}  // namespace win32
