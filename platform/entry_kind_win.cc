// Windows side of the look at a directory entry; see entry_kind.h. A file of
// its own so that only the programs that call it carry it.
#include <windows.h>

#include "platform/entry_kind.h"
#include "platform/handles_win.h"
#include "platform/system.h"

namespace platform {

EntryKind GetEntryKind(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::kLink;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::kDirectory : EntryKind::kFile;
}

bool ExaminePath(const char* path, EntryKind* kind, int64_t* size) {
  // Opened for no access, so that a link is followed to what it names and a
  // file another program holds open can still be looked at.
  ScopedHandle file(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.valid() || !GetFileInformationByHandle(file.get(), &info)) return false;
  const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  *kind = folder ? EntryKind::kDirectory : EntryKind::kFile;
  *size = folder ? -1 : static_cast<int64_t>(uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow);
  return true;
}

bool GetAbsolutePath(const char* path, std::string* out) {
  char buffer[kPathBufferSize] = {};
  const DWORD n = GetFullPathNameA(path, sizeof buffer, buffer, nullptr);
  if (n == 0 || n >= sizeof buffer) return false;
  out->assign(buffer, n);
  return true;
}

}  // namespace platform
