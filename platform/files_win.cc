// Windows side of the boundary: the copy renamed into place, directories and
// file identity. (The log append is in log_file_win.cc.)
#include <windows.h>
#include <string.h>

#include <string>

#include "platform/platform.h"

namespace platform {

bool DeleteFileAt(const char* path) { return DeleteFileA(path) != FALSE; }

namespace {

// Deletes a temporary copy whatever its attributes: CopyFileA gives it the
// source's, and DeleteFileA refuses a read-only file.
void RemoveTemporaryCopy(const char* path) {
  DWORD error = GetLastError();
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path);
  SetLastError(error);
}

// Writes `value` as eight lower-case hexadecimal digits; returns their end.
char* AppendHex8(char* out, uint32_t value) {
  static const char kDigits[] = "0123456789abcdef";
  for (int shift = 28; shift >= 0; shift -= 4) *out++ = kDigits[(value >> shift) & 0xF];
  return out;
}

}  // namespace

bool CopyFileTo(const char* source, const char* target) {
  // A temporary name beside the target, renamed onto it once complete. Both
  // numbers are written with eight digits, so the name's length is known
  // before it is formed; a path the system cannot take is refused, never
  // copied in place.
  char temp[MAX_PATH];
  static_assert(sizeof temp == kMaxPathLength + 1, "one path the system takes");
  static_assert(kCopyTempSuffixLength == sizeof ".12345678-12345678.part" - 1, "the suffix formed below");
  const size_t target_length = strlen(target);
  if (strlen(source) > kMaxPathLength || target_length > kMaxPathLength - kCopyTempSuffixLength) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  memcpy(temp, target, target_length);
  char* end = temp + target_length;
  *end++ = '.';
  end = AppendHex8(end, GetCurrentProcessId());
  *end++ = '-';
  end = AppendHex8(end, GetTickCount());
  memcpy(end, ".part", sizeof ".part");  // with its zero
  if (!CopyFileA(source, temp, FALSE)) {
    RemoveTemporaryCopy(temp);
    return false;
  }
  if (!MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING)) {
    RemoveTemporaryCopy(temp);
    return false;
  }
  return true;
}

bool SetNormalAttributes(const char* path) { return SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) != FALSE; }

bool CreateDirectoryAt(const char* path) {
  if (CreateDirectoryA(path, nullptr)) return true;
  DWORD error = GetLastError();
  DWORD attributes = GetFileAttributesA(path);
  if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return true;
  }
  SetLastError(error);
  return false;
}

namespace {

bool FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BOOL ok = GetFileInformationByHandle(file, info);
  CloseHandle(file);
  return ok != FALSE;
}

}  // namespace

bool IsSameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION ia;
  BY_HANDLE_FILE_INFORMATION ib;
  return FileIdentity(a, &ia) && FileIdentity(b, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace platform
