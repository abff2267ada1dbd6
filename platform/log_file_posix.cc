// POSIX stand-in for the log append: one line at a time, to a file of our own.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace platform {

using internal::SetError;

bool AppendTextToFile(const char* path, const char* text, size_t length) {
  // O_APPEND makes each write land at the end as one piece, whoever else
  // appends at the same time. A symbolic link is not followed, and a file
  // with a second name is refused: a privileged writer would otherwise
  // append to whatever file the link's owner chose. Non-blocking: a FIFO in
  // its place cannot hold the open.
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
  if (fd < 0) return SetError(static_cast<uint32_t>(errno));
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
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
