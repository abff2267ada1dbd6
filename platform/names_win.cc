#include "platform/names_win.h"

#include <windows.h>

#include <string.h>

#include "platform/system.h"

namespace platform {

uint32_t ExactAnsiName(uint32_t code_page, const wchar_t* wide, size_t units, char* buffer, uint32_t size) {
  if (size > 0) buffer[0] = '\0';
  // The names asked for here (paths, directory entries) are within the
  // system's path limit; a longer one is refused as not fitting.
  if (units == 0 || units > MAX_PATH || size < 2) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const int n = WideCharToMultiByte(code_page, 0, wide, static_cast<int>(units), buffer, static_cast<int>(size - 1),
                                    nullptr, nullptr);
  if (n <= 0) {
    buffer[0] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // Converted back into a buffer one unit larger than the original, so that
  // a longer result cannot pass for a match.
  wchar_t back[MAX_PATH + 1];
  const int m = MultiByteToWideChar(code_page, 0, buffer, n, back, static_cast<int>(units + 1));
  if (m != static_cast<int>(units) || memcmp(back, wide, units * sizeof(wchar_t)) != 0) {
    buffer[0] = '\0';
    SetLastError(kErrorNoExactName);
    return 0;
  }
  buffer[n] = '\0';
  return static_cast<uint32_t>(n);
}

int WidenAnsi(const char* text, int bytes, wchar_t* wide, int units) {
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, bytes, wide, units);
}

}  // namespace platform
