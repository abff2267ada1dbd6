// Staging, the private folder of elevated runs: made under the system's
// temporary directory, owned by the administrators and held open while the
// run needs it. Implemented by staging_win.cc and staging_posix.cc; listing
// and clearing earlier folders is platform/staging_tree.h.
#ifndef PATHWARDEN_PLATFORM_STAGING_H_
#define PATHWARDEN_PLATFORM_STAGING_H_

#include <stdint.h>

namespace platform {

// Writes the system's temporary directory (Windows: %SystemRoot%\Temp\; the
// POSIX stand-in: $VELSETUP_SYSTEM_TEMP, else /var/tmp/), ending with the
// separator, and returns its length. Returns 0 when it does not exist as a
// directory, and a value >= `size` (buffer untouched) when it does not fit:
// only the buffer limits it, on both sides; the caller holds it to
// kMaxPathLength (platform/system.h).
// Ordinary users may create entries there but not rename or delete those of
// others.
uint32_t GetSystemTempDirectory(char* buffer, uint32_t size);

// True when the volume holding `directory` keeps access lists
// (FILE_PERSISTENT_ACLS; POSIX: any file system but FAT and exFAT).
bool KeepsAccessLists(const char* directory);

// An open handle on a directory (a descriptor on POSIX) that keeps others
// from deleting it while it is held: they find it in use. Closed when it goes.
class DirectoryHold {
 public:
  DirectoryHold() = default;
  ~DirectoryHold() { Release(); }
  DirectoryHold(const DirectoryHold&) = delete;
  DirectoryHold& operator=(const DirectoryHold&) = delete;

  void Release();
  intptr_t* receive() { return &handle_; }

 private:
  intptr_t handle_ = -1;
};

// Creates the new directory `path` owned by the administrators (root), with
// full control for the system and administrators, no rights for users (who
// could otherwise hold it in use for ever) and nothing inherited; holds it
// with `hold` and checks through that handle that it is a directory and not a
// reparse point or link, still at `path`, and that nobody but the system, the
// administrators and its owner may change it. Sets `*owned_by_account` when
// the system gave it to the running account instead of the administrators.
// False (the reason in GetLastSystemError()) if it exists already, another
// run removed or holds it before it could be held, or any check fails; a
// folder it held and then refused is removed again (Windows: through the
// hold; POSIX: only while it is still the entry at `path`).
bool CreatePrivateDirectory(const char* path, DirectoryHold* hold, bool* owned_by_account);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_STAGING_H_
