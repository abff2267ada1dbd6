// POSIX stand-in for the private staging folder: the system's temporary
// directory, the folder made and checked through its descriptor, and the
// hold (an advisory lock on it).
#include "platform/staging.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "platform/posix_internal.h"
#include "platform/system.h"
#include "platform/staging_posix.h"

namespace platform {

using internal::ClassifyOwner;
using internal::FolderOwner;
using internal::OpenFolder;
using internal::SetError;

namespace internal {

int OpenFolder(const char* path) { return open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }

FolderOwner ClassifyOwner(uid_t uid) {
  if (uid == 0) return FolderOwner::kAdministrators;
  return uid == geteuid() ? FolderOwner::kAccount : FolderOwner::kOther;
}

}  // namespace internal

uint32_t GetSystemTempDirectory(char* buffer, uint32_t size) {
  // Tests point this at a folder of their own; /var/tmp is the system's
  // shared, sticky temporary directory that survives a restart.
  const char* dir = getenv("VELSETUP_SYSTEM_TEMP");
  if (!dir || !*dir) dir = "/var/tmp";
  size_t n = strlen(dir);
  const bool separator = dir[n - 1] == '/';
  size_t needed = n + (separator ? 0 : 1);
  if (needed + 1 > size) return static_cast<uint32_t>(needed + 1);
  struct stat st;
  if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
  memcpy(buffer, dir, n);
  if (!separator) buffer[n] = '/';
  buffer[needed] = '\0';
  return static_cast<uint32_t>(needed);
}

bool KeepsAccessLists(const char* directory) {
  // FAT and exFAT keep no owner or permission bits of their own.
  constexpr long kMsdos = 0x4d44;
  constexpr long kExfat = 0x2011BAB0;
  struct statfs fs;
  if (statfs(directory, &fs) != 0) return SetError(static_cast<uint32_t>(errno));
  return fs.f_type != kMsdos && fs.f_type != kExfat;
}

void DirectoryHold::Release() {
  if (handle_ != -1) close(static_cast<int>(handle_));
  handle_ = -1;
}

bool CreatePrivateDirectory(const char* path, DirectoryHold* hold, bool* owned_by_account) {
  *owned_by_account = false;
  if (mkdir(path, 0700) != 0) return SetError(static_cast<uint32_t>(errno));
  int fd = OpenFolder(path);
  uint32_t error = fd < 0 ? static_cast<uint32_t>(errno) : 0;
  // Held first: another run clearing earlier folders may have taken it for
  // one between mkdir and open; then it is locked by that run or gone.
  if (!error && flock(fd, LOCK_EX | LOCK_NB) != 0) error = static_cast<uint32_t>(errno);
  const bool held = !error;
  struct stat st = {};
  struct stat at_path = {};
  // Its owner's only, as made (whatever the umask): nobody else can open it
  // to keep it in use or lock it first. Then checked as made.
  if (!error && (fchmod(fd, 0700) != 0 || fstat(fd, &st) != 0 || lstat(path, &at_path) != 0)) {
    error = static_cast<uint32_t>(errno);
  }
  if (!error && (st.st_dev != at_path.st_dev || st.st_ino != at_path.st_ino || st.st_nlink == 0)) error = ENOENT;
  if (!error && (!S_ISDIR(st.st_mode) || (st.st_mode & 07777) != 0700)) error = EPERM;
  if (!error && ClassifyOwner(st.st_uid) == FolderOwner::kOther) error = EPERM;
  if (error) {
    // Held and then refused: removed, as the Windows side deletes it through
    // its hold, but only while the entry at `path` is still the one held.
    // The sticky temporary folder lets nobody else rename or swap it there.
    if (held && fstat(fd, &st) == 0 && lstat(path, &at_path) == 0 && st.st_dev == at_path.st_dev &&
        st.st_ino == at_path.st_ino) {
      rmdir(path);
    }
    if (fd >= 0) close(fd);
    return SetError(error);
  }
  *owned_by_account = ClassifyOwner(st.st_uid) == FolderOwner::kAccount;
  hold->Release();
  *hold->receive() = fd;
  return true;
}

}  // namespace platform
