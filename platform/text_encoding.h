// Byte-order-mark detection and UTF-16 to 8-bit conversion for the POSIX
// stand-ins, which read files that Windows tools may have saved as UTF-16.
#ifndef PATHWARDEN_PLATFORM_TEXT_ENCODING_H_
#define PATHWARDEN_PLATFORM_TEXT_ENCODING_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>

namespace platform {

// Appends the UTF-8 form of `units` UTF-16 code units read little-endian (or
// big-endian) from `data` to `out`. Unpaired surrogates become U+FFFD, so the
// output is always valid UTF-8; a zero unit becomes one zero byte.
void AppendUtf16AsUtf8(const uint8_t* data, size_t units, bool big_endian, std::string* out);

// Appends `units` UTF-16 code units as the system's A calls give them: the
// ANSI code page, UTF-8 on POSIX (code_page_posix.cc), the system's
// conversion on Windows (code_page_win.cc).
void AppendUtf16AsAnsi(const uint8_t* data, size_t units, bool big_endian, std::string* out);

// Returns the file's text as 8-bit text: a UTF-16 file with a byte-order
// mark is converted to the ANSI code page (AppendUtf16AsAnsi), a UTF-8
// byte-order mark is dropped, anything else is returned unchanged (the ANSI
// code page on POSIX is the file system's bytes). `was_utf16` tells which
// case applied.
std::string DecodeTextFile(const std::string& bytes, bool* was_utf16);

// Appends `text` to `out` as well-formed UTF-8: its well-formed sequences as
// they are, every other byte (overlong forms, surrogates, values past
// U+10FFFF, cut-off sequences, 0xC0, 0xC1, 0xF5 to 0xFF) as U+FFFD.
void AppendValidUtf8(std::string_view text, std::string* out);

// `text`, in the system's ANSI code page, as well-formed UTF-8; what does
// not convert becomes U+FFFD.
std::string AnsiToUtf8(std::string_view text);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_TEXT_ENCODING_H_
