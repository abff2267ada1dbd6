// POSIX side of the look at a directory entry; see entry_kind.h.
#include <sys/stat.h>

#include "platform/entry_kind.h"

namespace platform {

EntryKind GetEntryKind(const char* path) {
  struct stat st;
  if (lstat(path, &st) != 0) return EntryKind::kMissing;
  if (S_ISLNK(st.st_mode)) return EntryKind::kLink;
  return S_ISDIR(st.st_mode) ? EntryKind::kDirectory : EntryKind::kFile;
}

}  // namespace platform
