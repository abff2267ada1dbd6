// POSIX side of the whole-file read; see file_read.h.
#include "platform/file_read.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileRead ReadWholeFile(const char* path, uint64_t max_bytes, std::string* out, std::string* reason) {
  // Not blocking: opening a pipe with no writer would otherwise wait for one.
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (reason) *reason = strerror(errno);
    return FileRead::kCannotOpen;
  }
  struct stat st;
  FileRead result = FileRead::kRead;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    result = FileRead::kNotAFile;
  } else if (static_cast<uint64_t>(st.st_size) > max_bytes) {
    result = FileRead::kTooLarge;
  } else {
    out->clear();
    out->reserve(static_cast<size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n < 0) result = FileRead::kReadError;
        break;
      }
      if (static_cast<uint64_t>(n) > max_bytes - out->size()) {
        result = FileRead::kTooLarge;
        break;
      }
      out->append(chunk, static_cast<size_t>(n));
    }
  }
  close(fd);
  return result;
}

}  // namespace platform
