// Windows side of the boundary: the copy renamed into place, directories and
// file identity. (The log append is in log_file_win.cc.)
#include <windows.h>
#include <string.h>

#include <string>

#include "formats/ascii.h"
#include "platform/handles_win.h"
#include "platform/files.h"
#include "platform/system.h"

namespace platform {

bool DeleteFileByPath(const char* path) { return DeleteFileA(path) != FALSE; }

namespace {

// Deletes a temporary copy whatever its attributes: CopyFileA gives it the
// source's, and DeleteFileA refuses a read-only file.
void RemoveTemporaryCopy(const char* path) {
  DWORD error = GetLastError();
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path);
  SetLastError(error);
}

// Writes into `temp` (capacity MAX_PATH) the temporary copy's path for
// `target` (its length `length`, at most kMaxPathLength): the target's folder
// and a name of "~" and hexadecimal digits from `seed`, no longer than the
// target's own name, so that it fits wherever the target does.
void TemporaryName(const char* target, size_t length, uint32_t seed, char* temp) {
  const size_t name = formats::LastComponentStart(target, length, '\\', '/',
                                                  [](char c) { return IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE; });
  memcpy(temp, target, name);
  formats::HexTempName(kCopyTempPrefix, seed, length - name, temp + name);
}

}  // namespace

bool CopyFileTo(const char* source, const char* target) {
  // A temporary name beside the target, renamed onto it once complete,
  // made only if no file of that name exists (another run may be copying
  // beside us); a path the system cannot take is refused, never copied in
  // place.
  char temp[MAX_PATH];
  static_assert(sizeof temp == kMaxPathLength + 1, "one path the system takes");
  const size_t target_length = strlen(target);
  if (strlen(source) > kMaxPathLength || target_length > kMaxPathLength || target_length == 0) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  const uint32_t seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount() ^ GetCurrentThreadId() << 16;
  bool copied = false;
  for (uint32_t attempt = 0; attempt < 16 && !copied; ++attempt) {
    TemporaryName(target, target_length, seed + attempt * 0x9E3779B9u, temp);
    if (lstrcmpiA(temp, target) == 0) continue;  // a name of one character may come out as itself
    copied = CopyFileA(source, temp, TRUE) != FALSE;
    if (!copied && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!copied) {
    // Never a file someone else made: only one this call wrote is removed.
    if (GetLastError() != ERROR_FILE_EXISTS) RemoveTemporaryCopy(temp);
    return false;
  }
  if (!MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING)) {
    RemoveTemporaryCopy(temp);
    return false;
  }
  return true;
}

bool SetNormalAttributes(const char* path) { return SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) != FALSE; }

bool CreateDirectoryByPath(const char* path) {
  if (CreateDirectoryA(path, nullptr)) return true;
  DWORD error = GetLastError();
  DWORD attributes = GetFileAttributesA(path);
  // Not through a junction or link someone made first: the copy would land
  // where it leads.
  if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return true;
  }
  SetLastError(error);
  return false;
}

namespace {

bool FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  ScopedHandle file(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file.valid() && GetFileInformationByHandle(file.get(), info);
}

}  // namespace

bool IsSameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION ia;
  BY_HANDLE_FILE_INFORMATION ib;
  return FileIdentity(a, &ia) && FileIdentity(b, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace platform
