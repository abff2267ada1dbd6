// The POSIX program's decision and the choices for faulty input.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/setup_run.h"
#include "tests/support/test_support.h"

namespace {

using namespace setup_test;  // NOLINT: the shared test vocabulary
struct DecisionCase {
  const char* name;
  std::vector<test::RegValue> registry;
  std::string config;  // empty: no config.ini at all
  bool installs;
  std::string versions;
};

TEST(SetupProgram, DecidesAndLaunchesTheTempCopy) {
  const std::string pkg = "[FL]\nversion=1.2.4\nfile=inst.sh\n[driver]\nversion=2.0.1\n";
  const std::vector<DecisionCase> cases = {
      {"older client",
       {Version(k32, kFerrolink, "AP1.2.3"), Version(k64, kInstallation, "2.0.1")},
       pkg,
       true,
       VersionLines(123, 124, 201, 201)},
      {"older driver only",
       {Version(k32, kFerrolink, "AP1.2.4"), Version(k64, kInstallation, "2.0.0")},
       pkg,
       true,
       VersionLines(124, 124, 200, 201)},
      {"both equal",
       {Version(k32, kFerrolink, "AP1.2.4"), Version(k64, kInstallation, "2.0.1")},
       pkg,
       false,
       VersionLines(124, 124, 201, 201)},
      {"both newer",
       {Version(k32, kFerrolink, "AP1.2.5"), Version(k64, kInstallation, "2.0.2")},
       pkg,
       false,
       VersionLines(125, 124, 202, 201)},
      {"joined digits: 1.3 is older than 1.2.4",
       {Version(k32, kFerrolink, "AP1.3"), Version(k64, kInstallation, "2.1")},
       pkg,
       true,
       VersionLines(13, 124, 21, 201)},
      {"1.10.0 against 2.0.0",
       {Version(k32, kFerrolink, "AP1.10.0"), Version(k64, kInstallation, "1.0")},
       "[FL]\nversion=2.0.0\nfile=inst.sh\n[driver]\nversion=1.0\n",
       false,
       VersionLines(1100, 200, 10, 10)},
      {"no config file", {}, "", false, VersionLines(0, 0, 0, 0)},
      {"nothing installed", {}, pkg, true, VersionLines(0, 124, 0, 201)},
  };
  for (const DecisionCase& c : cases) {
    SetupRun run;
    run.AddInstaller("inst.sh");
    if (!c.config.empty()) run.Config(c.config);
    test::RegistryState registry(c.registry);
    ASSERT_EQ(run.Run(), 0) << c.name;
    std::vector<std::string> expected = {"BANNER", kInitDialog, kStart};
    size_t nl = c.versions.find('\n');
    expected.push_back(c.versions.substr(0, nl));
    expected.push_back(c.versions.substr(nl + 1));
    if (c.installs) {
      expected.push_back("CopyFile from " + run.package_ + "inst.sh to " + run.temp_ + "inst.sh");
    } else {
      expected.push_back(kLatest);
    }
    expected.insert(expected.end(), kFinish.begin(), kFinish.end());
    EXPECT_EQ(Join(run.LogLines()), Join(expected)) << c.name;
    EXPECT_EQ(run.Started(c.installs), c.installs ? run.temp_ + "inst.sh\n" : "") << c.name;
    EXPECT_EQ(test::FileExists(run.temp_ + "inst.sh"), c.installs) << c.name;
    EXPECT_TRUE(test::FileExists(run.package_ + "inst.sh")) << c.name;
  }
}

TEST(SetupProgram, NoConfigAndANegativeInstalledVersionTriesAndStopsAtTheEmptyName) {
  SetupRun run;
  run.AddInstaller("inst.sh");
  test::RegistryState registry({Version(k32, kFerrolink, "AP-1")});
  ASSERT_EQ(run.Run(), 0);
  std::vector<std::string> lines = run.LogLines();
  ASSERT_EQ(lines.size(), 9u) << Join(lines);
  EXPECT_EQ(lines[3], FlLine(-1, 0));
  EXPECT_EQ(lines[5], "CSetupDlg::InstallPackage - The installer file name <> is empty. Quit installation...");
  EXPECT_EQ(run.Started(false), "");
  EXPECT_TRUE(test::FileExists(run.package_ + "inst.sh"));
}

TEST(SetupProgram, ASecondRunAppendsWithItsOwnBanner) {
  SetupRun run;
  test::RegistryState registry({});
  ASSERT_EQ(run.Run(), 0);
  ASSERT_EQ(run.Run(), 0);
  std::vector<std::string> one = {"BANNER", kInitDialog, kStart, FlLine(0, 0), DriverLine(0, 0), kLatest};
  one.insert(one.end(), kFinish.begin(), kFinish.end());
  std::vector<std::string> two = one;
  two.insert(two.end(), one.begin(), one.end());
  EXPECT_EQ(Join(run.LogLines()), Join(two));
}

// The choices for faulty input: each leaves the package alone, deletes
// nothing outside the temporary directory and launches nothing stale.
struct FaultCase {
  const char* name;
  std::string file;              // "file" in config.ini
  bool stale_copy;               // an older inst.sh already waits in temp
  bool ship_installer;           // the package holds inst.sh
  std::vector<std::string> env;  // extra environment
  std::string expected_line;     // the line after the version lines
  std::string expected_start;    // relative to temp; "" for none
};

TEST(SetupProgram, FaultyInstallerNamesAndCopiesLaunchNothingWrong) {
  const std::vector<FaultCase> cases = {
      {"empty name",
       "",
       false,
       true,
       {},
       "CSetupDlg::InstallPackage - The installer file name <> is empty. Quit installation...",
       ""},
      {"absolute name",
       "/bin/sh",
       false,
       true,
       {},
       "CSetupDlg::InstallPackage - The installer file name </bin/sh> is an absolute or UNC path. "
       "Quit installation...",
       ""},
      {"parent component",
       "../inst.sh",
       false,
       true,
       {},
       "CSetupDlg::InstallPackage - The installer file name <../inst.sh> leaves the package folder (\"..\"). "
       "Quit installation...",
       ""},
      {"drive prefix",
       "C:inst.sh",
       false,
       true,
       {},
       "CSetupDlg::InstallPackage - The installer file name <C:inst.sh> carries a drive or stream. "
       "Quit installation...",
       ""},
      {"reserved device name with an extension",
       "aux.sh",
       false,
       true,
       {},
       "CSetupDlg::InstallPackage - The installer file name <aux.sh> names a reserved device. Quit installation...",
       ""},
      {"name ending in a dot",
       "inst.sh.",
       false,
       true,
       {},
       "CSetupDlg::InstallPackage - The installer file name <inst.sh.> has a component that ends in a dot or a "
       "space. Quit installation...",
       ""},
      {"missing installer with a stale copy in temp", "inst.sh", true, false, {}, "COPY+FAIL", ""},
      {"not executable and nothing to open it", "data.txt", false, true, {"PATH=/nonexistent"}, "COPY+OPENFAIL", ""},
      {"subdirectory", "sub/inst.sh", false, true, {}, "COPY", "sub/inst.sh"},
      // A link made first where the subdirectory goes is not followed.
      {"subdirectory that is a link made first",
       "sub/inst.sh",
       false,
       true,
       {},
       "COPY\nCSetupDlg::InstallPackage - CopyFile failed, error <17>. Quit installation...",
       ""},
      // The shell's results: 32 and below are failures, 33 and above not.
      {"open gives 32",
       "inst.sh",
       false,
       true,
       {"VELSETUP_SHELL_RESULT=32"},
       "COPY\nCSetupDlg::InstallPackage - ShellExecute failed, result <32>.",
       ""},
      {"open gives 33", "inst.sh", false, true, {"VELSETUP_SHELL_RESULT=33"}, "COPY", ""},
  };
  for (const FaultCase& c : cases) {
    SetupRun run;
    if (c.ship_installer) {
      run.AddInstaller("inst.sh");
      if (c.file == "sub/inst.sh") run.AddInstaller("sub/inst.sh");
      if (c.file == "data.txt") run.AddInstaller("data.txt", false);
      // Names Windows would take for something else still name a file here.
      if (c.file == "aux.sh" || c.file == "inst.sh.") run.AddInstaller(c.file);
    }
    const std::string outside = test::NewTempDir();
    if (std::string(c.name) == "subdirectory that is a link made first") {
      ASSERT_EQ(symlink(outside.c_str(), (run.temp_ + "sub").c_str()), 0);
    }
    if (c.stale_copy) {
      test::WriteBytes(run.temp_ + "inst.sh", "#!/bin/sh\necho stale >> '" + run.record_ + "'\n");
      chmod((run.temp_ + "inst.sh").c_str(), 0755);
    }
    run.Config("[FL]\nversion=9\nfile=" + c.file + "\n");
    test::RegistryState registry({});
    ASSERT_EQ(run.Run(c.env), 0) << c.name;
    std::vector<std::string> lines = run.LogLines();
    ASSERT_GE(lines.size(), 9u) << c.name << "\n" << Join(lines);
    std::string copy = "CopyFile from " + run.package_ + c.file + " to " + run.temp_ + c.file;
    std::vector<std::string> got(lines.begin() + 5, lines.end() - 3);
    std::vector<std::string> want;
    if (c.expected_line == "COPY") {
      want = {copy};
    } else if (c.expected_line == "COPY+FAIL") {
      want = {copy, "CSetupDlg::InstallPackage - CopyFile failed, error <2>. Quit installation..."};
    } else if (c.expected_line == "COPY+OPENFAIL") {
      want = {copy, "CSetupDlg::InstallPackage - ShellExecute failed, result <31>."};
    } else if (c.expected_line.rfind("COPY\n", 0) == 0) {
      want = {copy, c.expected_line.substr(5)};
    } else {
      want = {c.expected_line};
    }
    EXPECT_EQ(Join(got), Join(want)) << c.name;
    EXPECT_EQ(lines.back(), kEnd) << c.name;
    std::string started = run.Started(!c.expected_start.empty());
    EXPECT_EQ(started, c.expected_start.empty() ? "" : run.temp_ + c.expected_start + "\n") << c.name;
    if (c.ship_installer) {
      EXPECT_TRUE(test::FileExists(run.package_ + "inst.sh")) << c.name;
    }
    EXPECT_FALSE(test::FileExists(outside + "inst.sh")) << c.name << ": copied through a link";
  }
}

TEST(SetupProgram, InstallerAlreadyInTempIsOpenedWhereItIs) {
  SetupRun run;
  run.temp_ = run.package_;  // the package was unpacked into the temporary directory
  run.AddInstaller("inst.sh");
  run.Config("[FL]\nversion=9\nfile=inst.sh\n");
  test::RegistryState registry({});
  ASSERT_EQ(run.Run(), 0);
  std::vector<std::string> lines = run.LogLines();
  ASSERT_EQ(lines.size(), 9u) << Join(lines);
  EXPECT_EQ(lines[5], "CSetupDlg::InstallPackage - The installer is already in the temporary directory: <" +
                          run.package_ + "inst.sh>. Opening it there.");
  EXPECT_EQ(run.Started(true), run.package_ + "inst.sh\n");
  EXPECT_TRUE(test::FileExists(run.package_ + "inst.sh"));
}

TEST(SetupProgram, ElevatedRunsStageTheCopyInAPrivateRandomFolder) {
  std::set<std::string> folders;
  for (int i = 0; i < 2; ++i) {
    SetupRun run;
    run.AddInstaller("inst.sh");
    run.Config("[FL]\nversion=9\nfile=inst.sh\n");
    test::RegistryState registry({});
    ASSERT_EQ(run.Run({"VELSETUP_ELEVATED=1"}), 0);
    std::vector<std::string> lines = run.LogLines();
    ASSERT_EQ(lines.size(), 9u) << Join(lines);
    std::smatch m;
    // In the system's temporary directory, not the user's, where the log stays.
    const std::regex copy("CopyFile from " + run.package_ + "inst.sh to " + run.system_temp_ + "(" + kStagedPattern +
                          ")/inst.sh");
    ASSERT_TRUE(std::regex_match(lines[5], m, copy)) << lines[5];
    folders.insert(m[1]);
    struct stat st;
    ASSERT_EQ(stat((run.system_temp_ + std::string(m[1])).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "only the owner may write, or open it to keep it in use";
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(run.Started(true), run.system_temp_ + std::string(m[1]) + "/inst.sh\n");
    EXPECT_FALSE(test::FileExists(run.temp_ + "inst.sh")) << "nothing in the user's temporary folder";
    EXPECT_FALSE(test::FileExists(run.system_temp_ + "inst.sh")) << "nothing in the shared folder itself";
  }
  EXPECT_EQ(folders.size(), 2u) << "a fresh folder each run";
}

TEST(SetupProgram, TemporaryPathTooLongMeansNoLogNoCopyNoLaunch) {
  SetupRun run;
  run.AddInstaller("inst.sh");
  run.Config("[FL]\nversion=9\nfile=inst.sh\n");
  // 300 characters: GetTempPath's 260 cannot hold it; the bare installer
  // name would then point at the shipped installer itself.
  std::string long_dir = run.temp_ + std::string(300 - run.temp_.size(), 'd');
  run.temp_dir_override_ = long_dir;
  test::RegistryState registry({});
  ASSERT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Started(false), "");
  EXPECT_TRUE(test::FileExists(run.package_ + "inst.sh"));
  EXPECT_FALSE(test::FileExists(run.temp_ + "velsetup.log"));
}

}  // namespace
