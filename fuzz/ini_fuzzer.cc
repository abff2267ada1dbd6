// The POSIX initialisation-file reader on any file content: the lookups and
// the copy into the 260-byte buffer stay in bounds and zero-terminated.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "formats/ini_file.h"

namespace {

void Lookup(const std::string& file, const char* section, const char* key) {
  std::string raw;
  if (!formats::FindProfileValue(file, formats::AppendUtf16AsUtf8, section, key, &raw)) return;
  char buffer[261];
  memset(buffer, 0x7F, sizeof buffer);
  uint32_t n = formats::CopyProfileValue(raw, buffer, 260);
  if (n > 259 || buffer[n] != '\0' || buffer[260] != 0x7F) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file(reinterpret_cast<const char*>(data), size);
  Lookup(file, "FL", "version");
  Lookup(file, "driver", "version");
  Lookup(file, "FL", "file");
  Lookup(file, "", "");
  // A section and key taken from the input itself, so matches happen.
  if (size > 2) {
    std::string section(reinterpret_cast<const char*>(data), data[0] % (size - 1));
    std::string key(reinterpret_cast<const char*>(data) + 1, data[1] % (size - 1));
    Lookup(file, section.c_str(), key.c_str());
  }
  return 0;
}
