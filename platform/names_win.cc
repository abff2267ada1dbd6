#include "platform/names_win.h"

#include <windows.h>

#include <string.h>

namespace platform {

uint32_t ExactAnsiName(uint32_t code_page, const wchar_t* wide, size_t units, char* buffer, uint32_t size) {
  if (size > 0) buffer[0] = '\0';
  // Names the system gives are within its path limit; one wide unit takes at
  // most four bytes in any code page.
  constexpr size_t kMaxUnits = 32768;
  if (units == 0 || units > kMaxUnits || size < 2) {
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
  wchar_t back[MAX_PATH + 2];
  wchar_t* heap = nullptr;
  wchar_t* round = back;
  if (units + 1 > sizeof back / sizeof back[0]) {
    heap = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (units + 1) * sizeof(wchar_t)));
    if (!heap) {
      buffer[0] = '\0';
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    round = heap;
  }
  const int m = MultiByteToWideChar(code_page, 0, buffer, n, round, static_cast<int>(units + 1));
  const bool same = m == static_cast<int>(units) && memcmp(round, wide, units * sizeof(wchar_t)) == 0;
  if (heap) HeapFree(GetProcessHeap(), 0, heap);
  if (!same) {
    buffer[0] = '\0';
    SetLastError(kErrorNoExactName);
    return 0;
  }
  buffer[n] = '\0';
  return static_cast<uint32_t>(n);
}

}  // namespace platform
