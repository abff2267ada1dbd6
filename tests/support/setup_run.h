// Runs the POSIX program as a user runs it: a package folder with setup,
// config.ini and an installer, a registry export, and a temporary directory.
// The whole-program tests (tests/program/) and the check tool's tests, which
// read the logs such runs write, share it.
#ifndef PATHWARDEN_TESTS_SUPPORT_SETUP_RUN_H_
#define PATHWARDEN_TESTS_SUPPORT_SETUP_RUN_H_

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

extern char** environ;

namespace setup_test {

using test::Version;

using test::DriverLine;
using test::FlLine;
using test::kEnd;
using test::kFinish;
using test::kInitDialog;
using test::kLatest;
using test::kStagedPattern;
using test::kStart;
using test::VersionLines;

using namespace test::records;  // NOLINT: the shared test vocabulary

// A package folder and a temporary directory for one run.
class SetupRun {
 public:
  SetupRun()
      : package_(test::NewTempDir()),
        temp_(test::NewTempDir()),
        system_temp_(test::NewTempDir()),
        record_(test::NewTempDir() + "record") {
    std::string program = test::ReadBytes(SETUP_PROGRAM);
    test::WriteBytes(package_ + "setup", program);
    chmod((package_ + "setup").c_str(), 0755);
  }

  // An installer that records where it was started from.
  void AddInstaller(const std::string& name, bool executable = true) {
    std::string path = package_ + name;
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) mkdir((package_ + name.substr(0, slash)).c_str(), 0755);
    test::WriteBytes(path, "#!/bin/sh\necho \"$0\" >> '" + record_ + "'\n");
    chmod(path.c_str(), executable ? 0755 : 0644);
  }

  void Config(const std::string& text) { test::WriteBytes(package_ + "config.ini", text); }

  // Runs the program to its end; returns its exit status.
  int Run(std::vector<std::string> extra_env = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      std::string s = *e;
      if (s.rfind("TMPDIR=", 0) != 0) env.push_back(s);
    }
    env.push_back("TMPDIR=" + temp_dir_override_.value_or(temp_));
    env.push_back("PATHWARDEN_RECORD=" + record_);
    // Elevated runs stage here, never in the machine's own /var/tmp.
    env.push_back("VELSETUP_SYSTEM_TEMP=" + system_temp_);
    // Unelevated unless a test asks: the tests may run as root, which counts
    // as elevated.
    env.push_back("VELSETUP_ELEVATED=0");
    for (auto& e : extra_env) {
      // A variable given here replaces the one set above.
      const std::string name = e.substr(0, e.find('=') + 1);
      env.erase(std::remove_if(env.begin(), env.end(), [&](const std::string& v) { return v.rfind(name, 0) == 0; }),
                env.end());
      env.push_back(e);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    std::string program = package_ + "setup";
    char* argv[] = {&program[0], nullptr};
    pid_t pid;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
    // A run takes milliseconds; one still going after the limit hangs, and
    // is ended so that the test can report it and clean up.
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRunLimitSeconds);
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "setup hangs: it did not end within " << kRunLimitSeconds << " s and was killed";
        return -2;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Runs the program from `folder` (made by the caller) instead.
  void UsePackageFolder(const std::string& folder) {
    package_ = folder;
    test::WriteBytes(package_ + "setup", test::ReadBytes(SETUP_PROGRAM));
    chmod((package_ + "setup").c_str(), 0755);
  }

  static constexpr int kRunLimitSeconds = 20;

  // The log's message texts, banners shown as "BANNER".
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::string log = test::ReadBytes(temp_ + "velsetup.log");
    static const std::regex message(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\t (.*))");
    static const std::regex banner(R"(\d{4}/\d{2}/\d{2}\t\d{2}:\d{2}:\d{2}\tPathwarden Installer)");
    size_t start = 0;
    while (start < log.size()) {
      size_t end = log.find('\n', start);
      std::string line = log.substr(start, end - start);
      start = end == std::string::npos ? log.size() : end + 1;
      std::smatch m;
      if (line.empty() || line == std::string(71, '=')) continue;
      if (std::regex_match(line, banner)) {
        lines.push_back("BANNER");
      } else if (std::regex_match(line, m, message)) {
        lines.push_back(m[1]);
      } else {
        lines.push_back("UNEXPECTED: " + line);
      }
    }
    return lines;
  }

  // Where the installer was started from, waiting a little for the detached
  // process; empty when nothing started.
  std::string Started(bool expect_start) const {
    for (int i = 0; i < (expect_start ? 500 : 20); ++i) {
      std::string r = test::ReadBytes(record_);
      if (!r.empty()) return r;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::string();
  }

  std::string package_;
  std::string temp_;
  std::string system_temp_;  // the system's temporary directory of elevated runs
  std::string record_;
  std::optional<std::string> temp_dir_override_;
};

// Makes the folders of a path below `base` that is `length` characters long,
// its closing '/' included, and returns it.
inline std::string DeepFolder(const std::string& base, size_t length) {
  std::string path = base;
  while (path.size() < length) {
    size_t room = length - path.size() - 1;  // characters before the next '/'
    // No folder name of one character left over at the end.
    size_t name = room > 200 ? std::min<size_t>(100, room - 2) : room;
    path += std::string(name, 'p') + "/";
    mkdir(path.c_str(), 0755);
  }
  return path;
}

inline std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (auto& l : lines) out += l + "\n";
  return out;
}

}  // namespace setup_test

#endif  // PATHWARDEN_TESTS_SUPPORT_SETUP_RUN_H_
