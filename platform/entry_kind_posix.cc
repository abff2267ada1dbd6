// POSIX side of the look at a directory entry; see entry_kind.h.
#include <stdlib.h>
#include <sys/stat.h>

#include "platform/entry_kind.h"

namespace platform {

EntryKind GetEntryKind(const char* path) {
  struct stat st;
  if (lstat(path, &st) != 0) return EntryKind::kMissing;
  if (S_ISLNK(st.st_mode)) return EntryKind::kLink;
  return S_ISDIR(st.st_mode) ? EntryKind::kDirectory : EntryKind::kFile;
}

bool ExaminePath(const char* path, EntryKind* kind, int64_t* size) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  *kind = S_ISDIR(st.st_mode) ? EntryKind::kDirectory : EntryKind::kFile;
  *size = S_ISDIR(st.st_mode) ? -1 : static_cast<int64_t>(st.st_size);
  return true;
}

bool GetAbsolutePath(const char* path, std::string* out) {
  char* resolved = realpath(path, nullptr);
  if (!resolved) return false;
  out->assign(resolved);
  free(resolved);  // NOLINT(cppcoreguidelines-no-malloc): realpath allocates with malloc
  return true;
}

}  // namespace platform
