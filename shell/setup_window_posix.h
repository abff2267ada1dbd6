// The POSIX program's stand-in for the hidden setup dialog.
#ifndef PATHWARDEN_SHELL_SETUP_WINDOW_POSIX_H_
#define PATHWARDEN_SHELL_SETUP_WINDOW_POSIX_H_

#include "platform/process.h"

// What the modal run gives when the worker cannot start (IDCANCEL).
constexpr int kSetupCancelled = 2;

// Does what setup.exe's dialog does: logs its start, starts the install
// worker on `worker` and, on the worker's finish request, ends the modal
// run. Returns the run's result once the worker has been joined; at once,
// with kSetupCancelled, when the worker cannot start.
int RunSetupWindow(platform::ScopedThread* worker);

#endif  // PATHWARDEN_SHELL_SETUP_WINDOW_POSIX_H_
