#include "platform/handles_win.h"

#include <winternl.h>

namespace platform {

HANDLE OpenNoFollow(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return CreateFileA(path, access, share, nullptr, disposition, FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr);
}

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);

}  // namespace

HANDLE OpenRelative(HANDLE parent, const wchar_t* name, size_t units, ACCESS_MASK access, ULONG share,
                    ULONG disposition, ULONG options) {
  // Looked up at run time: ntdll is always loaded, and no import is added.
  const auto create = reinterpret_cast<NtCreateFileFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtCreateFile")));
  if (!create || units > 0x7FFF) return INVALID_HANDLE_VALUE;
  const auto bytes = static_cast<USHORT>(units * sizeof(wchar_t));
  UNICODE_STRING text = {bytes, bytes, const_cast<wchar_t*>(name)};
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
  IO_STATUS_BLOCK status = {};
  ScopedHandle handle;
  constexpr NTSTATUS kOplockBreakInProgress = 0x00000108;
  constexpr NTSTATUS kSharingViolation = static_cast<NTSTATUS>(0xC0000043);
  // FILE_COMPLETE_IF_OPLOCKED: an opportunistic lock someone holds makes
  // the open return at once instead of waiting for its holder.
  const NTSTATUS result = create(
      handle.receive(), access | SYNCHRONIZE, &object, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
      options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT | FILE_COMPLETE_IF_OPLOCKED, nullptr, 0);
  SetLastError(result == kSharingViolation ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED);
  if (result < 0 || result == kOplockBreakInProgress) return INVALID_HANDLE_VALUE;
  return handle.release();
}

bool MarkForDeletion(HANDLE entry) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool QueryProcessToken(TOKEN_INFORMATION_CLASS what, void* buffer, DWORD size) {
  ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return false;
  DWORD written = 0;
  return GetTokenInformation(token.get(), what, buffer, size, &written) != FALSE;
}

}  // namespace platform
