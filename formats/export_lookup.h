// A machine's registry as its regedit exports hold it: a key as one registry
// view sees it, for the POSIX stand-in's registry and the check tool's
// --registry mode alike. Portable, no system calls.
#ifndef PATHWARDEN_FORMATS_EXPORT_LOOKUP_H_
#define PATHWARDEN_FORMATS_EXPORT_LOOKUP_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "formats/registry_export.h"

namespace formats {

// The key `sub_key` below HKEY_LOCAL_MACHINE as the view `access` selects
// sees it (on a 64-bit Windows when `wow64`; see ViewPath), from the first
// of the `count` exports that holds it: the two exports of a 64-bit
// Windows' views can be given as they are. `*which` (when not null) names
// that export.
bool FindKeyInView(const RegistryExport* exports, size_t count, const char* sub_key, uint32_t access, bool wow64,
                   std::vector<RegistryValue>* values, size_t* which = nullptr);

// True for a REGEDIT4 export (regedit /a): its strings are in the exporting
// machine's ANSI code page already, where a version 5.00 export holds
// Unicode (UTF-16, or UTF-8 when saved so).
bool IsAnsiExport(const std::string& bytes);

}  // namespace formats

#endif  // PATHWARDEN_FORMATS_EXPORT_LOOKUP_H_
