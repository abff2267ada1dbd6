// Elevated runs of the POSIX program among other users: none of them can
// keep a run from clearing our earlier staging folders.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/program/staging_run.h"
#include "tests/support/setup_run.h"
#include "tests/support/test_support.h"

namespace {

using namespace setup_test;  // NOLINT: the shared test vocabulary

// Starts a child that, as another user (nobody), opens `folder` and holds
// a shared lock on it until killed; sets `*held` to whether it could.
pid_t HoldAsAnotherUser(const std::string& folder, bool* held) {
  int report[2];
  if (pipe(report) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    char ok = 0;
    if (setgid(65534) == 0 && setuid(65534) == 0) {
      const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
      ok = fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) == 0;
    }
    if (write(report[1], &ok, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  close(report[1]);
  char ok = 0;
  *held = read(report[0], &ok, 1) == 1 && ok;
  close(report[0]);
  return child;
}

// Nobody can keep a run from clearing our earlier folders: not with entries
// named to list before them, nor by holding one open. A real run makes the
// earlier folder; the shared folder is open to all, as the system's is.
TEST(SetupStaging, NoUserCanStarveOrPinTheCleanup) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  struct Case {
    const char* name;
    int foreign;  // other users' folders of our names, listed first
    bool held;    // another user tries to hold our earlier folder open
  };
  for (const Case& c : {Case{"2000 foreign folders named to list first", 2000, false},
                        Case{"another user holding our earlier folder", 0, true}}) {
    SetupRun run = ElevatedRun();
    const std::string& base = run.system_temp_;
    ASSERT_EQ(chmod(base.c_str(), 01777), 0);
    test::RegistryState registry({});
    ASSERT_EQ(run.Run({kElevated}), 0) << c.name;
    const std::vector<std::string> earlier = StagingEntries(base);
    ASSERT_EQ(earlier.size(), 1u) << c.name;
    for (int i = 0; i < c.foreign; ++i) {
      char name[32];
      snprintf(name, sizeof name, "pathwarden-%016x", i);
      ASSERT_EQ(mkdir((base + name).c_str(), 0755), 0) << name;
      ASSERT_EQ(chown((base + name).c_str(), 65534, 65534), 0) << name;
    }
    bool held = false;
    const pid_t holder = c.held ? HoldAsAnotherUser(base + earlier[0], &held) : -1;
    const int code = run.Run({kElevated});
    if (holder > 0) {
      kill(holder, SIGKILL);
      waitpid(holder, nullptr, 0);
    }
    ASSERT_EQ(code, 0) << c.name;
    const std::vector<std::string> lines = run.LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), CleanupLine(base, 1, 0, c.foreign)), lines.end())
        << c.name << (held ? " (the user could hold it)" : "") << "\n"
        << Join(std::vector<std::string>(lines.begin() + 9, lines.end()));
    EXPECT_FALSE(test::FileExists(base + earlier[0])) << c.name << ": our earlier folder is still there";
  }
}

}  // namespace
