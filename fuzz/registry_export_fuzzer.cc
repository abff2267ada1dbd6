// The registry-export reader on any file content, for the keys the probes
// open in both views.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "formats/registry_export.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file(reinterpret_cast<const char*>(data), size);
  for (const char* key : {"SOFTWARE\\Veltrano\\Ferrolink", "SOFTWARE\\WOW6432Node\\Veltrano\\Ferrolink",
                          "SOFTWARE\\Veltrano\\Veltrano Driver Installation", "A", ""}) {
    std::vector<formats::RegistryValue> values;
    bool found = formats::FindRegistryKey(file, formats::AppendUtf16AsUtf8, key, &values);
    // An absent key has no values. (Values may hold any bytes: hex(N):
    // gives any type any data, as the registry itself allows.)
    if (!found && !values.empty()) abort();
  }
  return 0;
}
