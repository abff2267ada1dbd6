// POSIX stand-in: paths, text, time, elevation and
// randomness.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "platform/system.h"
#include "platform/posix_internal.h"

namespace platform {

const char kPathSeparator = '/';

namespace {

thread_local uint32_t t_last_error = 0;

}  // namespace

namespace internal {

bool SetError(uint32_t error) {
  t_last_error = error;
  return false;
}

}  // namespace internal

using internal::SetError;

uint32_t GetTempDirectory(char* buffer, uint32_t size) {
  const char* dir = getenv("TMPDIR");
  if (!dir || !*dir) dir = "/tmp";
  size_t n = strlen(dir);
  bool add_separator = dir[n - 1] != '/';
  size_t needed = n + (add_separator ? 1 : 0);
  if (needed + 1 > size) return static_cast<uint32_t>(needed + 1);
  memcpy(buffer, dir, n);
  if (add_separator) buffer[n] = '/';
  buffer[needed] = '\0';
  return static_cast<uint32_t>(needed);
}

uint32_t GetExecutablePath(char* buffer, uint32_t size) {
  if (size == 0) return 0;
  ssize_t n = readlink("/proc/self/exe", buffer, size);
  if (n <= 0) {
    buffer[0] = '\0';
    SetError(n < 0 ? static_cast<uint32_t>(errno) : ENOENT);
    return 0;
  }
  if (static_cast<uint32_t>(n) >= size) {
    buffer[size - 1] = '\0';
    return size;
  }
  buffer[n] = '\0';
  return static_cast<uint32_t>(n);
}

bool IsLeadByte(uint8_t) { return false; }

uint16_t UpperDoubleByte(uint16_t unit) { return unit; }

int FormatText(char* buffer, size_t size, const char* format, va_list args) {
  if (size > 0) buffer[0] = '\0';
  va_list measure;
  va_copy(measure, args);
  const int length = vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0 || static_cast<size_t>(length) >= size) return length;
  if (vsnprintf(buffer, size, format, args) != length) {
    buffer[0] = '\0';
    return -1;
  }
  return length;
}

uint32_t GetLastSystemError() { return t_last_error; }

int64_t CurrentTime() { return static_cast<int64_t>(time(nullptr)); }

bool ToLocalTime(int64_t t, struct tm* out) {
  time_t value = static_cast<time_t>(t);
  return localtime_r(&value, out) != nullptr;
}

bool IsElevated() {
  // Root is what the system account and an elevated administrator are on
  // Windows; the variable replays a customer's run either way.
  const char* v = getenv("VELSETUP_ELEVATED");
  if (v && strcmp(v, "1") == 0) return true;
  if (v && strcmp(v, "0") == 0) return false;
  return geteuid() == 0;
}

bool RandomBytes(uint8_t* buffer, size_t size) {
  while (size > 0) {
    ssize_t n = getrandom(buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return SetError(static_cast<uint32_t>(errno));
    buffer += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace platform
