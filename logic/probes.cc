#include "logic/probes.h"

#include "logic/text.h"
#include "logic/version.h"
#include "platform/platform.h"

const char kDriverInstallationKey[] = "SOFTWARE\\Veltrano\\Veltrano Driver Installation";
const char kDriverMsmKey[] = "SOFTWARE\\Veltrano\\Veltrano Driver MSM";
const char kFerrolinkKey[] = "SOFTWARE\\Veltrano\\Ferrolink";
const char kPathwardenKey[] = "SOFTWARE\\Veltrano\\Pathwarden";

namespace {

const char kVersionValue[] = "Version";
const char kMissingVersion[] = "0.0.0";
constexpr size_t kPrefixLength = 2;  // the length of "AP"

}  // namespace

bool IsWow64() {
  void* kernel32 = platform::GetLoadedModule("kernel32.dll");
  if (!kernel32) return false;
  void* entry = platform::GetModuleEntryPoint(kernel32, "GetSystemWow64DirectoryW");
  if (!entry) return false;
  uint16_t directory[260];
  if (platform::CallGetSystemWow64Directory(entry, directory, 260) != 0) return true;
  return platform::GetLastSystemError() != platform::kErrorCallNotImplemented;
}

bool ReadVersionValue(const char* key_path, uint32_t access, std::string* text) {
  platform::ScopedRegKey key;
  if (platform::OpenRegistryKey(key_path, access, key.receive()) != 0) return false;
  uint32_t size = 0;
  if (platform::QueryRegistryValue(key.get(), kVersionValue, nullptr, &size) != 0) return false;
  std::string data(size, '\0');
  // The result is not examined: a failed read leaves zeros, an empty text.
  platform::QueryRegistryValue(key.get(), kVersionValue, reinterpret_cast<uint8_t*>(&data[0]), &size);
  if (size < data.size()) data.resize(size);
  size_t zero = data.find('\0');
  if (zero != std::string::npos) data.resize(zero);
  *text = data;
  return true;
}

int32_t GetLocalDriverVersion() {
  std::string a;
  std::string b;
  ReadVersionValue(kDriverInstallationKey, IsWow64() ? kAccessRead64 : kAccessRead, &a);
  ReadVersionValue(kDriverMsmKey, kAccessRead, &b);
  if (a.empty()) a = kMissingVersion;
  if (b.empty()) b = kMissingVersion;
  const std::string& chosen = CompareNoCase(a, b) < 0 ? b : a;
  return ParseVersion(chosen.c_str());
}

int32_t GetLocalFLVersion() {
  std::string v;
  if (!ReadVersionValue(kFerrolinkKey, kAccessRead, &v)) {
    ReadVersionValue(kPathwardenKey, kAccessRead64, &v);
  }
  if (v.empty()) {
    v = kMissingVersion;
  } else {
    v = v.size() > kPrefixLength ? v.substr(kPrefixLength) : std::string();
  }
  return ParseVersion(v.c_str());
}
