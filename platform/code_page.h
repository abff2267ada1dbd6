// The system's ANSI code page for the readers' callers: UTF-16 text as the
// A calls give it, and ANSI text as UTF-8. Implemented by code_page_win.cc
// (the system's conversion) and code_page_posix.cc (where the ANSI code page
// is the file system's UTF-8).
#ifndef PATHWARDEN_PLATFORM_CODE_PAGE_H_
#define PATHWARDEN_PLATFORM_CODE_PAGE_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>

namespace platform {

// Appends `units` UTF-16 code units read little-endian (or big-endian) from
// `data` to `out` as the system's A calls give them: the ANSI code page. A
// formats::Utf16Converter.
void AppendUtf16AsAnsi(const uint8_t* data, size_t units, bool big_endian, std::string* out);

// `text`, in the system's ANSI code page, as well-formed UTF-8; what does
// not convert becomes U+FFFD.
std::string AnsiToUtf8(std::string_view text);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_CODE_PAGE_H_
