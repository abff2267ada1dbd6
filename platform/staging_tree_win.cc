// Windows side of clearing earlier staging folders: listing, the in-use
// test and removal, none of which follows a reparse point.
#include <windows.h>
#include <string.h>

#include "platform/platform.h"

namespace platform {

bool ListDirectory(const char* path, void (*visit)(void* context, const char* name), void* context) {
  char pattern[MAX_PATH];
  size_t n = strlen(path);
  const bool separator = n > 0 && (path[n - 1] == '\\' || path[n - 1] == '/');
  if (n + (separator ? 1 : 2) >= sizeof pattern) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  memcpy(pattern, path, n);
  if (!separator) pattern[n++] = '\\';
  pattern[n++] = '*';
  pattern[n] = '\0';
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(pattern, &entry);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0) visit(context, entry.cFileName);
  } while (FindNextFileA(find, &entry));
  DWORD error = GetLastError();
  FindClose(find);
  if (error != ERROR_NO_MORE_FILES) {
    SetLastError(error);
    return false;
  }
  return true;
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
