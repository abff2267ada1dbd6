// POSIX stand-in of the initialisation-file reader: the rules of the Windows
// reader (formats/ini_file.h) over the file's bytes. The ANSI code page here
// is UTF-8, which every UTF-16 character converts to.
#include "platform/profile.h"

#include <string.h>

#include <string>

#include "formats/ini_file.h"
#include "platform/code_page.h"
#include "platform/file_read.h"
#include "platform/posix_internal.h"
#include "platform/system.h"

namespace platform {

uint32_t ReadProfileString(const char* section, const char* key, const char* default_value, char* buffer, uint32_t size,
                           const char* path) {
  internal::SetError(0);
  if (size > 0) buffer[0] = '\0';
  if (size < 2) return 0;
  // The Windows side's limit on what it converts to UTF-16 (counted here in
  // bytes): a longer text asks for nothing, default included.
  for (const char* text : {section, key, default_value, path}) {
    if (strlen(text) > kPathBufferSize) {
      internal::SetError(internal::kErrorInsufficientBuffer);
      return 0;
    }
  }
  std::string bytes;
  std::string raw;
  if (ReadWholeFile(path, internal::kMaxFileBytes, &bytes) == FileRead::kRead &&
      formats::FindProfileValue(bytes, AppendUtf16AsAnsi, section, key, &raw)) {
    return formats::CopyProfileValue(raw, buffer, size);
  }
  size_t n = strlen(default_value);
  if (n > size - 1) n = size - 1;
  memcpy(buffer, default_value, n);
  buffer[n] = '\0';
  return static_cast<uint32_t>(n);
}

}  // namespace platform
