// Faults and bad input through the real POSIX program. Every case ends with a
// normal exit, a clear log where one can be written, the shipped installer
// untouched, and no stale or half-written copy started.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/shell/setup_run.h"
#include "tests/support/test_support.h"

namespace {

using namespace setup_test;  // NOLINT: the shared test vocabulary
using test::RegValue;
using test::Version;

std::string FlLine(int local, int config) {
  return "CSetupDlg::InstallPackage nLocalFLVersion=<" + std::to_string(local) + ">, nConfigFLVersion=<" +
         std::to_string(config) + ">";
}
std::string DriverLine(int local, int config) {
  return "CSetupDlg::InstallPackage nLocalDriverVersion=<" + std::to_string(local) + ">, nConfigDriverVersion=<" +
         std::to_string(config) + ">";
}

// The parts of a run every fault case checks.
void ExpectSoundRun(SetupRun& run, const std::vector<std::string>& lines, const std::string& name) {
  ASSERT_GE(lines.size(), 9u) << name << "\n" << Join(lines);
  EXPECT_EQ(lines[0], "BANNER") << name;
  EXPECT_EQ(lines[1], "CSetupDlg::OnInitDialog") << name;
  EXPECT_EQ(lines[2], kStart) << name;
  EXPECT_EQ(lines[lines.size() - 3], "CSetupDlg::OnFinish START") << name;
  EXPECT_EQ(lines.back(), "CSetupDlg::InstallPackage END") << name;
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

struct RegistryCase {
  const char* name;
  std::vector<RegValue> values;
  int32_t fl;
  int32_t driver;
};

TEST(SetupFaults, RegistryValues) {
  using test::kMsm;
  using test::kPathwarden;
  const std::string z(1, '\0');
  const std::vector<RegistryCase> cases = {
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
  for (const RegistryCase& c : cases) {
    SetupRun run;
    run.AddInstaller("inst.sh");
    run.Config("[FL]\nversion=0\n");
    test::RegistryState registry(c.values);
    ASSERT_EQ(run.Run(), 0) << c.name;
    std::vector<std::string> lines = run.LogLines();
    ExpectSoundRun(run, lines, c.name);
    if (lines.size() < 9) continue;
    EXPECT_EQ(lines[3], FlLine(c.fl, 0)) << c.name;
    EXPECT_EQ(lines[4], DriverLine(c.driver, 0)) << c.name;
  }
}

struct TempCase {
  const char* name;
  std::string temp;  // TMPDIR; relative to a scratch folder
  bool log_written;
  bool installs;
};

TEST(SetupFaults, TemporaryDirectories) {
  const std::string scratch = test::NewTempDir();
  test::WriteBytes(scratch + "a-file", "x");
  mkdir((scratch + "with space \xE8\xA1\xA8 non-ASCII").c_str(), 0755);
  // 252 characters: the temporary directory fits in 259, the log path not.
  std::string deep = scratch;
  while (deep.size() < 252) {
    deep += std::string(std::min<size_t>(40, 252 - deep.size() - 1), 'd') + "/";
    mkdir(deep.c_str(), 0755);
  }
  const std::vector<TempCase> cases = {
      {"missing", scratch + "missing/", false, false},
      {"not a directory (cannot be written)", scratch + "a-file/", false, false},
      // The copy's temporary name is never longer than the target's: copied.
      {"path of 250+ characters: no room for the log name", deep, false, true},
      {"spaces and non-ASCII characters", scratch + "with space \xE8\xA1\xA8 non-ASCII/", true, true},
  };
  for (const TempCase& c : cases) {
    SetupRun run;
    run.AddInstaller("inst.sh");
    run.Config("[FL]\nversion=9\nfile=inst.sh\n");
    run.temp_dir_override_ = c.temp;
    test::RegistryState registry({});
    ASSERT_EQ(run.Run(), 0) << c.name;
    std::string log = test::ReadBytes(c.temp + "velsetup.log");
    EXPECT_EQ(!log.empty(), c.log_written) << c.name;
    if (c.log_written) {
      EXPECT_NE(log.find("CopyFile from " + run.package_ + "inst.sh to " + c.temp + "inst.sh\n"), std::string::npos)
          << c.name << "\n"
          << log;
      EXPECT_NE(log.find("CSetupDlg::InstallPackage END\n"), std::string::npos) << c.name;
    }
    EXPECT_EQ(run.Started(c.installs), c.installs ? c.temp + "inst.sh\n" : "") << c.name;
    EXPECT_EQ(test::FileExists(c.temp + "inst.sh"), c.installs) << c.name;
    EXPECT_TRUE(test::FileExists(run.package_ + "inst.sh")) << c.name;
  }
}

TEST(SetupFaults, LogFiles) {
  struct Case {
    const char* name;
    void (*prepare)(const std::string& log);
    bool lines_written;
    bool elevated = false;
    bool temp_through_link = false;  // the temporary folder named through a link
  };
  const Case cases[] = {
      {"read-only file",
       [](const std::string& log) {
         test::WriteBytes(log, "old\n");
         chmod(log.c_str(), 0444);
       },
       geteuid() == 0},  // the superuser writes anyway
      {"a directory in its place", [](const std::string& log) { mkdir(log.c_str(), 0755); }, false},
      // Someone else's file linked in as the log: an elevated run must not
      // write through the link, and writes nothing rather than that.
      {"a symbolic link to another file",
       [](const std::string& log) {
         test::WriteBytes(log + ".other", "precious\n");
         ASSERT_EQ(symlink((log + ".other").c_str(), log.c_str()), 0);
       },
       false},
      {"a dangling symbolic link",
       [](const std::string& log) { ASSERT_EQ(symlink((log + ".other").c_str(), log.c_str()), 0); }, false},
      {"a hard link to another file",
       [](const std::string& log) {
         test::WriteBytes(log + ".other", "precious\n");
         ASSERT_EQ(link((log + ".other").c_str(), log.c_str()), 0);
       },
       false},
      // Elevated: a log someone else made first would let them read the
      // run's lines; a link among the folders above it would lead anywhere.
      {"another account's file, elevated",
       [](const std::string& log) {
         test::WriteBytes(log, "theirs\n");
         if (geteuid() == 0) {
           ASSERT_EQ(chown(log.c_str(), 65534, 65534), 0);
         }
       },
       geteuid() != 0, true},
      {"the temporary folder through a link, elevated", [](const std::string&) {}, false, true, true},
      {"the temporary folder through a link, unelevated", [](const std::string&) {}, true, false, true},
  };
  for (const Case& c : cases) {
    SetupRun run;
    run.AddInstaller("inst.sh");
    run.Config("[FL]\nversion=9\nfile=inst.sh\n");
    std::string temp = run.temp_;
    if (c.temp_through_link) {
      mkdir((run.temp_ + "real").c_str(), 0755);
      ASSERT_EQ(symlink((run.temp_ + "real").c_str(), (run.temp_ + "link").c_str()), 0);
      run.temp_dir_override_ = run.temp_ + "link/";
      temp = run.temp_ + "real/";
    }
    c.prepare(temp + "velsetup.log");
    test::RegistryState registry({});
    ASSERT_EQ(run.Run({c.elevated ? "VELSETUP_ELEVATED=1" : "VELSETUP_ELEVATED=0"}), 0) << c.name;
    std::string log = test::ReadBytes(temp + "velsetup.log");
    EXPECT_EQ(log.find("CSetupDlg::InstallPackage END") != std::string::npos, c.lines_written) << c.name;
    const std::string other = run.temp_ + "velsetup.log.other";
    if (test::FileExists(other)) {
      EXPECT_EQ(test::ReadBytes(other), "precious\n") << c.name;
    }
    // Losing the log never stops the install.
    if (c.elevated) {
      EXPECT_EQ(run.Started(true).rfind(run.system_temp_ + "pathwarden-", 0), 0u) << c.name;
    } else {
      EXPECT_EQ(run.Started(true), (c.temp_through_link ? run.temp_ + "link/" : run.temp_) + "inst.sh\n") << c.name;
    }
  }
}

TEST(SetupFaults, ALockedLogIsStillAppendedTo) {
  // Locks on POSIX are advisory: a process holding one does not stop the
  // writer, which never waits for it.
  SetupRun run;
  test::WriteBytes(run.temp_ + "velsetup.log", "");
  int fd = open((run.temp_ + "velsetup.log").c_str(), O_RDWR);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  test::RegistryState registry({});
  ASSERT_EQ(run.Run(), 0);
  close(fd);
  EXPECT_EQ(run.LogLines().size(), 9u);
}

TEST(SetupFaults, A100MegabyteLogIsAppendedToNeverTruncated) {
  SetupRun run;
  std::string old(100 << 20, 'x');
  for (size_t i = 1023; i < old.size(); i += 1024) old[i] = '\n';
  test::WriteBytes(run.temp_ + "velsetup.log", old);
  test::RegistryState registry({});
  ASSERT_EQ(run.Run(), 0);
  std::string log = test::ReadBytes(run.temp_ + "velsetup.log");
  ASSERT_GT(log.size(), old.size());
  EXPECT_EQ(log.compare(0, old.size(), old), 0) << "the old content is kept as it was";
  EXPECT_NE(log.find("CSetupDlg::InstallPackage END\n", old.size()), std::string::npos);
}

TEST(SetupFaults, AnEarlierCopyStillRunningIsReplacedNotReused) {
  // Linux lets a running program's file be replaced: the new copy is renamed
  // into place and started; the old one runs on from its own file.
  SetupRun run;
  run.AddInstaller("inst.sh");
  run.Config("[FL]\nversion=9\nfile=inst.sh\n");
  const std::string marker = run.temp_ + "old-copy-running";
  test::WriteBytes(run.temp_ + "inst.sh", "#!/bin/sh\necho > '" + marker + "'\nexec sleep 5\n");
  chmod((run.temp_ + "inst.sh").c_str(), 0755);
  pid_t old = fork();
  if (old == 0) {
    execl((run.temp_ + "inst.sh").c_str(), "inst.sh", static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 500 && !test::FileExists(marker); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(test::FileExists(marker)) << "the earlier copy did not start";
  test::RegistryState registry({});
  ASSERT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Started(true), run.temp_ + "inst.sh\n");
  EXPECT_EQ(test::ReadBytes(run.temp_ + "inst.sh"), test::ReadBytes(run.package_ + "inst.sh"));
  kill(old, SIGKILL);
  waitpid(old, nullptr, 0);
}

// Checksum (FNV-1a, as the test installer computes it) of a file's bytes.
std::string Checksum(const std::string& bytes) {
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  char text[32];
  snprintf(text, sizeof text, "%016llx\n", static_cast<unsigned long long>(hash));
  return text;
}

// Runs at once on one log and one temporary directory: every line of every
// run is there, whole, and every copy that started was the whole installer.
// A run may find its copy replaced or briefly gone while another run deletes
// and copies: it then logs the failure and starts nothing.
void RunConcurrently(int count) {
  SetupRun base;
  // A real program, padded to 4 MB so that copies take a while.
  std::string installer = test::ReadBytes(TEST_INSTALLER) + std::string(4 << 20, 'p');
  test::WriteBytes(base.package_ + "inst.sh", installer);
  chmod((base.package_ + "inst.sh").c_str(), 0755);
  base.Config("[FL]\nversion=9\nfile=inst.sh\n");
  test::RegistryState registry({});
  std::vector<std::thread> threads;
  std::vector<int> codes(count, -1);
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&base, &codes, i] {
      SetupRun copy = base;
      codes[i] = copy.Run();
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < count; ++i) EXPECT_EQ(codes[i], 0) << "run " << i << " of " << count;

  std::map<std::string, int> counts;
  for (const auto& line : base.LogLines()) {
    EXPECT_EQ(line.find("UNEXPECTED"), std::string::npos) << "torn line: " << line;
    ++counts[line.rfind("CopyFile from ", 0) == 0 ? "CopyFile" : line];
  }
  for (const char* line : {"BANNER", "CSetupDlg::OnInitDialog", "CSetupDlg::InstallPackage START", "CopyFile",
                           "CSetupDlg::OnFinish START", "CSetupDlg::OnFinish END", "CSetupDlg::InstallPackage END"}) {
    EXPECT_EQ(counts[line], count) << line << " with " << count << " runs";
  }
  int failed = 0;
  for (const auto& [line, n] : counts) {
    if (line.find("failed") != std::string::npos) failed += n;
  }
  std::string record;
  for (int i = 0; i < 1000; ++i) {
    record = test::ReadBytes(base.record_);
    if (std::count(record.begin(), record.end(), '\n') + failed >= count) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string expected = Checksum(installer);
  int started = 0;
  for (size_t pos = 0; pos < record.size(); pos += expected.size(), ++started) {
    EXPECT_EQ(record.substr(pos, expected.size()), expected) << "a started copy was not the whole installer";
  }
  EXPECT_EQ(started + failed, count) << "every run either started a whole copy or logged why not";
  EXPECT_GE(started, 1);
  EXPECT_EQ(test::ReadBytes(base.temp_ + "inst.sh"), installer);
}

TEST(SetupFaults, TwoRunsAtOnce) { RunConcurrently(2); }
TEST(SetupFaults, EightRunsAtOnce) { RunConcurrently(8); }

}  // namespace
