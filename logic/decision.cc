#include "logic/decision.h"

#include "logic/log_texts.h"
#include "logic/text.h"

namespace logic {

bool MachineIsOlder(int32_t local_client, int32_t config_client, int32_t local_driver, int32_t config_driver) {
  return local_client < config_client || local_driver < config_driver;
}

std::string ClientVersionLine(int32_t local_client, int32_t config_client) {
  return StringPrintf(log_text::kClientVersions, local_client, config_client);
}

std::string DriverVersionLine(int32_t local_driver, int32_t config_driver) {
  return StringPrintf(log_text::kDriverVersions, local_driver, config_driver);
}

std::string InstallerNameRefusal(const std::string& name, const char* problem) {
  return StringPrintf(log_text::kNameRefused, name.c_str(), problem);
}

}  // namespace logic
