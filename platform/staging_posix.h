// Shared between the two POSIX files of the private staging folder: opening
// a folder itself, and who owns a folder.
#ifndef PATHWARDEN_PLATFORM_STAGING_POSIX_H_
#define PATHWARDEN_PLATFORM_STAGING_POSIX_H_

#include <stddef.h>
#include <sys/types.h>

namespace platform {
namespace internal {

// Opens the directory `path` itself: a link in its place is refused
// (O_NOFOLLOW), not followed. A descriptor, or -1 with errno set.
int OpenFolder(const char* path);

enum class FolderOwner { kAdministrators, kAccount, kOther };

// Root; the running account; anyone else.
FolderOwner ClassifyOwner(uid_t uid);

}  // namespace internal
}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_STAGING_POSIX_H_
