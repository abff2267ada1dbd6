#include "formats/export_lookup.h"

#include <algorithm>

#include "formats/registry_view.h"

namespace formats {

bool FindKeyInView(const RegistryExport* exports, size_t count, const char* sub_key, uint32_t access, bool wow64,
                   std::vector<RegistryValue>* values, size_t* which) {
  const std::string path = ViewPath(sub_key, access, wow64);
  for (size_t i = 0; i < count; ++i) {
    if (!exports[i].FindKey(path, values)) continue;
    if (which) *which = i;
    return true;
  }
  values->clear();
  return false;
}

bool IsAnsiExport(const std::string& bytes) {
  // The header is the first line that is neither blank nor a comment, as
  // the reader takes it; a UTF-16 file is Unicode whatever it says.
  static const char kUtf8Mark[] = "\xEF\xBB\xBF";
  size_t at = bytes.compare(0, 3, kUtf8Mark) == 0 ? 3 : 0;
  if (bytes.size() >= 2 && (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)) {
    return false;
  }
  while (at < bytes.size()) {
    const size_t end = std::min(bytes.find_first_of("\r\n", at), bytes.size());
    const size_t first = bytes.find_first_not_of(" \t", at);
    if (first < end && bytes[first] != ';') {
      const size_t last = bytes.find_last_not_of(" \t", end - 1);
      return bytes.compare(first, last + 1 - first, "REGEDIT4") == 0;
    }
    at = end + 1;
  }
  return false;
}

}  // namespace formats
