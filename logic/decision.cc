#include "logic/decision.h"

#include "logic/text.h"

const char kAlreadyLatestLine[] =
    "CSetupDlg::InstallPackage - Local FL or driver is already the latest. Quit installation...";

bool MachineIsOlder(int32_t local_client, int32_t config_client, int32_t local_driver, int32_t config_driver) {
  return local_client < config_client || local_driver < config_driver;
}

std::string ClientVersionLine(int32_t local_client, int32_t config_client) {
  return StringPrintf("CSetupDlg::InstallPackage nLocalFLVersion=<%d>, nConfigFLVersion=<%d>", local_client,
                      config_client);
}

std::string DriverVersionLine(int32_t local_driver, int32_t config_driver) {
  return StringPrintf("CSetupDlg::InstallPackage nLocalDriverVersion=<%d>, nConfigDriverVersion=<%d>", local_driver,
                      config_driver);
}

std::string InstallerNameRefusal(const std::string& name, const char* problem) {
  return StringPrintf("CSetupDlg::InstallPackage - The installer file name <%s> %s. Quit installation...", name.c_str(),
                      problem);
}
