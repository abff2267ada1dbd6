// Windows side of the boundary: paths, text, time,
// elevation and randomness.
#include <windows.h>

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "platform/handles_win.h"
#include "platform/names_win.h"
#include "platform/system.h"

namespace platform {

const char kPathSeparator = '\\';

// Both names are asked for in UTF-16 and kept only if their ANSI form is
// exact (platform/names_win.h); the A calls would map a character the code
// page lacks to a look-alike.
uint32_t GetTempDirectory(char* buffer, uint32_t size) {
  wchar_t wide[MAX_PATH + 1];
  const DWORD units = GetTempPathW(MAX_PATH + 1, wide);
  if (units == 0) return 0;
  if (units > MAX_PATH) return units > size ? units : size;  // the capacity it would need, at least
  char narrow[4 * MAX_PATH + 1];
  const uint32_t n = ExactAnsiName(CP_ACP, wide, units, narrow, sizeof narrow);
  if (n == 0) return 0;
  if (n + 1 > size) return n + 1;
  memcpy(buffer, narrow, n + 1);
  return n;
}

uint32_t GetExecutablePath(char* buffer, uint32_t size) {
  if (size == 0) return 0;
  buffer[0] = '\0';
  wchar_t wide[MAX_PATH + 1];
  const DWORD units = GetModuleFileNameW(nullptr, wide, MAX_PATH + 1);
  if (units == 0) return 0;
  if (units > MAX_PATH) return size;  // cut by the system: names another file
  char narrow[4 * MAX_PATH + 1];
  const uint32_t n = ExactAnsiName(CP_ACP, wide, units, narrow, sizeof narrow);
  if (n == 0) return 0;
  if (n + 1 > size) return size;
  memcpy(buffer, narrow, n + 1);
  return n;
}

bool IsLeadByte(uint8_t byte) { return IsDBCSLeadByte(byte) != FALSE; }

uint16_t UpperDoubleByte(uint16_t unit) {
  char text[3] = {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF), 0};
  CharUpperBuffA(text, 2);
  return static_cast<uint16_t>(static_cast<uint8_t>(text[0]) << 8 | static_cast<uint8_t>(text[1]));
}

int FormatText(char* buffer, size_t size, const char* format, va_list args) {
  if (size > 0) buffer[0] = '\0';
  va_list measure;
  va_copy(measure, args);
  const int length = _vscprintf(format, measure);
  va_end(measure);
  if (length < 0 || static_cast<size_t>(length) >= size) return length;
  // msvcrt's _vsnprintf leaves the text unterminated when it fills the buffer
  // exactly, and returns -1 when it does not fit: measured first, the whole
  // text and its zero fit, and the zero is written here all the same.
  if (_vsnprintf(buffer, size, format, args) != length) {
    buffer[0] = '\0';
    return -1;
  }
  buffer[length] = '\0';
  return length;
}

uint32_t GetLastSystemError() { return GetLastError(); }

int64_t CurrentTime() { return static_cast<int64_t>(_time64(nullptr)); }

bool ToLocalTime(int64_t t, struct tm* out) {
  __time64_t value = t;
  return _localtime64_s(out, &value) == 0;
}

bool IsElevated() {
  TOKEN_ELEVATION elevation = {};
  if (QueryProcessToken(TokenElevation, &elevation, sizeof elevation) && elevation.TokenIsElevated) return true;
  // The system account counts too, whatever the elevation query says.
  TokenUserBuffer user;
  return QueryProcessToken(TokenUser, user.bytes, sizeof user.bytes) && IsWellKnownSid(user.sid(), WinLocalSystemSid);
}

bool RandomBytes(uint8_t* buffer, size_t size) {
  // Looked up at run time, after start-up has confined the DLL search:
  // advapi32 forwards this entry to cryptbase.dll, which is no KnownDLL, so a
  // static import would have the loader search for it, application folder
  // first, before main.
  if (size > ULONG_MAX) return false;
  HMODULE advapi32 = GetModuleHandleA("advapi32.dll");
  if (!advapi32) return false;
  using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
  auto gen_random =
      reinterpret_cast<GenRandomFn>(reinterpret_cast<void (*)()>(GetProcAddress(advapi32, "SystemFunction036")));
  return gen_random && gen_random(buffer, static_cast<ULONG>(size)) != FALSE;
}

}  // namespace platform
