// Hostile machines through the real POSIX program: paths longer than the
// system takes, a program whose own folder cannot be had, and copies that
// fail half-way. Nothing is read or started from outside the package and
// nothing is left behind.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/setup_run.h"
#include "tests/support/test_support.h"

namespace {

using namespace setup_test;  // NOLINT: the shared test vocabulary

// Runs the test's children in `dir` for the life of this object.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& dir) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~WorkingDirectory() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

// A target of up to the system's 259 characters is copied, elevated (into
// the private folder) or not: the copy's temporary name is never longer than
// the target's. One more character is refused before anything is copied.
TEST(SetupHostile, ACopyWhoseTargetFitsIsMadeWhateverItsTemporaryName) {
  const size_t longest = 259;
  for (const bool elevated : {false, true}) {
    for (size_t target_length : {longest, longest + 1}) {
      SetupRun run;
      // The staged folder of an elevated run: "pathwarden-" and 16 digits.
      const size_t folder = elevated ? run.system_temp_.size() + 28 : run.temp_.size();
      const std::string name = std::string(target_length - folder - 7, 'n') + "inst.sh";
      run.AddInstaller(name);
      run.Config("[FL]\nversion=9\nfile=" + name + "\n");
      test::RegistryState registry({});
      ASSERT_EQ(run.Run({elevated ? "VELSETUP_ELEVATED=1" : "VELSETUP_ELEVATED=0"}), 0) << target_length;
      std::vector<std::string> lines = run.LogLines();
      const std::string what = std::to_string(target_length) + (elevated ? " elevated" : "");
      ASSERT_EQ(lines.size(), elevated ? 9u + (geteuid() == 0 ? 0 : 1) : 9u) << what << "\n" << Join(lines);
      EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()), kFinish);
      const std::string staged = elevated ? run.system_temp_ + kStagedPattern + "/" : run.temp_;
      const std::string& line = lines[lines.size() - 4];
      if (target_length == longest) {
        EXPECT_TRUE(std::regex_match(line, std::regex("CopyFile from " + run.package_ + name + " to " + staged + name)))
            << what << ": " << line;
        EXPECT_TRUE(std::regex_match(run.Started(true), std::regex(staged + name + "\n"))) << what;
      } else {
        // Unelevated, the source in the package is as long and is named first.
        const std::string path = elevated ? staged + name : run.package_ + name;
        EXPECT_TRUE(std::regex_match(line, std::regex("CSetupDlg::InstallPackage - The path <" + path +
                                                      "> is too long\\. Quit installation\\.\\.\\.")))
            << what << ": " << line;
        EXPECT_EQ(run.Started(false), "") << what;
        EXPECT_EQ(test::ListDir(run.temp_), std::vector<std::string>{"velsetup.log"}) << what << ": nothing copied";
      }
    }
  }
}

// A program whose own path is cut at the system's 260 characters has no
// folder: the bare "config.ini" and installer name would be found in the
// current directory. A decoy there must be neither read nor started.
TEST(SetupHostile, WithoutItsOwnFolderNothingIsReadFromElsewhere) {
  enum Outcome { kInstalls, kConfigTooLong, kNoFolder };
  struct Case {
    size_t path_length;  // of the program's full path
    Outcome outcome;
  };
  // 254: config.ini's own path is 259 characters; 255: 260, too long for
  // the system's reader, which would read nothing and say nothing.
  for (const Case& c : {Case{254, kInstalls}, Case{255, kConfigTooLong}, Case{259, kConfigTooLong},
                        Case{260, kNoFolder}, Case{300, kNoFolder}}) {
    SetupRun run;
    // The package folder, deep enough that ".../setup" has the length wanted.
    const std::string root = test::NewTempDir();
    const std::string deep = DeepFolder(root, c.path_length - std::string("setup").size());
    ASSERT_EQ(deep.size() + 5, c.path_length);
    run.package_ = deep;
    test::WriteBytes(run.package_ + "setup", test::ReadBytes(SETUP_PROGRAM));
    chmod((run.package_ + "setup").c_str(), 0755);
    // A name no longer than "setup", so that the source path fits too.
    run.AddInstaller("i.sh");
    run.Config("[FL]\nversion=9\nfile=i.sh\n");

    const std::string decoy = test::NewTempDir();
    test::WriteBytes(decoy + "config.ini", "[FL]\nversion=9\nfile=evil.sh\n");
    test::WriteBytes(decoy + "evil.sh", "#!/bin/sh\necho evil >> '" + run.record_ + "'\n");
    chmod((decoy + "evil.sh").c_str(), 0755);

    test::RegistryState registry({});
    {
      WorkingDirectory in_decoy(decoy);
      ASSERT_EQ(run.Run(), 0) << c.path_length;
    }
    std::vector<std::string> lines = run.LogLines();
    if (c.outcome == kConfigTooLong) {
      const std::vector<std::string> expected = {
          "BANNER",
          kInitDialog,
          kStart,
          "CSetupDlg::InstallPackage - The path <" + run.package_ + "config.ini> is too long. Quit installation...",
          kFinish[0],
          kFinish[1],
          kFinish[2]};
      EXPECT_EQ(Join(lines), Join(expected)) << c.path_length;
      EXPECT_EQ(run.Started(false), "") << c.path_length;
    } else if (c.outcome == kInstalls) {
      ASSERT_EQ(lines.size(), 9u) << Join(lines);
      EXPECT_EQ(lines[5], "CopyFile from " + run.package_ + "i.sh to " + run.temp_ + "i.sh");
      EXPECT_EQ(run.Started(true), run.temp_ + "i.sh\n");
    } else {
      const std::vector<std::string> expected = {
          "BANNER",
          kInitDialog,
          kStart,
          "CSetupDlg::InstallPackage - The path of the program itself is missing or longer than 259 characters. "
          "Quit installation...",
          kFinish[0],
          kFinish[1],
          kFinish[2]};
      EXPECT_EQ(Join(lines), Join(expected)) << c.path_length;
      EXPECT_EQ(run.Started(false), "") << c.path_length;
      EXPECT_EQ(test::ListDir(run.temp_), std::vector<std::string>{"velsetup.log"})
          << c.path_length << ": nothing copied";
    }
  }
}

// A read-only installer whose copy cannot be renamed onto the target (a
// folder of that name is in the way): the failure is logged and the
// temporary copy, read-only like its source, does not stay behind. (POSIX
// removes read-only files anyway; the Wine suite holds Windows to it.)
TEST(SetupHostile, AFailedRenameLeavesNoTemporaryCopy) {
  SetupRun run;
  run.AddInstaller("inst.sh");
  chmod((run.package_ + "inst.sh").c_str(), 0555);
  run.Config("[FL]\nversion=9\nfile=inst.sh\n");
  ASSERT_EQ(mkdir((run.temp_ + "inst.sh").c_str(), 0755), 0);
  test::RegistryState registry({});
  ASSERT_EQ(run.Run(), 0);
  std::vector<std::string> lines = run.LogLines();
  ASSERT_EQ(lines.size(), 10u) << Join(lines);
  EXPECT_EQ(lines[5], "CopyFile from " + run.package_ + "inst.sh to " + run.temp_ + "inst.sh");
  EXPECT_EQ(lines[6], "CSetupDlg::InstallPackage - CopyFile failed, error <21>. Quit installation...");
  EXPECT_EQ(run.Started(false), "");
  EXPECT_EQ(test::ListDir(run.temp_), (std::vector<std::string>{"inst.sh", "velsetup.log"}));
  EXPECT_EQ(test::ListDir(run.temp_ + "inst.sh"), std::vector<std::string>{});
}

}  // namespace

namespace {

// The installer starts in the folder its copy was made in, subfolders
// included, never in the folder the deployment tool left setup in (here a
// decoy's). Elevated, it is started by the system's own means only: an
// opener the user put on PATH (as a user's file association on Windows)
// is never run with the run's rights.
TEST(SetupHostile, TheInstallerStartsInTheFolderOfItsCopy) {
  struct Case {
    bool elevated;
    const char* name;        // the installer's name in config.ini
    const char* folder;      // where it starts, below the copy's base
    bool executable = true;  // else opened by an opener
  };
  const Case cases[] = {
      {false, "inst.sh", ""},        {true, "inst.sh", ""},         {false, "bin/inst.sh", "/bin"},
      {true, "bin/inst.sh", "/bin"}, {false, "inst.sh", "", false},  // the user's own opener, for the user's run
      {true, "inst.sh", "", false},                                  // never for an elevated one
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.name) + (c.elevated ? " elevated" : "") + (c.executable ? "" : " by opener");
    SetupRun run;
    run.AddInstaller(c.name, c.executable);
    test::WriteBytes(run.package_ + c.name, "#!/bin/sh\npwd >> '" + run.record_ + "'\n");
    run.Config(std::string("[FL]\nversion=9\nfile=") + c.name + "\n");
    // A user's opener, first on PATH: it records that it ran.
    const std::string user_bin = test::NewTempDir();
    test::WriteBytes(user_bin + "xdg-open", "#!/bin/sh\necho \"opener $1\" >> '" + run.record_ + "'\n");
    chmod((user_bin + "xdg-open").c_str(), 0755);
    const std::string path = "PATH=" + user_bin.substr(0, user_bin.size() - 1) + ":" + getenv("PATH");
    const std::string decoy = test::NewTempDir();
    test::RegistryState registry({});
    {
      WorkingDirectory in_decoy(decoy);
      ASSERT_EQ(run.Run({c.elevated ? "VELSETUP_ELEVATED=1" : "VELSETUP_ELEVATED=0", path}), 0) << what;
    }
    const std::string staged =
        c.elevated ? run.system_temp_ + kStagedPattern : run.temp_.substr(0, run.temp_.size() - 1);
    if (!c.executable) {
      const std::string started = run.Started(!c.elevated);
      if (c.elevated) {
        EXPECT_EQ(started, "") << what << ": the user's opener ran elevated";
      } else {
        EXPECT_EQ(started, "opener " + run.temp_ + c.name + "\n") << what;
      }
      continue;
    }
    const std::string started_in = run.Started(true);
    EXPECT_TRUE(std::regex_match(started_in, std::regex(staged + c.folder + "\n"))) << what << ": " << started_in;
  }
}

}  // namespace
