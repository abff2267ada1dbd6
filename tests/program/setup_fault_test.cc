// Faults through the real POSIX program: temporary directories and log files
// made hard to use, an earlier copy still running, and runs at once. Every
// case ends with a normal exit, a clear log where one can be written, the
// shipped installer untouched, and no stale or half-written copy started.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/setup_run.h"
#include "tests/tools/check_run.h"
#include "tests/support/test_support.h"

namespace {

using namespace setup_test;  // NOLINT: the shared test vocabulary

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
      EXPECT_NE(log.find(kEnd + "\n"), std::string::npos) << c.name;
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
    // An elevated run's lines in a velsetup-<hex>.log made new beside the
    // log, which stays as it was planted.
    bool new_file = false;
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
       geteuid() != 0, true, false, geteuid() == 0},
      // The system's temporary folder is open to all: anyone may plant the
      // log there first. No line of the run is lost.
      {"a directory in its place, elevated", [](const std::string& log) { mkdir(log.c_str(), 0755); }, false, true,
       false, true},
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
    EXPECT_EQ(log.find(kEnd) != std::string::npos, c.lines_written) << c.name;
    std::vector<std::string> new_logs = test::ListDir(temp);
    new_logs.erase(std::remove_if(new_logs.begin(), new_logs.end(),
                                  [](const std::string& n) {
                                    return !std::regex_match(n, std::regex("velsetup-[0-9a-f]{16}\\.log"));
                                  }),
                   new_logs.end());
    EXPECT_EQ(new_logs.size(), c.new_file ? 1u : 0u) << c.name;
    if (c.new_file && new_logs.size() == 1) {
      const std::string lines = test::ReadBytes(temp + new_logs[0]);
      EXPECT_NE(lines.find(kInitDialog + std::string("\n")), std::string::npos) << c.name << "\n" << lines;
      EXPECT_NE(lines.find("WriteLog - The log <" + temp + "velsetup.log> cannot be trusted, error <"),
                std::string::npos)
          << c.name << "\n"
          << lines;
      EXPECT_NE(lines.find(kEnd + "\n"), std::string::npos) << c.name << "\n" << lines;
      const std::string planted = temp + "velsetup.log";
      EXPECT_TRUE(std::filesystem::is_directory(planted) ? test::ListDir(planted).empty()
                                                         : test::ReadBytes(planted) == "theirs\n")
          << c.name << ": the planted entry was changed";
      // Support finds the run with the folder's other logs.
      const check_test::CheckResult check = check_test::RunCheck({"--log", "--runs", temp}, test::NewTempDir());
      EXPECT_NE(check.out.find(temp + new_logs[0] + ", run 1: "), std::string::npos) << c.name << "\n"
                                                                                     << check.out << check.err;
      EXPECT_NE(check.out.find("  outcome: installer started\n"), std::string::npos) << c.name << "\n" << check.out;
    }
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
  EXPECT_NE(log.find(kEnd + "\n", old.size()), std::string::npos);
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
  std::vector<std::string> every_run = {"BANNER", kInitDialog, kStart, "CopyFile"};
  every_run.insert(every_run.end(), kFinish.begin(), kFinish.end());
  for (const std::string& line : every_run) {
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
