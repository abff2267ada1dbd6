// The Windows side's one owner of system handles, and the two handle-making
// calls every file of it shares: the open that never follows a reparse
// point, and the query of this process's token.
#ifndef PATHWARDEN_PLATFORM_HANDLES_WIN_H_
#define PATHWARDEN_PLATFORM_HANDLES_WIN_H_

#include <windows.h>

namespace platform {

// Owns one handle of a kind `Traits` describes (its type, its empty value,
// its validity and how it is closed); closes it when it goes, so no path
// through the code closes by hand.
template <typename Traits>
class ScopedGeneric {
 public:
  using Handle = typename Traits::Handle;

  ScopedGeneric() : handle_(Traits::Empty()) {}
  explicit ScopedGeneric(Handle handle) : handle_(handle) {}
  ~ScopedGeneric() { reset(); }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;

  bool valid() const { return Traits::IsValid(handle_); }
  Handle get() const { return handle_; }
  // Closes what is held and takes `handle`.
  void reset(Handle handle = Traits::Empty()) {
    if (Traits::IsValid(handle_)) Traits::Close(handle_);
    handle_ = handle;
  }
  // Gives the handle up without closing it.
  Handle release() {
    Handle handle = handle_;
    handle_ = Traits::Empty();
    return handle;
  }
  // For calls that return a handle through a pointer: what is held is closed
  // first.
  Handle* receive() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_;
};

// Kernel handles: files, folders, threads, tokens. Both empty values count
// as none (CreateFile gives INVALID_HANDLE_VALUE, most others null).
struct KernelHandleTraits {
  using Handle = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};
using ScopedHandle = ScopedGeneric<KernelHandleTraits>;

// Blocks the system allocates for the caller (security descriptors).
struct LocalMemoryTraits {
  using Handle = void*;
  static void* Empty() { return nullptr; }
  static bool IsValid(void* block) { return block != nullptr; }
  static void Close(void* block) { LocalFree(block); }
};
using ScopedLocalMemory = ScopedGeneric<LocalMemoryTraits>;

// Opens the entry `path` itself, never what a reparse point in its place
// names (a link is opened as the link). `share` is the sharing allowed to
// others, `disposition` CreateFile's (OPEN_EXISTING, OPEN_ALWAYS); `flags`
// add to FILE_FLAG_OPEN_REPARSE_POINT (folders need
// FILE_FLAG_BACKUP_SEMANTICS). INVALID_HANDLE_VALUE on failure.
HANDLE OpenNoFollow(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// Opens `name` (`units` UTF-16 units) relative to the open folder `parent`
// (null: `name` is a whole NT path, "\??\C:\..."), never what a reparse
// point names, and never waiting for the holder of an opportunistic lock on
// it: such an open is given up. `share` is the sharing allowed to others,
// `disposition` and `options` NtCreateFile's (FILE_OPEN, FILE_CREATE;
// FILE_DIRECTORY_FILE...). INVALID_HANDLE_VALUE on failure, with
// ERROR_SHARING_VIOLATION as the last error when that was why.
HANDLE OpenRelative(HANDLE parent, const wchar_t* name, size_t units, ACCESS_MASK access, ULONG share,
                    ULONG disposition, ULONG options);

// Deletes the entry open as `entry` (opened with DELETE access) when its last
// handle closes: what was checked through the handle is what goes.
bool MarkForDeletion(HANDLE entry);

// Reads `what` of this process's token into `buffer` (capacity `size`).
bool QueryProcessToken(TOKEN_INFORMATION_CLASS what, void* buffer, DWORD size);

// Room for a token's user and the longest SID.
struct TokenUserBuffer {
  alignas(TOKEN_USER) BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  PSID sid() { return reinterpret_cast<TOKEN_USER*>(bytes)->User.Sid; }
};

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_HANDLES_WIN_H_
