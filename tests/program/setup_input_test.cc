// What setup reads, through the real POSIX program: config.ini files, the
// installer names in them, and registry values of every shape. Every case
// ends with a normal exit, a whole log, and the shipped installer untouched.
#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/support/setup_run.h"
#include "tests/support/test_support.h"

namespace {

using namespace setup_test;  // NOLINT: the shared test vocabulary

// The parts of a run every fault case checks.
void ExpectSoundRun(SetupRun& run, const std::vector<std::string>& lines, const std::string& name) {
  ASSERT_GE(lines.size(), 9u) << name << "\n" << Join(lines);
  EXPECT_EQ(lines[0], "BANNER") << name;
  EXPECT_EQ(lines[1], kInitDialog) << name;
  EXPECT_EQ(lines[2], kStart) << name;
  EXPECT_EQ(lines[lines.size() - 3], kFinish[0]) << name;
  EXPECT_EQ(lines.back(), kEnd) << name;
  for (const auto& line : lines) EXPECT_EQ(line.find("UNEXPECTED"), std::string::npos) << name << ": " << line;
  EXPECT_TRUE(test::FileExists(run.package_ + "inst.sh")) << name << ": the shipped installer is gone";
}

struct ConfigCase {
  const char* name;
  std::string config;
  int32_t fl;
  int32_t driver;
};

TEST(SetupFaults, ConfigurationFiles) {
  const std::string keys = "[FL]\nversion=1.2.4\nfile=inst.sh\n[driver]\nversion=2.0.1\n";
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
  const std::vector<ConfigCase> cases = {
      {"empty file", "", 0, 0},
      {"binary garbage", garbage, 0, 0},
      {"UTF-16 file", test::Utf16Le("[FL]\r\nversion=1.2.4\r\nfile=inst.sh\r\n[driver]\r\nversion=2.0.1\r\n", true),
       124, 201},
      {"10 MB with the keys at its end", std::string(10 << 20, ';').replace(0, 6, "[x]\n;;") + "\n" + keys, 124, 201},
      {"lines of 100000 characters",
       "[FL]\nx=" + std::string(100000, 'x') + "\n" + std::string(100000, ' ') + "\n" + keys.substr(5), 124, 201},
      {"version of 259 characters", "[FL]\nversion=" + std::string(259, '1') + "\n", test::JoinedOnes(259), 0},
      {"version of 260 characters", "[FL]\nversion=" + std::string(260, '1') + "\n", test::JoinedOnes(259), 0},
      {"version of 300 characters", "[FL]\nversion=" + std::string(300, '1') + "\n", test::JoinedOnes(259), 0},
      {"duplicate sections and keys", "[FL]\nversion=1.0\nversion=9.9\n[driver]\nversion=2\n[FL]\nversion=8.8\n", 10,
       2},
      {"joined digits at 2^31", "[FL]\nversion=2.147.483.648\n", INT32_MIN, 0},
      {"joined digits at 2^32", "[FL]\nversion=4.294.967.296\n", 0, 0},
      {"joined digits beyond 2^32", "[FL]\nversion=4.294.967.297\n", 1, 0},
      {"negative", "[FL]\nversion=-1.0\n", -10, 0},
      {"plus sign", "[FL]\nversion=+1.0\n", 10, 0},
      {"leading white space inside quotes", "[FL]\nversion=\" \t4.5\"\n", 45, 0},
      {"leading letter", "[FL]\nversion=r2.0\n", 0, 0},
      {"trailing letters", "[FL]\nversion=2.0b7\n", 20, 0},
  };
  for (const ConfigCase& c : cases) {
    SetupRun run;
    run.AddInstaller("inst.sh");
    run.Config(c.config);
    test::RegistryState registry({});
    ASSERT_EQ(run.Run(), 0) << c.name;
    std::vector<std::string> lines = run.LogLines();
    ExpectSoundRun(run, lines, c.name);
    if (lines.size() < 9) continue;
    EXPECT_EQ(lines[3], FlLine(0, c.fl)) << c.name;
    EXPECT_EQ(lines[4], DriverLine(0, c.driver)) << c.name;
    bool installs = 0 < c.fl || 0 < c.driver;
    EXPECT_EQ(lines[5] == kLatest, !installs) << c.name << ": " << lines[5];
  }
}

TEST(SetupFaults, InstallerNamesCutAt259Characters) {
  for (size_t length : {259u, 260u, 300u}) {
    SetupRun run;
    run.AddInstaller("inst.sh");
    std::string name(length, 'n');
    run.Config("[FL]\nversion=9\nfile=" + name + "\n");
    test::RegistryState registry({});
    ASSERT_EQ(run.Run(), 0) << length;
    std::vector<std::string> lines = run.LogLines();
    ExpectSoundRun(run, lines, std::to_string(length));
    // The name is cut to 259 characters: joined to the package folder it is
    // longer than the system takes. Refused before anything is copied.
    std::string cut(259, 'n');
    EXPECT_EQ(lines[5],
              "CSetupDlg::InstallPackage - The path <" + run.package_ + cut + "> is too long. Quit installation...")
        << length;
    EXPECT_EQ(lines.size(), 9u) << length << "\n" << Join(lines);
    EXPECT_EQ(run.Started(false), "") << length;
    EXPECT_EQ(test::ReadBytes(run.temp_ + cut), "") << length;
  }
}

TEST(SetupFaults, RegistryValues) {
  const std::string z(1, '\0');
  const std::vector<RecordsCase> cases = {
      {"absent", {test::EmptyKey(k32, kFerrolink), test::EmptyKey(k64, kInstallation)}, 0, 0},
      {"empty", {Version(k32, kFerrolink, ""), Version(k64, kInstallation, "")}, 0, 0},
      {"DWORD", {test::TypedVersion(k32, kFerrolink, test::kRegDword, "AP7" + z)}, 7, 0},
      {"binary without a terminating zero", {test::TypedVersion(k32, kMsm, test::kRegBinary, "3.1")}, 0, 31},
      {"multi-string", {test::TypedVersion(k32, kFerrolink, test::kRegMultiSz, "AP1.5" + z + "AP9" + z + z)}, 15, 0},
      {"expandable string", {test::TypedVersion(k64, kInstallation, test::kRegExpandSz, "4.0" + z)}, 0, 40},
      {"64 KB", {Version(k32, kFerrolink, "AP" + std::string(65536, '1'))}, test::JoinedOnes(65536), 0},
      {"client keys in the wrong views only",
       {Version(k64, kFerrolink, "AP5"), Version(k32, kPathwarden, "AP5")},
       0,
       0},
      {"driver keys in the wrong views only", {Version(k32, kInstallation, "5"), Version(k64, kMsm, "5")}, 0, 0},
  };
  for (const RecordsCase& c : cases) {
    SetupRun run;
    run.AddInstaller("inst.sh");
    run.Config("[FL]\nversion=0\n");
    test::RegistryState registry(c.values);
    ASSERT_EQ(run.Run(), 0) << c.name;
    std::vector<std::string> lines = run.LogLines();
    ExpectSoundRun(run, lines, c.name);
    if (lines.size() < 9) continue;
    EXPECT_EQ(lines[3], FlLine(c.client, 0)) << c.name;
    EXPECT_EQ(lines[4], DriverLine(c.driver, 0)) << c.name;
  }
}

}  // namespace
