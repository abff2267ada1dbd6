// Windows side of the initialisation-file reader: the wide reader, whose
// values are kept only in their exact ANSI form (platform/names_win.h).
#include "platform/profile.h"

#include <windows.h>

#include "platform/names_win.h"

namespace platform {
namespace {

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

}  // namespace

uint32_t ReadProfileString(const char* section, const char* key, const char* default_value, char* buffer, uint32_t size,
                           const char* path) {
  if (size > 0) buffer[0] = '\0';
  if (size < 2) return 0;
  // Each text up to kPathBufferSize characters, as the header says.
  wchar_t wide_path[MAX_PATH + 1];
  wchar_t wide_section[MAX_PATH + 1];
  wchar_t wide_key[MAX_PATH + 1];
  wchar_t wide_default[MAX_PATH + 1];
  if (WidenAnsi(path, -1, wide_path, MAX_PATH + 1) <= 0 || WidenAnsi(section, -1, wide_section, MAX_PATH + 1) <= 0 ||
      WidenAnsi(key, -1, wide_key, MAX_PATH + 1) <= 0 ||
      WidenAnsi(default_value, -1, wide_default, MAX_PATH + 1) <= 0) {
    return 0;  // the conversion's error stays: nothing was read
  }
  wchar_t value[MAX_PATH + 1];
  const DWORD capacity = size < MAX_PATH + 1 ? size : MAX_PATH + 1;
  SetLastError(0);
  DWORD units = GetPrivateProfileStringW(wide_section, wide_key, wide_default, value, capacity, wide_path);
  const DWORD read_error = GetLastError();
  if (units >= capacity - 1) {
    // Cut at the buffer: never keep half of a surrogate pair.
    units = capacity - 1;
    if (units > 0 && IsHighSurrogate(value[units - 1])) --units;
  }
  // A value whose ANSI form does not fit is cut at a character's end, as
  // the A reader cuts at `size` - 1 bytes; never in a surrogate pair.
  while (units > 0) {
    const uint32_t n = ExactAnsiName(CP_ACP, value, units, buffer, size);
    if (n > 0) {
      SetLastError(read_error);
      return n;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return 0;  // kErrorNoExactName
    --units;
    if (units > 0 && IsHighSurrogate(value[units - 1])) --units;
  }
  SetLastError(read_error);
  return 0;
}

}  // namespace platform
