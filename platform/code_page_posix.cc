// The POSIX stand-in's ANSI code page is the file system's UTF-8.
#include "platform/code_page.h"

#include "formats/text_encoding.h"

namespace platform {

void AppendUtf16AsAnsi(const uint8_t* data, size_t units, bool big_endian, std::string* out) {
  formats::AppendUtf16AsUtf8(data, units, big_endian, out);
}

std::string AnsiToUtf8(std::string_view text) {
  std::string out;
  formats::AppendValidUtf8(text, &out);
  return out;
}

}  // namespace platform
