// The fixed names setup reads and writes by, outside the log's texts
// (log_texts.h): the package's config.ini, the registry records of earlier
// installations and the log's file. Packagers and administrators know them by
// these spellings; the guide lists each one.
#ifndef PATHWARDEN_LOGIC_NAMES_H_
#define PATHWARDEN_LOGIC_NAMES_H_

namespace logic {

// config.ini beside the executable: [FL] version and file (the client and its
// installer), [driver] version.
inline constexpr char kConfigFileName[] = "config.ini";
inline constexpr char kClientSection[] = "FL";
inline constexpr char kDriverSection[] = "driver";
inline constexpr char kVersionKey[] = "version";
inline constexpr char kInstallerKey[] = "file";

// Key paths below HKEY_LOCAL_MACHINE, and the value each holds.
inline constexpr char kDriverInstallationKey[] = "SOFTWARE\\Veltrano\\Veltrano Driver Installation";
inline constexpr char kDriverMsmKey[] = "SOFTWARE\\Veltrano\\Veltrano Driver MSM";
inline constexpr char kFerrolinkKey[] = "SOFTWARE\\Veltrano\\Ferrolink";
inline constexpr char kPathwardenKey[] = "SOFTWARE\\Veltrano\\Pathwarden";
inline constexpr char kVersionValueName[] = "Version";

// The log file's name inside the temporary directory.
inline constexpr char kLogFileName[] = "velsetup.log";

}  // namespace logic

#endif  // PATHWARDEN_LOGIC_NAMES_H_
