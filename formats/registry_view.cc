#include "formats/registry_view.h"

#include "formats/ascii.h"

namespace formats {

std::string ViewPath(const char* sub_key, uint32_t access, bool wow64) {
  std::string path(sub_key);
  if (!wow64 || AsksFor64BitView(access)) return path;
  const char kSoftware[] = "SOFTWARE";
  const size_t n = sizeof kSoftware - 1;
  if (StartsWithNoCase(path, kSoftware) && (path.size() == n || path[n] == '\\')) {
    std::string rest = path.substr(n);
    if (!StartsWithNoCase(rest, "\\WOW6432Node")) path = "SOFTWARE\\WOW6432Node" + rest;
  }
  return path;
}

const RegistryValue* FindNamedValue(const std::vector<RegistryValue>& values, const char* name) {
  for (const RegistryValue& value : values) {
    if (EqualsNoCase(value.name, name)) return &value;
  }
  return nullptr;
}

}  // namespace formats
