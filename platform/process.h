// Processes and threads: opening the installer copy with its registered
// action, and the install worker's thread. Implemented by process_win.cc and
// process_posix.cc.
#ifndef PATHWARDEN_PLATFORM_PROCESS_H_
#define PATHWARDEN_PLATFORM_PROCESS_H_

#include <stdint.h>

namespace platform {

// Opens `path` with its registered action, shown normally, not waiting for
// it, in the working directory `directory` (ShellExecuteA "open"). Returns
// the shell's result: greater than 32 on success, 32 or less on failure. The POSIX stand-in gives the number in
// VELSETUP_SHELL_RESULT instead, starting nothing, when that is set (to
// replay a customer's failed open).
intptr_t ShellOpen(const char* path, const char* directory);

// A started thread, joined when this object goes away.
class ScopedThread {
 public:
  ScopedThread() = default;
  ~ScopedThread() { Join(); }
  ScopedThread(const ScopedThread&) = delete;
  ScopedThread& operator=(const ScopedThread&) = delete;

  // Starts `procedure(parameter)` on a new thread at normal priority with the
  // default stack. Returns false if it cannot start (or one already runs).
  bool Start(uint32_t (*procedure)(void*), void* parameter);

  // Waits for the thread to end and releases it; nothing if none runs. On
  // Windows the wait keeps handling messages sent to the calling thread's
  // windows, so a worker blocked in a synchronous send cannot deadlock it.
  void Join();

 private:
  uintptr_t handle_ = 0;
  bool running_ = false;
};

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_PROCESS_H_
