// Windows side of clearing earlier staging folders: listing, the in-use
// test and removal, none of which follows a reparse point.
#include <windows.h>
#include <string.h>

#include "platform/platform.h"

namespace platform {

bool ListDirectory(const char* path, void (*visit)(void* context, const char* name), void* context) {
  // Listed through a handle of its own, shared with everyone (path searches
  // may not share deletion, and a folder being cleared is held for it), and
  // opened without following a reparse point.
  HANDLE dir =
      CreateFileA(path, FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (dir == INVALID_HANDLE_VALUE) return false;
  // Aligned for the records, which hold 8-byte fields.
  alignas(8) BYTE buffer[16384];
  char name[MAX_PATH];
  bool ok = true;
  while (GetFileInformationByHandleEx(dir, FileFullDirectoryInfo, buffer, sizeof buffer)) {
    for (DWORD offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer + offset);
      const int wide = static_cast<int>(entry->FileNameLength / sizeof(WCHAR));
      // Names that do not fit or have no ANSI form cannot be named by path:
      // not visited.
      BOOL lossy = FALSE;
      int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, entry->FileName, wide, name, sizeof name - 1, nullptr,
                                  &lossy);
      if (n > 0 && !lossy) {
        name[n] = '\0';
        if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0) visit(context, name);
      }
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
  if (GetLastError() != ERROR_NO_MORE_FILES) ok = false;
  DWORD error = GetLastError();
  CloseHandle(dir);
  SetLastError(error);
  return ok;
}

bool IsFileInUse(const char* path) {
  // A running program's image cannot be opened for writing, whatever the
  // sharing asked for; neither can a file someone holds without sharing.
  HANDLE file = CreateFileA(path, FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
  }
  CloseHandle(file);
  return false;
}

bool RemoveEntry(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // The link itself: a directory link goes as a directory, never its target.
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(path) != FALSE : DeleteFileA(path) != FALSE;
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    // Attributes belong to the file, not the name: never change those of a
    // file that has other names elsewhere.
    HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    bool single = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    // Zero would mean "no change": a file that was only read-only is normal.
    DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (single) SetFileAttributesA(path, cleared ? cleared : FILE_ATTRIBUTE_NORMAL);
  }
  return DeleteFileA(path) != FALSE;
}

bool RemoveDirectoryAt(const char* path) { return RemoveDirectoryA(path) != FALSE; }

}  // namespace platform
