// Byte-order-mark detection and UTF-16 to 8-bit conversion for the POSIX
// stand-ins, which read files that Windows tools may have saved as UTF-16.
#ifndef PATHWARDEN_PLATFORM_TEXT_ENCODING_H_
#define PATHWARDEN_PLATFORM_TEXT_ENCODING_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace platform {

// Appends the UTF-8 form of `units` UTF-16 code units read little-endian (or
// big-endian) from `data` to `out`. Unpaired surrogates become U+FFFD, so the
// output is always valid UTF-8; a zero unit becomes one zero byte.
void AppendUtf16AsUtf8(const uint8_t* data, size_t units, bool big_endian, std::string* out);

// Returns the file's text as 8-bit text: a UTF-16 file with a byte-order
// mark is converted to UTF-8, a UTF-8 byte-order mark is dropped, anything
// else is returned unchanged (the ANSI code page on POSIX is the file
// system's bytes). `was_utf16` tells which case applied.
std::string DecodeTextFile(const std::string& bytes, bool* was_utf16);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_TEXT_ENCODING_H_
