// Small text helpers for 8-bit ANSI texts.
#ifndef PATHWARDEN_LOGIC_TEXT_H_
#define PATHWARDEN_LOGIC_TEXT_H_

#include <stddef.h>

#include <string>

#include "platform/system.h"

namespace logic {

// printf into a string of whatever length the result needs: log messages are
// never cut. The system C library formats (platform::FormatText): on Windows
// msvcrt's dialect, which the format check holds the callers to.
std::string StringPrintf(const char* format, ...) __attribute__((format(PLATFORM_PRINTF_FORMAT, 1, 2)));

// Index of the last `separator` in `text` that is a character of its own,
// not the trail byte of a double-byte character; npos if none.
size_t FindLastSeparator(const std::string& text, char separator);

// Compares without regard to case: single bytes as unsigned values with A-Z
// folded to a-z; a double-byte character as one unit after the platform's
// upper-case mapping. Returns <0, 0 or >0; a text that ends first sorts first.
int CompareNoCase(const std::string& a, const std::string& b);

// Sixteen random lower-case hexadecimal digits, for names nobody can guess;
// empty if the system has no randomness.
std::string RandomHex();

}  // namespace logic

#endif  // PATHWARDEN_LOGIC_TEXT_H_
