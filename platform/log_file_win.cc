// Windows side of the log append: one line at a time, to a file of our own.
#include <windows.h>
#include <aclapi.h>
#include <winternl.h>

#include <string>

#include "formats/ascii.h"
#include "platform/handles_win.h"
#include "platform/log_file.h"
#include "platform/names_win.h"
#include "platform/system.h"
#include "platform/staging_win.h"

namespace platform {

namespace {

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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

// Walks the NT path `wide` ("\??\C:\...") from its drive's root through the
// folder that ends at unit `end` (its last separator), each folder opened by
// one name relative to the one above. Returns that folder, or
// INVALID_HANDLE_VALUE. OpenRelative opens a reparse point as itself, never
// following it, so a link in the middle leads nowhere: the next name is
// looked up in the link itself, not in its target. Only the last folder is
// checked for being one, because the file is opened relative to it.
HANDLE OpenFolderChain(wchar_t* wide, size_t end) {
  // "\??\C:\" first, then each component.
  ScopedHandle dir(OpenRelative(nullptr, wide, 7, FILE_LIST_DIRECTORY, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE));
  size_t start = 7;
  for (size_t i = start; i < end && dir.valid(); ++i) {
    if (wide[i] != L'\\') continue;
    if (i > start) {
      dir.reset(OpenRelative(dir.get(), wide + start, i - start, FILE_LIST_DIRECTORY, kShareAll, FILE_OPEN,
                             FILE_DIRECTORY_FILE));
    }
    start = i + 1;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!dir.valid() || !GetFileInformationByHandle(dir.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return INVALID_HANDLE_VALUE;
  }
  return dir.release();
}

// The log's folder, held for the run once its path has been walked: later
// lines open only the file relative to it, and go where the first one went.
SRWLOCK g_folder_lock = SRWLOCK_INIT;
ScopedHandle g_folder;
wchar_t g_folder_path[MAX_PATH + 8];
size_t g_folder_units = 0;

// An elevated run's log: the user's temporary folder is the unelevated
// half's to arrange, so its folder is walked (OpenFolderChain) and the file
// opened relative to the last, and nobody waits on an opportunistic lock.
// Only drive paths ("C:\..."). `disposition`: FILE_OPEN_IF, or FILE_CREATE
// for a file made new.
HANDLE OpenElevatedLog(const char* path, ULONG disposition) {
  wchar_t wide[MAX_PATH + 8] = L"\\??\\";
  const int units = WidenAnsi(path, -1, wide + 4, MAX_PATH + 1);
  if (units < 4 || wide[5] != L':' || wide[6] != L'\\') return INVALID_HANDLE_VALUE;
  const size_t length = static_cast<size_t>(units) - 1 + 4;
  const size_t name = formats::LastComponentStart(wide, length, L'\\', L'\\');
  if (name >= length) return INVALID_HANDLE_VALUE;
  AcquireSRWLockExclusive(&g_folder_lock);
  if (!g_folder.valid() || g_folder_units != name || memcmp(g_folder_path, wide, name * sizeof(wchar_t)) != 0) {
    g_folder.reset(OpenFolderChain(wide, name));
    g_folder_units = g_folder.valid() ? name : 0;
    memcpy(g_folder_path, wide, name * sizeof(wchar_t));
  }
  HANDLE file = !g_folder.valid() ? INVALID_HANDLE_VALUE
                                  : OpenRelative(g_folder.get(), wide + name, length - name,
                                                 FILE_APPEND_DATA | FILE_READ_DATA | READ_CONTROL, kShareAll,
                                                 disposition, FILE_NON_DIRECTORY_FILE);
  ReleaseSRWLockExclusive(&g_folder_lock);
  return file;
}

// An elevated run writes only to a log owned by the administrators, the
// system or its own account: one that someone else made first would let
// them read what the run logs.
bool OwnedByUs(HANDLE file) {
  PSID owner = nullptr;
  ScopedLocalMemory descriptor;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      descriptor.receive()) != ERROR_SUCCESS) {
    return false;
  }
  return internal::ClassifyOwner(owner) != internal::FolderOwner::kOther;
}

// Whether the run is elevated: -1 until first asked.
volatile int g_elevated = -1;

}  // namespace

bool WriteTextFile(const char* path, const char* text, size_t length, LogOpen how) {
  const bool create_new = how == LogOpen::kCreateNew;
  // Asked once: the token does not change during a run. A plain variable,
  // not a guarded static (the guard brings the C++ exception machinery);
  // two threads asking at once get the same answer.
  if (g_elevated < 0) g_elevated = IsElevated() ? 1 : 0;
  const bool elevated = g_elevated == 1;
  const ULONGLONG deadline = GetTickCount64() + kLineWaitMilliseconds;
  // Append-only access: the system places every write at the end of the
  // file, so processes appending at once never overwrite each other (the
  // CRT's append mode seeks and then writes, which races). Read access is
  // what the writers' lock needs. A reparse point is opened as itself, never
  // followed, and then refused below.
  ScopedHandle file;
  for (;;) {
    SetLastError(ERROR_ACCESS_DENIED);
    file.reset(elevated ? OpenElevatedLog(path, create_new ? FILE_CREATE : FILE_OPEN_IF)
                        : OpenNoFollow(path, FILE_APPEND_DATA | FILE_READ_DATA, kShareAll,
                                       create_new ? CREATE_NEW : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    if (file.valid()) break;
    // A scanner or an editor may hold the file without sharing for a moment:
    // wait a little rather than lose the line.
    DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return false;
    if (!PauseBefore(deadline, 20)) return false;
  }
  if (elevated && !OwnedByUs(file.get())) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
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
