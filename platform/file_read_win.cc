// Windows side of the whole-file read; see file_read.h.
#include "platform/file_read.h"

#include <string.h>
#include <windows.h>

#include "platform/handles_win.h"
#include "platform/system.h"

namespace platform {

FileRead ReadWholeFile(const char* path, uint64_t max_bytes, std::string* out, std::string* reason) {
  // The A calls' own limit, held here too: Wine, and Windows with long paths
  // enabled, would take a longer path, and the answer must not depend on that.
  if (strnlen(path, kPathBufferSize) >= kPathBufferSize) {
    if (reason) *reason = "the path is longer than the system takes";
    return FileRead::kCannotOpen;
  }
  // Others may write or rename it meanwhile, as they may a log being read.
  ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    // A folder cannot be opened as a file; say what it is, as POSIX does.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return FileRead::kNotAFile;
    if (reason) {
      char text[256] = {};
      const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                     text, sizeof text, nullptr);
      reason->assign(text, n);
      while (!reason->empty() && (reason->back() == '\n' || reason->back() == '\r' || reason->back() == '.')) {
        reason->pop_back();
      }
      if (reason->empty()) *reason = "error " + std::to_string(error);
    }
    return FileRead::kCannotOpen;
  }
  LARGE_INTEGER size = {};
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size)) return FileRead::kNotAFile;
  if (static_cast<uint64_t>(size.QuadPart) > max_bytes) return FileRead::kTooLarge;
  out->clear();
  out->reserve(static_cast<size_t>(size.QuadPart));
  char chunk[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), chunk, sizeof chunk, &n, nullptr)) return FileRead::kReadError;
    if (n == 0) return FileRead::kRead;
    if (n > max_bytes - out->size()) return FileRead::kTooLarge;
    out->append(chunk, n);
  }
}

}  // namespace platform
