#include "logic/probes.h"

#include "logic/text.h"
#include "logic/version.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace logic {

const char kDriverInstallationKey[] = "SOFTWARE\\Veltrano\\Veltrano Driver Installation";
const char kDriverMsmKey[] = "SOFTWARE\\Veltrano\\Veltrano Driver MSM";
const char kFerrolinkKey[] = "SOFTWARE\\Veltrano\\Ferrolink";
const char kPathwardenKey[] = "SOFTWARE\\Veltrano\\Pathwarden";
const char kVersionValueName[] = "Version";

namespace {

const char kMissingVersion[] = "0.0.0";
constexpr size_t kPrefixLength = 2;  // the length of "AP"

}  // namespace

bool IsWow64() {
  void* kernel32 = platform::GetLoadedModule("kernel32.dll");
  if (!kernel32) return false;
  void* entry = platform::GetModuleEntryPoint(kernel32, "GetSystemWow64DirectoryW");
  if (!entry) return false;
  uint16_t directory[platform::kPathBufferSize];
  if (platform::CallGetSystemWow64Directory(entry, directory, platform::kPathBufferSize) != 0) return true;
  return platform::GetLastSystemError() != platform::kErrorCallNotImplemented;
}

bool ReadVersionValue(const char* key_path, uint32_t access, std::string* text) {
  platform::ScopedRegKey key;
  if (platform::OpenRegistryKey(key_path, access, key.receive()) != 0) return false;
  uint32_t size = 0;
  if (platform::QueryRegistryValue(key.get(), kVersionValueName, nullptr, &size) != 0) return false;
  std::string data(size, '\0');
  // The result is not examined: a failed read leaves zeros, an empty text.
  platform::QueryRegistryValue(key.get(), kVersionValueName, reinterpret_cast<uint8_t*>(&data[0]), &size);
  if (size < data.size()) data.resize(size);
  CutAtFirstZero(&data);
  *text = data;
  return true;
}

void CutAtFirstZero(std::string* data) {
  size_t zero = data->find('\0');
  if (zero != std::string::npos) data->resize(zero);
}

bool ReadSystemVersionValue(void*, const char* key_path, uint32_t access, std::string* text) {
  return ReadVersionValue(key_path, access, text);
}

namespace {

void Consult(VersionRecord* record, const char* key, uint32_t access, VersionReader read, void* context) {
  record->key = key;
  record->access = access;
  record->consulted = true;
  record->present = read(context, key, access, &record->text);
}

}  // namespace

DriverProbe ProbeDriverVersion(bool wow64, VersionReader read, void* context) {
  DriverProbe probe;
  Consult(&probe.records[0], kDriverInstallationKey, wow64 ? kAccessRead64 : kAccessRead, read, context);
  Consult(&probe.records[1], kDriverMsmKey, kAccessRead, read, context);
  for (int i = 0; i < 2; ++i) {
    const VersionRecord& r = probe.records[i];
    probe.texts[i] = r.present && !r.text.empty() ? r.text : kMissingVersion;
  }
  probe.chosen = CompareNoCase(probe.texts[0], probe.texts[1]) < 0 ? 1 : 0;
  probe.number = ParseVersion(probe.texts[probe.chosen].c_str());
  return probe;
}

ClientProbe ProbeClientVersion(VersionReader read, void* context) {
  ClientProbe probe;
  probe.records[1].key = kPathwardenKey;
  probe.records[1].access = kAccessRead64;
  Consult(&probe.records[0], kFerrolinkKey, kAccessRead, read, context);
  if (!probe.records[0].present) Consult(&probe.records[1], kPathwardenKey, kAccessRead64, read, context);
  for (int i = 0; i < 2 && probe.used < 0; ++i) {
    if (probe.records[i].present) probe.used = i;
  }
  const std::string v = probe.used < 0 ? std::string() : probe.records[probe.used].text;
  if (v.empty()) {
    probe.text = kMissingVersion;
  } else {
    probe.text = v.size() > kPrefixLength ? v.substr(kPrefixLength) : std::string();
  }
  probe.number = ParseVersion(probe.text.c_str());
  return probe;
}

int32_t GetLocalDriverVersion() { return ProbeDriverVersion(IsWow64(), ReadSystemVersionValue, nullptr).number; }

int32_t GetLocalFLVersion() { return ProbeClientVersion(ReadSystemVersionValue, nullptr).number; }

}  // namespace logic
