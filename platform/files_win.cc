// Windows side of the boundary: the log append, the copy renamed into place,
// directories and file identity.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// Writers of one log serialise on a lock of one byte far beyond any end of
// file: it restricts no one's reading or writing of the file's data. The
// system places append-only writes at the end of the file, but not every
// file system or emulation does so atomically across processes; with the
// lock, no line can land on top of another.
constexpr DWORD kWriterLockOffsetLow = 0xFFFFFFF0u;
constexpr DWORD kWriterLockOffsetHigh = 0x7FFFFFFFu;

bool LockForWriting(HANDLE file, OVERLAPPED* region) {
  region->Offset = kWriterLockOffsetLow;
  region->OffsetHigh = kWriterLockOffsetHigh;
  // Bounded: a writer never waits more than about 200 ms; after that the
  // line goes out unserialised rather than not at all.
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, region)) return true;
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) return false;
    Sleep(2);
  }
  return false;
}

}  // namespace

bool AppendTextToFile(const char* path, const char* text, size_t length) {
  // Append-only access: the system places every write at the end of the
  // file, so processes appending at once never overwrite each other (the
  // CRT's append mode seeks and then writes, which races). Read access is
  // what the writers' lock needs.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0;; ++attempt) {
    file = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) break;
    // A scanner or an editor may hold the file without sharing for a moment:
    // wait a little (200 ms at most) rather than lose the line.
    DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || attempt == 10) return false;
    Sleep(20);
  }
  // Text mode: line feeds become CR LF.
  std::string crlf;
  crlf.reserve(length + length / 32 + 8);
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '\n') crlf.push_back('\r');
    crlf.push_back(text[i]);
  }
  OVERLAPPED region = {};
  bool locked = LockForWriting(file, &region);
  DWORD written = 0;
  WriteFile(file, crlf.data(), static_cast<DWORD>(crlf.size()), &written, nullptr);
  if (locked) UnlockFileEx(file, 0, 1, 0, &region);
  CloseHandle(file);
  return true;
}

bool DeleteFileAt(const char* path) { return DeleteFileA(path) != FALSE; }

bool CopyFileTo(const char* source, const char* target) {
  // A temporary name beside the target, renamed onto it once complete.
  char temp[MAX_PATH + 32];
  int n = wsprintfA(temp, "%s.%lx-%lx.part", target, GetCurrentProcessId(), GetTickCount());
  if (n <= 0 || n >= MAX_PATH) {
    // No room for a longer name: copy in place, as CopyFileA alone would.
    return CopyFileA(source, target, FALSE) != FALSE;
  }
  if (!CopyFileA(source, temp, FALSE)) {
    DWORD error = GetLastError();
    DeleteFileA(temp);
    SetLastError(error);
    return false;
  }
  if (!MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING)) {
    DWORD error = GetLastError();
    DeleteFileA(temp);
    SetLastError(error);
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
