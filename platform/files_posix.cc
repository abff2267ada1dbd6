// POSIX stand-in for the file operations: the copy renamed into place,
// directories and file identity. (The log append is in log_file_posix.cc.)
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "formats/ascii.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/posix_internal.h"

namespace platform {

using internal::SetError;

bool DeleteFileByPath(const char* path) {
  if (unlink(path) != 0) return SetError(static_cast<uint32_t>(errno));
  return true;
}

namespace {

// Copies the open `in` (of `size` bytes) into the open `out`: in the kernel,
// cloning where the file system can; sendfile where copy_file_range cannot.
bool CopyContents(int in, int out, off_t size, uint32_t* error) {
  off_t remaining = size;
  bool use_sendfile = false;
  while (remaining > 0) {
    ssize_t n = use_sendfile ? sendfile(out, in, nullptr, static_cast<size_t>(remaining))
                             : copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(remaining), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && !use_sendfile && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
      use_sendfile = true;
      continue;
    }
    if (n <= 0) {
      *error = n < 0 ? static_cast<uint32_t>(errno) : EIO;
      return false;
    }
    remaining -= n;
  }
  return true;
}

// The temporary copy's path for `target`: its folder and a name of "~" and
// hexadecimal digits from `seed`, no longer than the target's own name.
std::string TemporaryName(const char* target, size_t length, uint32_t seed) {
  const size_t name = formats::LastComponentStart(target, length, '/', '/');
  char leaf[18];
  std::string temp(target, name);
  temp.append(leaf, formats::HexTempName(kCopyTempPrefix, seed, length - name, leaf));
  return temp;
}

}  // namespace

bool CopyFileTo(const char* source, const char* target) {
  // Windows' limit: a copy refused there is refused here.
  const size_t target_length = strlen(target);
  if (strlen(source) > kMaxPathLength || target_length > kMaxPathLength || target_length == 0) {
    return SetError(ENAMETOOLONG);
  }
  int in = open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return SetError(static_cast<uint32_t>(errno));
  struct stat in_st;
  if (fstat(in, &in_st) != 0 || !S_ISREG(in_st.st_mode)) {
    uint32_t error = S_ISDIR(in_st.st_mode) ? EISDIR : static_cast<uint32_t>(errno);
    close(in);
    return SetError(error);
  }
  // Named as the Windows side names it: no longer than the target's name,
  // made only if nothing of that name exists.
  std::string temp;
  int out = -1;
  errno = EEXIST;
  const uint32_t seed = static_cast<uint32_t>(getpid()) * 2654435761u ^ static_cast<uint32_t>(time(nullptr));
  for (uint32_t attempt = 0; attempt < 16 && out < 0 && errno == EEXIST; ++attempt) {
    temp = TemporaryName(target, target_length, seed + attempt * 0x9E3779B9u);
    if (temp == target) continue;
    out = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  }
  if (out < 0) {
    uint32_t error = static_cast<uint32_t>(errno);
    close(in);
    return SetError(error);
  }
  uint32_t error = 0;
  bool ok = CopyContents(in, out, in_st.st_size, &error);
  if (ok && fchmod(out, in_st.st_mode & 07777) != 0) {
    ok = false;
    error = static_cast<uint32_t>(errno);
  }
  if (close(out) != 0 && ok) {
    ok = false;
    error = static_cast<uint32_t>(errno);
  }
  close(in);
  if (ok && rename(temp.c_str(), target) != 0) {
    ok = false;
    error = static_cast<uint32_t>(errno);
  }
  if (!ok) {
    unlink(temp.c_str());
    return SetError(error);
  }
  return true;
}

bool SetNormalAttributes(const char* path) {
  // FILE_ATTRIBUTE_NORMAL clears read-only: give the owner write access.
  struct stat st;
  if (stat(path, &st) != 0 || chmod(path, (st.st_mode & 07777) | S_IWUSR) != 0) {
    return SetError(static_cast<uint32_t>(errno));
  }
  return true;
}

bool CreateDirectoryByPath(const char* path) {
  if (mkdir(path, 0777) == 0) return true;
  uint32_t error = static_cast<uint32_t>(errno);
  struct stat st;
  // Not through a link someone made first: the copy would land where it leads.
  if (error == EEXIST && lstat(path, &st) == 0 && S_ISDIR(st.st_mode)) return true;
  return SetError(error);
}

bool IsSameFile(const char* a, const char* b) {
  struct stat sa;
  struct stat sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace platform
