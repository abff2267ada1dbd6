// The install decision and the log lines that show it. Setup and the check
// tool both take them from here, so that the tool's explanation ends with
// exactly the lines setup writes.
#ifndef PATHWARDEN_LOGIC_DECISION_H_
#define PATHWARDEN_LOGIC_DECISION_H_

#include <stdint.h>

#include <string>

namespace logic {

// True when the machine is older than the package: its client or its driver
// number is lower than the one the package brings.
bool MachineIsOlder(int32_t local_client, int32_t config_client, int32_t local_driver, int32_t config_driver);

// The two version lines of the log, without time stamps.
std::string ClientVersionLine(int32_t local_client, int32_t config_client);
std::string DriverVersionLine(int32_t local_driver, int32_t config_driver);

// The line that refuses installer name `name` for `problem` (from
// InstallerNameProblem).
std::string InstallerNameRefusal(const std::string& name, const char* problem);

}  // namespace logic

#endif  // PATHWARDEN_LOGIC_DECISION_H_
