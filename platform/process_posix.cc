// POSIX stand-in for the shell's open action and the worker thread.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/process.h"
#include "platform/posix_internal.h"
#include "platform/system.h"

namespace platform {

namespace {

constexpr char kSystemOpener[] = "/usr/bin/xdg-open";

// Finds `name` on PATH; empty if absent.
std::string FindOnPath(const char* name) {
  const char* path = getenv("PATH");
  if (!path) return std::string();
  std::string dirs(path);
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::string();
}

}  // namespace

intptr_t ShellOpen(const char* path, const char* directory) {
  constexpr intptr_t kSuccess = 42;        // what ShellExecuteA gives on success
  constexpr intptr_t kNoAssociation = 31;  // SE_ERR_NOASSOC
  if (const char* replayed = getenv("VELSETUP_SHELL_RESULT")) return static_cast<intptr_t>(atol(replayed));
  struct stat st;
  if (stat(path, &st) != 0) return errno == ENOENT ? 2 : 5;
  std::string program = path;
  std::string argument;
  if (!S_ISREG(st.st_mode) || access(path, X_OK) != 0) {
    // Elevated, only the system's opener: PATH is the user's to arrange, as
    // the user's own file associations are on Windows.
    program = IsElevated() ? (access(kSystemOpener, X_OK) == 0 ? kSystemOpener : "") : FindOnPath("xdg-open");
    if (program.empty()) return kNoAssociation;
    argument = path;
  }
  char* argv[3] = {const_cast<char*>(program.c_str()), argument.empty() ? nullptr : const_cast<char*>(argument.c_str()),
                   nullptr};

  // A pipe that closes on a successful exec tells the exec's result.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return 0;
  pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return 0;
  }
  if (child == 0) {
    // Detach: a new session, and a grandchild that init adopts at once, so
    // the installer outlives this program and leaves no zombie behind.
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0) {
      int null_fd = open("/dev/null", O_RDWR);
      if (null_fd >= 0) {
        dup2(null_fd, 0);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        if (null_fd > 2) close(null_fd);
      }
      if (chdir(directory) == 0) execv(argv[0], argv);
      int error = errno;
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
      _exit(127);
    }
    if (grandchild < 0) {
      int error = errno;
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
    }
    _exit(0);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  do {
    n = read(report[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof error)) {
    internal::SetError(static_cast<uint32_t>(error));
    return error == ENOENT ? 2 : (error == EACCES || error == ETXTBSY) ? 5 : 0;
  }
  return kSuccess;
}

namespace {

struct ThreadStart {
  uint32_t (*procedure)(void*);
  void* parameter;
};

void* ThreadMain(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.procedure(start.parameter);
  return nullptr;
}

}  // namespace

bool ScopedThread::Start(uint32_t (*procedure)(void*), void* parameter) {
  if (running_) return false;
  auto* start = new ThreadStart{procedure, parameter};
  pthread_t thread;
  int error = pthread_create(&thread, nullptr, ThreadMain, start);
  if (error != 0) {
    delete start;
    return internal::SetError(static_cast<uint32_t>(error));
  }
  handle_ = static_cast<uintptr_t>(thread);
  running_ = true;
  return true;
}

void ScopedThread::Join() {
  if (!running_) return;
  pthread_join(static_cast<pthread_t>(handle_), nullptr);
  running_ = false;
  handle_ = 0;
}

}  // namespace platform
