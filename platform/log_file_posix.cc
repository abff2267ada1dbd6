// POSIX stand-in for the log append: one line at a time, to a file of our own.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/log_file.h"
#include "platform/system.h"
#include "platform/posix_internal.h"

namespace platform {

using internal::SetError;

namespace {

// Opens the log `path` (absolute) for appending. An elevated run walks the
// path from the root, each folder opened relative to the one before and
// none through a symbolic link, since the user's own temporary folder is the
// unelevated half's to arrange; the file is then opened relative to its held
// folder. Returns the descriptor or -1 with errno set.
// With `create_new` only a file made by this open is taken (O_EXCL).
int OpenLog(const char* path, bool elevated, bool create_new) {
  const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (create_new ? O_EXCL : 0);
  if (!elevated) return open(path, flags, 0666);
  if (path[0] != '/') {
    errno = EINVAL;
    return -1;
  }
  int dir = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
  const char* part = path + 1;
  for (const char* slash = strchr(part, '/'); dir >= 0 && slash; slash = strchr(part, '/')) {
    const std::string name(part, static_cast<size_t>(slash - part));
    part = slash + 1;
    if (name.empty() || name == ".") continue;
    const int next = openat(dir, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = errno;
    close(dir);
    errno = error;
    dir = next;
  }
  if (dir < 0) return -1;
  const int fd = openat(dir, part, flags, 0666);
  const int error = errno;
  close(dir);
  errno = error;
  return fd;
}

bool WriteLogFile(const char* path, const char* text, size_t length, bool create_new) {
  // O_APPEND makes each write land at the end as one piece, whoever else
  // appends at the same time. A symbolic link is not followed, and a file
  // with a second name is refused: a privileged writer would otherwise
  // append to whatever file the link's owner chose. Non-blocking: a FIFO in
  // its place, or a lease someone holds on it, cannot hold the open.
  const bool elevated = IsElevated();
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

}  // namespace

bool AppendTextToFile(const char* path, const char* text, size_t length) {
  return WriteLogFile(path, text, length, false);
}

bool CreateTextFile(const char* path, const char* text, size_t length) {
  return WriteLogFile(path, text, length, true);
}

}  // namespace platform
