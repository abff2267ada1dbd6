// Runs pathwarden-check as a packager runs it, in scratch folders that go
// away with the test.
#ifndef PATHWARDEN_TESTS_TOOLS_CHECK_RUN_H_
#define PATHWARDEN_TESTS_TOOLS_CHECK_RUN_H_

#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

extern char** environ;

namespace check_test {

// A registry state, and the export file the stand-in reads it from.
class ExportState {
 public:
  explicit ExportState(const std::vector<test::RegValue>& values)
      : state_(values), file_(getenv("VELSETUP_REGISTRY")) {}
  const std::string& file() const { return file_; }

 private:
  test::RegistryState state_;
  std::string file_;
};

struct CheckResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the tool with `args`, its output collected in `scratch`.
inline CheckResult RunCheck(const std::vector<std::string>& args, const std::string& scratch) {
  CheckResult result;
  const std::string out = scratch + "check.out";
  const std::string err = scratch + "check.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> argv_text = {CHECK_PROGRAM};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, CHECK_PROGRAM, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = test::ReadBytes(out);
  result.err = test::ReadBytes(err);
  remove(out.c_str());
  remove(err.c_str());
  return result;
}

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

inline bool HasLine(const std::string& text, const std::string& line) {
  for (const std::string& l : SplitLines(text)) {
    if (l == line) return true;
  }
  return false;
}

}  // namespace check_test

#endif  // PATHWARDEN_TESTS_TOOLS_CHECK_RUN_H_
