// The registry, HKEY_LOCAL_MACHINE only, and the steps of the 64-bit system
// probe. Implemented by registry_win.cc and by registry_posix.cc, whose
// registry is a set of export files (formats/registry_export.h).
#ifndef PATHWARDEN_PLATFORM_REGISTRY_H_
#define PATHWARDEN_PLATFORM_REGISTRY_H_

#include <stdint.h>

namespace platform {

// ---- Registry (HKEY_LOCAL_MACHINE only) ------------------------------------

// An open key: HKEY on Windows, the stand-in's key object on POSIX. Owned by
// whoever opened it; release with CloseRegistryKey (see ScopedRegKey).
struct RegistryKeyImpl;
using RegistryKey = RegistryKeyImpl*;

// Opens HKEY_LOCAL_MACHINE\`sub_key` with `access` (an access mask as Windows
// defines it). Returns 0 and sets `*key` when it opens in that view; a
// non-zero system error code otherwise. (RegOpenKeyExA.)
int32_t OpenRegistryKey(const char* sub_key, uint32_t access, RegistryKey* key);

// Queries value `name`. With `data` null, sets `*size` to the size of the
// value's data in bytes. Otherwise copies up to `*size` bytes into `data` and
// sets `*size` to the bytes copied. Returns 0 on success, a system error code
// otherwise (2 when the value is absent, 234 when `*size` is too small).
// String values come as the ANSI text the A-suffixed call gives, terminating
// zeros included. (RegQueryValueExA without the type.)
int32_t QueryRegistryValue(RegistryKey key, const char* name, uint8_t* data, uint32_t* size);

void CloseRegistryKey(RegistryKey key);

// Owns one open key.
class ScopedRegKey {
 public:
  ScopedRegKey() = default;
  ~ScopedRegKey() {
    if (key_) CloseRegistryKey(key_);
  }
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;

  RegistryKey get() const { return key_; }
  RegistryKey* receive() { return &key_; }

 private:
  RegistryKey key_ = nullptr;
};

// ---- 64-bit system probe ---------------------------------------------------

// The pieces of the WOW64 probe, so that the logic can follow its steps:
// the module handle of `module_name` (GetModuleHandleA), an entry point in it
// (GetProcAddress), and a call of GetSystemWow64DirectoryW through that entry
// point with a buffer of `size` wide characters. Null/0 mean "none". The
// POSIX stand-in answers as a 64-bit Windows unless VELSETUP_WOW64=0.
void* GetLoadedModule(const char* module_name);
void* GetModuleEntryPoint(void* module, const char* name);
uint32_t CallGetSystemWow64Directory(void* entry_point, uint16_t* buffer, uint32_t size);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_REGISTRY_H_
