// Where a registry view keeps a key in a registry export, and value lookup in
// an exported key. Portable, no system calls: the POSIX stand-in's registry
// and the check tool's --registry mode (on every system) both read exports
// through these.
#ifndef PATHWARDEN_FORMATS_REGISTRY_VIEW_H_
#define PATHWARDEN_FORMATS_REGISTRY_VIEW_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "formats/registry_access.h"
#include "formats/registry_export.h"

namespace formats {

// The path below HKEY_LOCAL_MACHINE at which an export of a Windows holds the
// key `sub_key` as the view selected by `access` sees it. On 64-bit Windows
// (`wow64`) a 32-bit program's view of SOFTWARE\X lies at
// SOFTWARE\WOW6432Node\X unless KEY_WOW64_64KEY is asked for; a 32-bit
// Windows has one view, where every key is read where it is.
std::string ViewPath(const char* sub_key, uint32_t access, bool wow64);

// The value called `name` (without regard to ASCII case) in `values`, or null.
const RegistryValue* FindNamedValue(const std::vector<RegistryValue>& values, const char* name);

}  // namespace formats

#endif  // PATHWARDEN_FORMATS_REGISTRY_VIEW_H_
