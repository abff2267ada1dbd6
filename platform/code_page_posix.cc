// The POSIX stand-in's ANSI code page is the file system's UTF-8.
#include "platform/text_encoding.h"

namespace platform {

std::string AnsiToUtf8(std::string_view text) {
  std::string out;
  AppendValidUtf8(text, &out);
  return out;
}

}  // namespace platform
