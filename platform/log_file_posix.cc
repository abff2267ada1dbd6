// POSIX stand-in for the log append: one line at a time, to a file of our own.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>

#include "formats/ascii.h"
#include "platform/log_file.h"
#include "platform/system.h"
#include "platform/posix_internal.h"

namespace platform {

using internal::SetError;

namespace {

// Walks the absolute `path` from the root through its first `end` bytes
// (its folder, up to and with the last separator), each folder opened
// relative to the one before and none through a symbolic link. Returns that
// folder's descriptor or -1 with errno set.
int OpenFolderChain(const char* path, size_t end) {
  int dir = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
  size_t start = 1;
  for (size_t i = start; dir >= 0 && i < end; ++i) {
    if (path[i] != '/') continue;
    const std::string name(path + start, i - start);
    start = i + 1;
    if (name.empty() || name == ".") continue;
    const int next = openat(dir, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = errno;
    close(dir);
    errno = error;
    dir = next;
  }
  return dir;
}

// The log's folder, held for the run once its path has been walked, as the
// Windows side holds it: later lines open only the file relative to it.
std::mutex g_folder_lock;
int g_folder = -1;
std::string g_folder_path;

// Opens the log `path` (absolute) for appending. An elevated run walks its
// folder once (the user's own temporary folder is the unelevated half's to
// arrange) and opens the file relative to the held folder. Returns the
// descriptor or -1 with errno set. With `create_new` only a file made by
// this open is taken (O_EXCL).
int OpenLog(const char* path, bool elevated, bool create_new) {
  const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (create_new ? O_EXCL : 0);
  if (!elevated) return open(path, flags, 0666);
  if (path[0] != '/') {
    errno = EINVAL;
    return -1;
  }
  const size_t name = formats::LastComponentStart(path, strlen(path), '/', '/');
  std::lock_guard<std::mutex> lock(g_folder_lock);
  if (g_folder < 0 || g_folder_path.compare(0, std::string::npos, path, name) != 0) {
    if (g_folder >= 0) close(g_folder);
    g_folder = OpenFolderChain(path, name);
    g_folder_path.assign(path, g_folder >= 0 ? name : 0);
    if (g_folder < 0) return -1;
  }
  return openat(g_folder, path + name, flags, 0666);
}

// Whether the run is elevated: -1 until first asked, then kept for the run.
std::atomic<int> g_elevated{-1};

}  // namespace

bool WriteTextFile(const char* path, const char* text, size_t length, LogOpen how) {
  const bool create_new = how == LogOpen::kCreateNew;
  // O_APPEND makes each write land at the end as one piece, whoever else
  // appends at the same time. A symbolic link is not followed, and a file
  // with a second name is refused: a privileged writer would otherwise
  // append to whatever file the link's owner chose. Non-blocking: a FIFO in
  // its place, or a lease someone holds on it, cannot hold the open.
  if (g_elevated.load() < 0) g_elevated.store(IsElevated() ? 1 : 0);
  const bool elevated = g_elevated.load() == 1;
  int fd = OpenLog(path, elevated, create_new);
  if (fd < 0) return SetError(static_cast<uint32_t>(errno));
  struct stat st;
  // Elevated, a log that anyone else made first is not written to: they
  // could read what the run logs.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
      (elevated && st.st_uid != 0 && st.st_uid != geteuid())) {
    close(fd);
    return SetError(EACCES);
  }
  while (length > 0) {
    ssize_t n = write(fd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text += n;
    length -= static_cast<size_t>(n);
  }
  close(fd);
  return true;
}

}  // namespace platform
