// Installed-version probes: what earlier installations recorded in the
// registry of the local machine. Nothing here writes to the registry.
#ifndef PATHWARDEN_LOGIC_PROBES_H_
#define PATHWARDEN_LOGIC_PROBES_H_

#include <stdint.h>

#include <string>

// Key paths below HKEY_LOCAL_MACHINE and the access masks the probes use
// (KEY_READ, and KEY_READ with KEY_WOW64_64KEY).
extern const char kDriverInstallationKey[];
extern const char kDriverMsmKey[];
extern const char kFerrolinkKey[];
extern const char kPathwardenKey[];
constexpr uint32_t kAccessRead = 0x20019;
constexpr uint32_t kAccessRead64 = 0x20119;

// True on 64-bit Windows: the system offers GetSystemWow64DirectoryW and the
// call does not report that it is not implemented. Asked afresh each time.
bool IsWow64();

// Reads the value "Version" of HKEY_LOCAL_MACHINE\`key_path` into `text`.
// Returns true exactly when the key opened and the size query succeeded;
// `text` is then the value's bytes up to the first zero byte (all of them if
// there is none). Returns false, `text` unchanged, when the key or the value
// is absent. The key is always closed again.
bool ReadVersionValue(const char* key_path, uint32_t access, std::string* text);

// The installed driver version number: of the two driver records, the one
// whose text sorts last without regard to case ("0.0.0" for a missing one).
int32_t GetLocalDriverVersion();

// The installed client version number: the first client record that has a
// "Version" value, its first two bytes (the "AP" prefix) dropped.
int32_t GetLocalFLVersion();

#endif  // PATHWARDEN_LOGIC_PROBES_H_
