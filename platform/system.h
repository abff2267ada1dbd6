// The system itself: paths of the program and the temporary folder, the ANSI
// code page's double-byte characters, the C library's formatting, the last
// error, the clock, elevation and random bytes. Implemented by
// system_win.cc and system_posix.cc; the boundary's conventions and its two
// rules are in platform/README.md.
#ifndef PATHWARDEN_PLATFORM_SYSTEM_H_
#define PATHWARDEN_PLATFORM_SYSTEM_H_

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <time.h>

// The printf dialect of FormatText, for the compiler's format checks: the
// system C library's (msvcrt's on Windows: no %zu, no %lld, no %hhd).
#ifdef _WIN32
#define PLATFORM_PRINTF_FORMAT ms_printf
#else
#define PLATFORM_PRINTF_FORMAT printf
#endif

namespace platform {

// Separator of path components: '\\' on Windows, '/' on POSIX.
extern const char kPathSeparator;

// The system's error code for "not implemented" (ERROR_CALL_NOT_IMPLEMENTED).
constexpr uint32_t kErrorCallNotImplemented = 120;

// The system's error code for a name without an exact form in the ANSI code
// page (ERROR_NO_UNICODE_TRANSLATION); the POSIX stand-in never gives it.
constexpr uint32_t kErrorNoExactName = 1113;

// ---- Paths -----------------------------------------------------------------

// The longest path the system's ANSI file calls take, in characters without
// the terminating zero (MAX_PATH - 1). The POSIX stand-in holds itself to the
// same limit so that its runs model Windows.
constexpr size_t kMaxPathLength = 259;
// A buffer for such a path with its zero (MAX_PATH): what the system's calls
// are given as the capacity.
constexpr uint32_t kPathBufferSize = kMaxPathLength + 1;
// What a caller gives the path calls, zeroed, with kPathBufferSize as the
// capacity: the spare last byte stays zero, so even a call that fills the
// whole capacity without terminating it (GetModuleFileName on XP) leaves a
// terminated text.
using PathBuffer = char[kPathBufferSize + 1];

// Writes the temporary directory, ending with the separator, into `buffer`
// (capacity `size` bytes) and returns its length without the terminating
// zero. Returns 0 when there is none. When `size` is too small, returns the
// capacity needed (terminating zero included) and leaves the buffer alone;
// callers must treat a result >= size as "does not fit". A path without an
// exact ANSI form gives 0. (GetTempPathW, rule 1.)
uint32_t GetTempDirectory(char* buffer, uint32_t size);

// Full path of the running executable. Returns its length; 0 on failure or
// when the path has no exact ANSI form (GetLastSystemError() gives
// kErrorNoExactName then); a path that does not fit returns `size`, and the
// buffer holds no usable path. (GetModuleFileNameW, rule 1.)
uint32_t GetExecutablePath(char* buffer, uint32_t size);

// ---- Text ------------------------------------------------------------------

// True when `byte` begins a double-byte character in the ANSI code page.
// Always false on POSIX, where no multibyte sequence contains a separator.
bool IsLeadByte(uint8_t byte);

// Upper-case mapping of one double-byte character (lead << 8 | trail) as the
// platform's multibyte case rules give it; unchanged where there is none.
uint16_t UpperDoubleByte(uint16_t unit);

// Formats `format` with `args` as the system C library's vsnprintf does
// (on Windows msvcrt's, not the compiler runtime's own printf, which would
// triple the size of setup.exe). Returns the length of the whole text without
// the terminating zero, or -1 on a format error. Writes into `buffer`
// (capacity `size`) only when the whole text and its zero fit; otherwise, and
// on error, `buffer` holds the empty text (if `size` > 0). Never leaves it
// unterminated. `buffer` may be null when `size` is 0: a measurement.
int FormatText(char* buffer, size_t size, const char* format, va_list args)
    __attribute__((format(PLATFORM_PRINTF_FORMAT, 3, 0)));

// ---- Errors, time, rights, randomness --------------------------------------

// The calling thread's last error, as the boundary's calls leave it: the
// reason after a call whose header says its reason is kept there, and only
// then. GetLastError on Windows; on POSIX the error the stand-in's last
// failing call recorded (an errno value, or the Windows code where a header
// names one), never errno itself. On both a successful call may leave an
// earlier value: read it right after the failure it explains.
uint32_t GetLastSystemError();

// Seconds since 1970 (time()).
int64_t CurrentTime();

// Local broken-down time of `t`; false if it cannot be formed.
bool ToLocalTime(int64_t t, struct tm* out);

// True when the process runs elevated or as the system account. The POSIX
// stand-in counts root as elevated, as Windows counts the system account;
// VELSETUP_ELEVATED=1 or 0 replays either state.
bool IsElevated();

// Fills `buffer` with `size` bytes from the system's secure random source.
bool RandomBytes(uint8_t* buffer, size_t size);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_SYSTEM_H_
