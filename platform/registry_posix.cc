// POSIX stand-in for the registry: a regedit export named by
// VELSETUP_REGISTRY, with the views of 64-bit Windows unless VELSETUP_WOW64=0.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "formats/ascii.h"
#include "formats/export_lookup.h"
#include "formats/registry_export.h"
#include "formats/registry_view.h"
#include "platform/code_page.h"
#include "platform/file_read.h"
#include "platform/posix_internal.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace platform {

using formats::EqualsNoCase;
using formats::FindNamedValue;
using formats::RegistryValue;
using internal::kErrorFileNotFound;
using internal::kErrorMoreData;

namespace {

bool SimulatesWow64() {
  const char* v = getenv("VELSETUP_WOW64");
  return !(v && strcmp(v, "0") == 0);
}

}  // namespace

struct RegistryKeyImpl {
  std::vector<RegistryValue> values;
};

int32_t OpenRegistryKey(const char* sub_key, uint32_t access, RegistryKey* key) {
  const char* file = getenv("VELSETUP_REGISTRY");
  std::string bytes;
  formats::RegistryExport registry;
  if (!file || ReadWholeFile(file, internal::kMaxFileBytes, &bytes) != FileRead::kRead ||
      !registry.Read(bytes, AppendUtf16AsAnsi))
    return kErrorFileNotFound;
  auto* opened = new RegistryKeyImpl;
  if (!formats::FindKeyInView(&registry, 1, sub_key, access, SimulatesWow64(), &opened->values)) {
    delete opened;
    return kErrorFileNotFound;
  }
  *key = opened;
  return 0;
}

int32_t QueryRegistryValue(RegistryKey key, const char* name, uint8_t* data, uint32_t* size) {
  const RegistryValue* value = FindNamedValue(key->values, name);
  if (!value) return kErrorFileNotFound;
  uint32_t length = static_cast<uint32_t>(value->data.size());
  if (!data) {
    *size = length;
    return 0;
  }
  if (*size < length) {
    *size = length;
    return kErrorMoreData;
  }
  memcpy(data, value->data.data(), length);  // NOLINT(bugprone-not-null-terminated-result): raw value bytes
  *size = length;
  return 0;
}

void CloseRegistryKey(RegistryKey key) { delete key; }

// The stand-in's kernel32 and its WOW64 entry point: any non-null marker.
static char g_kernel32_marker;
static char g_wow64_entry_marker;

void* GetLoadedModule(const char* module_name) {
  return EqualsNoCase(module_name, "kernel32.dll") ? &g_kernel32_marker : nullptr;
}

void* GetModuleEntryPoint(void* module, const char* name) {
  if (module != &g_kernel32_marker || strcmp(name, "GetSystemWow64DirectoryW") != 0) return nullptr;
  return &g_wow64_entry_marker;
}

uint32_t CallGetSystemWow64Directory(void* entry_point, uint16_t* buffer, uint32_t size) {
  if (entry_point != &g_wow64_entry_marker) return 0;
  if (!SimulatesWow64()) {
    internal::SetError(kErrorCallNotImplemented);
    return 0;
  }
  static const char kDir[] = "C:\\Windows\\SysWOW64";
  const uint32_t n = sizeof kDir - 1;
  if (size <= n) return n + 1;
  for (uint32_t i = 0; i <= n; ++i) buffer[i] = static_cast<uint8_t>(kDir[i]);
  return n;
}

}  // namespace platform
