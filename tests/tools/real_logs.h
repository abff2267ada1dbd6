// Logs that the POSIX setup program writes for a machine, for the tests of
// the log explainer: real runs, not logs written by hand.
#ifndef PATHWARDEN_TESTS_TOOLS_REAL_LOGS_H_
#define PATHWARDEN_TESTS_TOOLS_REAL_LOGS_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/setup_run.h"
#include "tests/support/test_support.h"
#include "tests/tools/check_run.h"

namespace check_test {

inline const char kConfig[] = "[FL]\nversion=2.1.0\nfile=inst.sh\n[driver]\nversion=3.0.0\n";

struct Machine {
  const char* name;
  std::string config;
  std::vector<test::RegValue> registry;
  bool installer;
  std::vector<std::string> env;
  bool in_temp = false;  // the package unpacked into the temporary folder itself
  size_t deep = 0;       // the package folder's path length, when long
};

// The log one real run of setup wrote for `m`.
inline std::string RealLog(const Machine& m) {
  setup_test::SetupRun run;
  if (m.in_temp) run.UsePackageFolder(run.temp_);
  if (m.deep > 0) run.UsePackageFolder(setup_test::DeepFolder(test::NewTempDir(), m.deep));
  if (m.installer) run.AddInstaller("inst.sh");
  run.Config(m.config);
  check_test::ExportState registry(m.registry);
  EXPECT_EQ(run.Run(m.env), 0) << m.name;
  const std::string log = test::ReadBytes(run.temp_ + "velsetup.log");
  run.Started(false);
  return log;
}

}  // namespace check_test

#endif  // PATHWARDEN_TESTS_TOOLS_REAL_LOGS_H_
