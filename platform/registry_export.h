// Reader for registry export files ("regedit /e"), the registry of the POSIX
// stand-in. Reads "Windows Registry Editor Version 5.00" files (UTF-16LE with
// a byte-order mark, or UTF-8) and "REGEDIT4" files.
#ifndef PATHWARDEN_PLATFORM_REGISTRY_EXPORT_H_
#define PATHWARDEN_PLATFORM_REGISTRY_EXPORT_H_

#include <stdint.h>

#include <string>
#include <vector>

namespace platform {

struct RegistryValue {
  std::string name;   // "" for the default value ("@")
  uint32_t type = 0;  // REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, ...
  // The bytes RegQueryValueExA gives: string types as 8-bit text with their
  // terminating zeros, everything else unchanged.
  std::string data;
};

// Looks for HKEY_LOCAL_MACHINE\`key_path` in the export `bytes` (raw file
// bytes). Returns true if the key exists: a section names it or one of its
// subkeys. `*values` then holds its values, a later definition of a name
// replacing an earlier one. Names compare without regard to ASCII case.
// A file without a known header holds no keys.
bool FindRegistryKey(const std::string& bytes, const std::string& key_path, std::vector<RegistryValue>* values);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_REGISTRY_EXPORT_H_
