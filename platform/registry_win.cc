// Windows side of the boundary: the registry and the WOW64 probe.
#include <windows.h>

#include "platform/registry.h"

namespace platform {

namespace {

// The logic asks for the views that a 32-bit process sees: no view flag means
// the 32-bit view, KEY_WOW64_64KEY the native one. A 64-bit build reaches the
// same views only when the 32-bit view is named explicitly, so this is the
// one place where a mask that names no view gets KEY_WOW64_32KEY.
REGSAM EffectiveAccess(uint32_t access) {
#ifdef _WIN64
  if ((access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) == 0) access |= KEY_WOW64_32KEY;
#endif
  return access;
}

}  // namespace

int32_t OpenRegistryKey(const char* sub_key, uint32_t access, RegistryKey* key) {
  HKEY opened = nullptr;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, sub_key, 0, EffectiveAccess(access), &opened);
  if (result == ERROR_SUCCESS) *key = reinterpret_cast<RegistryKey>(opened);
  return result;
}

int32_t QueryRegistryValue(RegistryKey key, const char* name, uint8_t* data, uint32_t* size) {
  DWORD length = *size;
  LONG result = RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, nullptr, data, &length);
  *size = length;
  return result;
}

void CloseRegistryKey(RegistryKey key) { RegCloseKey(reinterpret_cast<HKEY>(key)); }

void* GetLoadedModule(const char* module_name) { return reinterpret_cast<void*>(GetModuleHandleA(module_name)); }

void* GetModuleEntryPoint(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

uint32_t CallGetSystemWow64Directory(void* entry_point, uint16_t* buffer, uint32_t size) {
  using Fn = UINT(WINAPI*)(LPWSTR, UINT);
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(entry_point));
  return fn(reinterpret_cast<LPWSTR>(buffer), size);
}

}  // namespace platform
