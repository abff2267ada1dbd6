// The fixed lines of setup's log as the tests expect them, written out here
// rather than taken from the code under test, so that a changed line fails.
#ifndef PATHWARDEN_TESTS_SUPPORT_LOG_LINES_H_
#define PATHWARDEN_TESTS_SUPPORT_LOG_LINES_H_

#include <string>
#include <vector>

namespace test {

const std::string kInitDialog = "CSetupDlg::OnInitDialog";
const std::string kStart = "CSetupDlg::InstallPackage START";
const std::string kEnd = "CSetupDlg::InstallPackage END";
const std::string kLatest =
    "CSetupDlg::InstallPackage - Local FL or driver is already the latest. Quit installation...";
// The private folder an elevated run stages its copy in, as a regular
// expression of its name.
const std::string kStagedPattern = "pathwarden-[0-9a-f]{16}";
// The lines every run ends with.
const std::vector<std::string> kFinish = {"CSetupDlg::OnFinish START", "CSetupDlg::OnFinish END", kEnd};

inline std::string FlLine(int local, int config) {
  return "CSetupDlg::InstallPackage nLocalFLVersion=<" + std::to_string(local) + ">, nConfigFLVersion=<" +
         std::to_string(config) + ">";
}

inline std::string DriverLine(int local, int config) {
  return "CSetupDlg::InstallPackage nLocalDriverVersion=<" + std::to_string(local) + ">, nConfigDriverVersion=<" +
         std::to_string(config) + ">";
}

// Both version lines, joined by a newline.
inline std::string VersionLines(int local_fl, int config_fl, int local_driver, int config_driver) {
  return FlLine(local_fl, config_fl) + "\n" + DriverLine(local_driver, config_driver);
}

}  // namespace test

#endif  // PATHWARDEN_TESTS_SUPPORT_LOG_LINES_H_
