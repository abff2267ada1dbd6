// POSIX stand-in for staging's trees: listing a folder, and clearing
// earlier folders through descriptors held from the checked folder down,
// without following links.
#include "platform/staging_tree.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/posix_internal.h"
#include "platform/system.h"
#include "platform/staging_posix.h"

namespace platform {

using internal::ClassifyOwner;
using internal::FolderOwner;
using internal::OpenFolder;
using internal::SetError;

bool ListDirectory(const char* path, void (*visit)(void* context, const char* name), void* context) {
  int fd = OpenFolder(path);
  if (fd < 0) return SetError(static_cast<uint32_t>(errno));
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return SetError(static_cast<uint32_t>(errno));
  }
  for (struct dirent* entry = readdir(dir); entry; entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    if (strlen(entry->d_name) < kPathBufferSize) visit(context, entry->d_name);
  }
  closedir(dir);
  return true;
}

namespace {

// One open descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Opens the directory `name` of the held directory `dir` itself: a link in
// its place is refused (O_NOFOLLOW), not followed.
int OpenFolderAt(int dir, const char* name) {
  return openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

enum class Pass { kCheck, kRemove };

// One pass over what the held directory `dir` holds, as the Windows side
// does it: each subdirectory entered only through a descriptor of its own,
// opened relative to its parent's; each entry named relative to the held
// parent, so a link put in place of a checked folder is never followed.
// kCheck: true when no file below is in use. kRemove: true when all is gone.
// Entries are named only relative to their held parent, so no path of the
// whole, however long, is ever formed or limited.
bool Walk(int dir, Pass pass, int depth) {
  if (depth >= 32) return false;
  Descriptor listing(dup(dir));
  if (listing.get() < 0) return false;
  DIR* stream = fdopendir(listing.get());
  if (!stream) return false;
  listing.release();
  rewinddir(stream);
  bool whole = true;
  for (struct dirent* entry = readdir(stream); entry && (whole || pass == Pass::kRemove); entry = readdir(stream)) {
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    struct stat st;
    if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      whole = false;
      continue;
    }
    bool ok = true;
    if (S_ISDIR(st.st_mode)) {
      Descriptor sub(OpenFolderAt(dir, name));
      struct stat held;
      // What is entered must be what was looked at: the same directory.
      ok = sub.get() >= 0 && fstat(sub.get(), &held) == 0 && held.st_dev == st.st_dev && held.st_ino == st.st_ino &&
           Walk(sub.get(), pass, depth + 1);
      if (ok && pass == Pass::kRemove) ok = unlinkat(dir, name, AT_REMOVEDIR) == 0;
    } else if (pass == Pass::kCheck) {
      // The kernel refuses to open a running program's file for writing.
      if (S_ISREG(st.st_mode)) {
        int fd = openat(dir, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) close(fd);
        ok = !(fd < 0 && errno == ETXTBSY);
      }
    } else {
      // Files and links alike: the name goes, never what a link names.
      ok = unlinkat(dir, name, 0) == 0;
    }
    whole = ok && whole;
  }
  closedir(stream);
  return whole;
}

}  // namespace

namespace {

// Whose the directory is: root's; or the running account's where
// `account_owned`, and then only if nobody else may change it.
bool OwnedAsOurs(const struct stat& st, bool account_owned) {
  const FolderOwner owner = ClassifyOwner(st.st_uid);
  return S_ISDIR(st.st_mode) && (owner == FolderOwner::kAdministrators ||
                                 (account_owned && owner == FolderOwner::kAccount && (st.st_mode & 022) == 0));
}

}  // namespace

bool OwnedLikeStagingFolder(const char* base, const char* name, bool account_owned) {
  const std::string path = std::string(base) + name;
  struct stat st;
  return path.size() < kPathBufferSize && lstat(path.c_str(), &st) == 0 && OwnedAsOurs(st, account_owned);
}

ClearOutcome ClearStagingFolder(const char* base, const char* name, bool account_owned) {
  Descriptor parent(OpenFolder(base));
  const size_t length = strlen(base) + strlen(name);
  if (parent.get() < 0 || length >= kPathBufferSize) return ClearOutcome::kNotOurs;
  Descriptor top(OpenFolderAt(parent.get(), name));
  struct stat st;
  if (top.get() < 0 || fstat(top.get(), &st) != 0 || !S_ISDIR(st.st_mode)) return ClearOutcome::kNotOurs;
  // Whose it is, read through the descriptor that is acted on.
  if (!OwnedAsOurs(st, account_owned)) return ClearOutcome::kNotOurs;
  // Held while it is checked and cleared, so that no run can take it as its
  // new folder meanwhile; a run's own hold makes this fail.
  if (flock(top.get(), LOCK_EX | LOCK_NB) != 0) return ClearOutcome::kInUse;
  if (!Walk(top.get(), Pass::kCheck, 0) || !Walk(top.get(), Pass::kRemove, 0)) {
    return ClearOutcome::kInUse;
  }
  // The name must still be the held folder: otherwise it is someone else's.
  struct stat at_name;
  if (fstatat(parent.get(), name, &at_name, AT_SYMLINK_NOFOLLOW) != 0 || at_name.st_dev != st.st_dev ||
      at_name.st_ino != st.st_ino || unlinkat(parent.get(), name, AT_REMOVEDIR) != 0) {
    return ClearOutcome::kInUse;
  }
  return ClearOutcome::kRemoved;
}

}  // namespace platform
