// Elevated runs of the whole program and the staging folders they leave.
#ifndef PATHWARDEN_TESTS_PROGRAM_STAGING_RUN_H_
#define PATHWARDEN_TESTS_PROGRAM_STAGING_RUN_H_

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/setup_run.h"
#include "tests/support/test_support.h"

namespace setup_test {

// The environment that makes a run elevated.
inline constexpr char kElevated[] = "VELSETUP_ELEVATED=1";

// The pathwarden-* entries of `dir`, sorted.
inline std::vector<std::string> StagingEntries(const std::string& dir) {
  std::vector<std::string> names = test::ListDir(dir);
  names.erase(
      std::remove_if(names.begin(), names.end(), [](const std::string& n) { return n.rfind("pathwarden-", 0); }),
      names.end());
  return names;
}

// The clean-up's log line with its three counts.
inline std::string CleanupLine(const std::string& base, int removed, int in_use, int left_alone) {
  return "CSetupDlg::InstallPackage - Earlier private folders in " + base + ": " + std::to_string(removed) +
         " removed, " + std::to_string(in_use) + " in use kept, " + std::to_string(left_alone) +
         " not ours left alone.";
}

// A package whose run installs: elevated, it stages.
inline SetupRun ElevatedRun() {
  SetupRun run;
  run.AddInstaller("inst.sh");
  run.Config("[FL]\nversion=9\nfile=inst.sh\n");
  return run;
}

}  // namespace setup_test

#endif  // PATHWARDEN_TESTS_PROGRAM_STAGING_RUN_H_
