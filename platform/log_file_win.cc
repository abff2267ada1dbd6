// Windows side of the log append: one line at a time, to a file of our own.
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

// What one line may spend waiting, for the file and for the writers' lock
// together. Measured on the clock rather than counted in attempts: with the
// system's default timer a Sleep(2) lasts about 16 ms.
constexpr ULONGLONG kLineWaitMilliseconds = 200;

// Sleeps up to `step` ms but never past `deadline`; false once it has passed.
bool PauseBefore(ULONGLONG deadline, DWORD step) {
  ULONGLONG now = GetTickCount64();
  if (now >= deadline) return false;
  ULONGLONG left = deadline - now;
  Sleep(left < step ? static_cast<DWORD>(left) : step);
  return true;
}

bool LockForWriting(HANDLE file, OVERLAPPED* region, ULONGLONG deadline) {
  region->Offset = kWriterLockOffsetLow;
  region->OffsetHigh = kWriterLockOffsetHigh;
  // After the deadline the line goes out unserialised rather than not at all.
  do {
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, region)) return true;
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) return false;
  } while (PauseBefore(deadline, 2));
  return false;
}

// True when the open file is the plain file the name gave: not a reparse
// point (symbolic link, junction, mount point) and no second name by which
// someone else's file was linked here. An elevated writer would otherwise
// append to whatever file the link's owner chose.
bool IsPlainSingleFile(HANDLE file) {
  if (GetFileType(file) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) return false;
  return info.nNumberOfLinks == 1;
}

class ScopedFile {
 public:
  explicit ScopedFile(HANDLE file) : file_(file) {}
  ~ScopedFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  HANDLE get() const { return file_; }
  void reset(HANDLE file) {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = file;
  }

 private:
  HANDLE file_;
};

}  // namespace

bool AppendTextToFile(const char* path, const char* text, size_t length) {
  const ULONGLONG deadline = GetTickCount64() + kLineWaitMilliseconds;
  // Append-only access: the system places every write at the end of the
  // file, so processes appending at once never overwrite each other (the
  // CRT's append mode seeks and then writes, which races). Read access is
  // what the writers' lock needs. A reparse point is opened as itself, never
  // followed, and then refused below.
  ScopedFile file(INVALID_HANDLE_VALUE);
  for (;;) {
    file.reset(CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.get() != INVALID_HANDLE_VALUE) break;
    // A scanner or an editor may hold the file without sharing for a moment:
    // wait a little rather than lose the line.
    DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return false;
    if (!PauseBefore(deadline, 20)) return false;
  }
  if (!IsPlainSingleFile(file.get())) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // Text mode: line feeds become CR LF.
  std::string crlf;
  crlf.reserve(length + length / 32 + 8);
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '\n') crlf.push_back('\r');
    crlf.push_back(text[i]);
  }
  OVERLAPPED region = {};
  bool locked = LockForWriting(file.get(), &region, deadline);
  DWORD written = 0;
  WriteFile(file.get(), crlf.data(), static_cast<DWORD>(crlf.size()), &written, nullptr);
  if (locked) UnlockFileEx(file.get(), 0, 1, 0, &region);
  return true;
}

}  // namespace platform
