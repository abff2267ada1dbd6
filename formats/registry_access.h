// Registry access masks as Windows defines them. The view a key is read
// through is part of the access: the probes ask with these, the .reg reader
// maps them to an export's paths, and the check tool names the view by them.
#ifndef PATHWARDEN_FORMATS_REGISTRY_ACCESS_H_
#define PATHWARDEN_FORMATS_REGISTRY_ACCESS_H_

#include <stdint.h>

namespace formats {

constexpr uint32_t kKeyRead = 0x20019;        // KEY_READ
constexpr uint32_t kKeyWow64_64Key = 0x0100;  // KEY_WOW64_64KEY
constexpr uint32_t kKeyWow64_32Key = 0x0200;  // KEY_WOW64_32KEY

// True when `access` asks for the 64-bit view.
constexpr bool AsksFor64BitView(uint32_t access) { return (access & kKeyWow64_64Key) != 0; }

}  // namespace formats

#endif  // PATHWARDEN_FORMATS_REGISTRY_ACCESS_H_
