// Text encodings of the files the readers take: byte-order-mark detection,
// UTF-16 to UTF-8, and well-formed UTF-8. Portable, no system calls: where
// the system's ANSI code page is wanted, the caller passes its conversion
// (platform/code_page.h).
#ifndef PATHWARDEN_FORMATS_TEXT_ENCODING_H_
#define PATHWARDEN_FORMATS_TEXT_ENCODING_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>

namespace formats {

// Appends the UTF-8 form of `units` UTF-16 code units read little-endian (or
// big-endian) from `data` to `out`. Unpaired surrogates become U+FFFD, so the
// output is always valid UTF-8; a zero unit becomes one zero byte.
void AppendUtf16AsUtf8(const uint8_t* data, size_t units, bool big_endian, std::string* out);

// How a reader's caller wants UTF-16 text as 8-bit text, with the
// arguments of AppendUtf16AsUtf8: that, or the system's ANSI code page as its
// A calls give it (platform::AppendUtf16AsAnsi).
using Utf16Converter = void (*)(const uint8_t* data, size_t units, bool big_endian, std::string* out);

// Returns the file's text as 8-bit text: a UTF-16 file with a byte-order
// mark is converted by `to_text`, a UTF-8 byte-order mark is dropped,
// anything else is returned unchanged (taken to be in the caller's 8-bit
// encoding already).
std::string DecodeTextFile(const std::string& bytes, Utf16Converter to_text);

// Appends `text` to `out` as well-formed UTF-8: its well-formed sequences as
// they are, every other byte (overlong forms, surrogates, values past
// U+10FFFF, cut-off sequences, 0xC0, 0xC1, 0xF5 to 0xFF) as U+FFFD.
void AppendValidUtf8(std::string_view text, std::string* out);

}  // namespace formats

#endif  // PATHWARDEN_FORMATS_TEXT_ENCODING_H_
