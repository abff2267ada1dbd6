#include "platform/handles_win.h"

namespace platform {

HANDLE OpenNoFollow(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return CreateFileA(path, access, share, nullptr, disposition, FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr);
}

bool QueryProcessToken(TOKEN_INFORMATION_CLASS what, void* buffer, DWORD size) {
  ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return false;
  DWORD written = 0;
  return GetTokenInformation(token.get(), what, buffer, size, &written) != FALSE;
}

}  // namespace platform
