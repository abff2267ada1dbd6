// Installed-version probes: what earlier installations recorded in the
// registry of the local machine. Nothing here writes to the registry.
#ifndef PATHWARDEN_LOGIC_PROBES_H_
#define PATHWARDEN_LOGIC_PROBES_H_

#include <stdint.h>

#include <string>

#include "formats/registry_access.h"

namespace logic {

// Key paths below HKEY_LOCAL_MACHINE and the access masks the probes use
// (KEY_READ, and KEY_READ with KEY_WOW64_64KEY).
extern const char kDriverInstallationKey[];
extern const char kDriverMsmKey[];
extern const char kFerrolinkKey[];
extern const char kPathwardenKey[];
extern const char kVersionValueName[];  // "Version"
constexpr uint32_t kAccessRead = formats::kKeyRead;
constexpr uint32_t kAccessRead64 = formats::kKeyRead | formats::kKeyWow64_64Key;

// True on 64-bit Windows: the system offers GetSystemWow64DirectoryW and the
// call does not report that it is not implemented. Asked afresh each time.
bool IsWow64();

// Reads the value "Version" of HKEY_LOCAL_MACHINE\`key_path` into `text`.
// Returns true exactly when the key opened and the size query succeeded;
// `text` is then the value's bytes up to the first zero byte (all of them if
// there is none). Returns false, `text` unchanged, when the key or the value
// is absent. The key is always closed again.
bool ReadVersionValue(const char* key_path, uint32_t access, std::string* text);

// ReadVersionValue's contract with the registry left open, so that the
// rules below can be applied to a registry export or to recorded texts (the
// check tool) as well as to the system's registry.
using VersionReader = bool (*)(void* context, const char* key_path, uint32_t access, std::string* text);

// ReadVersionValue as a VersionReader; `context` is unused.
bool ReadSystemVersionValue(void* context, const char* key_path, uint32_t access, std::string* text);

// A value's bytes as the probes take them: up to the first zero byte.
void CutAtFirstZero(std::string* data);

// One record as a probe saw it.
struct VersionRecord {
  const char* key = nullptr;  // below HKEY_LOCAL_MACHINE
  uint32_t access = 0;        // kAccessRead or kAccessRead64: the view
  bool consulted = false;     // the rule asked for it
  bool present = false;       // the key and its "Version" value were there
  std::string text;           // the value up to its first zero byte
};

// How the installed client number was found: the records Ferrolink (32-bit
// view) and Pathwarden (64-bit view), the second asked for only when the
// first has no value; `used` is the record whose text was taken (-1: none);
// `text` what was parsed: that text without its first two bytes, or "0.0.0"
// when no record gave a non-empty text.
struct ClientProbe {
  VersionRecord records[2];
  int used = -1;
  std::string text;
  int32_t number = 0;
};

// How the installed driver number was found: the records Driver Installation
// (the 64-bit view on 64-bit Windows) and Driver MSM (32-bit view), their
// texts ("0.0.0" for a missing or empty one) and the one chosen, the text
// that sorts last without regard to case (the first on a tie).
struct DriverProbe {
  VersionRecord records[2];
  std::string texts[2];
  int chosen = 0;
  int32_t number = 0;
};

ClientProbe ProbeClientVersion(VersionReader read, void* context);
DriverProbe ProbeDriverVersion(bool wow64, VersionReader read, void* context);

// The installed driver version number: of the two driver records, the one
// whose text sorts last without regard to case ("0.0.0" for a missing one).
int32_t GetLocalDriverVersion();

// The installed client version number: the first client record that has a
// "Version" value, its first two bytes (the "AP" prefix) dropped.
int32_t GetLocalFLVersion();

}  // namespace logic

#endif  // PATHWARDEN_LOGIC_PROBES_H_
