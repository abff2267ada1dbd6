// Windows side of the look at a directory entry; see entry_kind.h. A file of
// its own so that only the programs that call it carry it.
#include <windows.h>

#include "platform/entry_kind.h"

namespace platform {

EntryKind GetEntryKind(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::kLink;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::kDirectory : EntryKind::kFile;
}

}  // namespace platform
