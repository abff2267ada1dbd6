// The install pass: compare the shipped versions with the installed ones and,
// when the machine is older, copy the installer to the temporary directory
// and open it there; then ask the setup window to finish.
#ifndef PATHWARDEN_LOGIC_INSTALL_H_
#define PATHWARDEN_LOGIC_INSTALL_H_

#include <stdint.h>

#include <string>

#include "platform/message_window.h"
#include "platform/process.h"

namespace logic {

// The setup window's private finish request (WM_APP + 1), both parameters 0.
constexpr uint32_t WM_SETUP_FINISH = 0x8001;

// The worker thread's procedure. `setup_window` is the setup dialog's window
// (a platform::Window), the receiver of WM_SETUP_FINISH, sent synchronously
// at the end of the pass. Returns 1.
uint32_t InstallPackage(void* setup_window);

// Why an installer name from the configuration cannot be used, or null when
// it can: it must be a non-empty path relative to the package folder that
// stays inside it (no root, drive, UNC prefix, stream or ".." component), and
// no component may name a device (CON, NUL, COM1, "aux.exe", ...) or end in a
// dot or a space, which the system would drop. `inexact` tells that the
// configuration's value had no exact form in the ANSI code page (its
// look-alike would name another file): that is the problem, whatever `name`.
const char* InstallerNameProblem(const std::string& name, bool inexact = false);

// Starts the install worker for `setup_window` on `worker`. Logs and returns
// false if it cannot start; the caller then ends the modal run at once.
bool StartInstallWorker(platform::Window setup_window, platform::ScopedThread* worker);

// The dialog's opening, the same in both shells: the log's place, its first
// line, then the worker. False when the worker could not start (logged):
// nothing else would end the dialog, so the caller ends it at once.
bool OpenSetupDialog(platform::Window setup_window, platform::ScopedThread* worker);

// What the modal run gives after the worker's finish request.
constexpr int kSetupFinished = 5;

// The finish request's handling, the same in both shells: `end(context,
// kSetupFinished)` ends the modal run between the two lines that frame it.
void FinishSetupDialog(void (*end)(void* context, int result), void* context);

}  // namespace logic

#endif  // PATHWARDEN_LOGIC_INSTALL_H_
