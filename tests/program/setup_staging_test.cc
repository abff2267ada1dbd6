// Elevated runs of the POSIX program: the private folder in the system's
// temporary directory, and earlier folders cleared without following links,
// touching others' folders, or removing one still in use.
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/program/staging_run.h"
#include "tests/support/setup_run.h"
#include "tests/support/test_support.h"

namespace {

using namespace setup_test;  // NOLINT: the shared test vocabulary
namespace fs = std::filesystem;

// A copy of `sleep` running from `path` until killed: a program in use.
class RunningProgram {
 public:
  explicit RunningProgram(const std::string& path) {
    fs::copy_file("/bin/sleep", path);
    chmod(path.c_str(), 0755);
    pid_ = fork();
    if (pid_ == 0) {
      execl(path.c_str(), path.c_str(), "60", static_cast<char*>(nullptr));
      _exit(127);
    }
    // Running once the kernel refuses to open it for writing.
    for (int i = 0; i < 500 && access(("/proc/" + std::to_string(pid_) + "/exe").c_str(), F_OK) != 0; ++i) {
      usleep(2000);
    }
    usleep(50000);
  }
  ~RunningProgram() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

 private:
  pid_t pid_;
};

TEST(SetupStaging, RepeatedRunsKeepOneCopyThatIsNotRunning) {
  SetupRun run = ElevatedRun();
  test::RegistryState registry({});
  std::string previous;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(run.Run({kElevated}), 0);
    std::vector<std::string> staged = StagingEntries(run.system_temp_);
    ASSERT_EQ(staged.size(), 1u) << "run " << i << ": " << ::testing::PrintToString(staged);
    EXPECT_NE(staged[0], previous) << "run " << i << " reused a folder";
    previous = staged[0];
  }
  std::vector<std::string> lines = run.LogLines();
  // The first run found nothing to clear and said nothing; each later one
  // removed its predecessor's folder.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), CleanupLine(run.system_temp_, 1, 0, 0)), 2) << Join(lines);
  EXPECT_EQ(lines.size(), 9u * 3 + 2) << Join(lines);
}

// Anyone may fill the shared folder with names of ours: a run clears at most
// 64 earlier folders, and the next run takes the rest.
TEST(SetupStaging, ARunClearsAtMost64EarlierFoldersAndTheNextTheRest) {
  SetupRun run = ElevatedRun();
  test::RegistryState registry({});
  for (int i = 0; i < 70; ++i) {
    char name[32];
    snprintf(name, sizeof name, "pathwarden-%016x", i);
    ASSERT_TRUE(fs::create_directory(run.system_temp_ + "/" + name)) << name;
  }
  struct Step {
    int removed;
    size_t left;  // the run's own folder included
  };
  const Step steps[] = {{64, 7}, {7, 1}};
  for (const Step& step : steps) {
    ASSERT_EQ(run.Run({kElevated}), 0);
    const std::vector<std::string> lines = run.LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), CleanupLine(run.system_temp_, step.removed, 0, 0)), lines.end())
        << "a run that should remove " << step.removed << "\n"
        << Join(lines);
    EXPECT_EQ(StagingEntries(run.system_temp_).size(), step.left) << "after removing " << step.removed;
  }
}

TEST(SetupStaging, EarlierFoldersAreClearedButNotFollowedNorTakenFromOthers) {
  SetupRun run = ElevatedRun();
  const std::string outside = test::NewTempDir();
  const std::string& base = run.system_temp_;
  test::WriteBytes(outside + "keep.txt", "precious");

  struct Entry {
    const char* name;
    bool removed;  // expected gone after the run
  };
  // Ours and idle: removed, read-only files and subfolders included.
  fs::create_directories(base + "pathwarden-0000000000000001/sub");
  test::WriteBytes(base + "pathwarden-0000000000000001/sub/ro.exe", "x");
  chmod((base + "pathwarden-0000000000000001/sub/ro.exe").c_str(), 0444);
  // Ours with links inside: the links go, what they name stays.
  fs::create_directory(base + "pathwarden-0000000000000005");
  fs::create_directory_symlink(outside, base + "pathwarden-0000000000000005/dirlink");
  fs::create_symlink(outside + "keep.txt", base + "pathwarden-0000000000000005/filelink");
  // Ours with its installer still running: kept.
  fs::create_directory(base + "pathwarden-0000000000000002");
  RunningProgram running(base + "pathwarden-0000000000000002/inst");
  // Ours, held by a run still under way: kept.
  fs::create_directory(base + "pathwarden-0000000000000003");
  int held = open((base + "pathwarden-0000000000000003").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  // Someone's link in place of a folder: left alone, not followed.
  fs::create_directory_symlink(outside, base + "pathwarden-0000000000000004");
  // A file of that name: left alone.
  test::WriteBytes(base + "pathwarden-0000000000000007", "not a folder");
  // Another user's folder of that name: left alone.
  int others = 0;
  if (geteuid() == 0) {
    fs::create_directory(base + "pathwarden-0000000000000006");
    test::WriteBytes(base + "pathwarden-0000000000000006/theirs.txt", "theirs");
    ASSERT_EQ(chown((base + "pathwarden-0000000000000006").c_str(), 65534, 65534), 0);
    others = 1;
  }
  // Ours and idle, deeper than the system's path limit: every entry is
  // named relative to its held parent, so none is out of reach.
  std::string deep = base + "pathwarden-0000000000000008";
  for (int level = 0; level < 3; ++level) deep += "/" + std::string(100, 'd');
  fs::create_directories(deep);
  test::WriteBytes(deep + "/old.exe", "x");
  // Names that are not exactly ours: not even considered.
  for (const char* name : {"pathwarden-000000000000000A", "pathwarden-00000000000000001", "pathwarden-12345"}) {
    fs::create_directory(base + name);
  }

  test::RegistryState registry({});
  ASSERT_EQ(run.Run({kElevated}), 0);
  close(held);

  std::vector<std::string> lines = run.LogLines();
  ASSERT_EQ(lines.size(), 10u) << Join(lines);
  EXPECT_EQ(lines[5], CleanupLine(base, 3, 2, 2 + others));
  EXPECT_TRUE(std::regex_match(lines[6], std::regex("CopyFile from .* to " + base + kStagedPattern + "/inst.sh")))
      << lines[6];
  for (const Entry& e : std::vector<Entry>{{"pathwarden-0000000000000001", true},
                                           {"pathwarden-0000000000000005", true},
                                           {"pathwarden-0000000000000008", true},
                                           {"pathwarden-0000000000000002", false},
                                           {"pathwarden-0000000000000003", false},
                                           {"pathwarden-0000000000000004", false},
                                           {"pathwarden-0000000000000007", false},
                                           {"pathwarden-000000000000000A", false},
                                           {"pathwarden-00000000000000001", false},
                                           {"pathwarden-12345", false}}) {
    const bool present = fs::symlink_status(base + e.name).type() != fs::file_type::not_found;
    EXPECT_EQ(present, !e.removed) << e.name;
  }
  EXPECT_TRUE(test::FileExists(base + "pathwarden-0000000000000002/inst")) << "the running program was removed";
  EXPECT_EQ(test::ReadBytes(outside + "keep.txt"), "precious") << "a link was followed";
  if (others) {
    EXPECT_EQ(test::ReadBytes(base + "pathwarden-0000000000000006/theirs.txt"), "theirs");
  }
}

// A subfolder of an earlier folder swapped for a link to another folder
// while the clean-up removes what it listed: the rest of the removal stays
// in the folder that was checked and held; nothing outside is touched.
TEST(SetupStaging, ASubfolderSwappedForALinkDuringTheCleanupIsNotFollowed) {
  SetupRun run = ElevatedRun();
  const std::string outside = test::NewTempDir();
  const std::string folder = run.system_temp_ + "pathwarden-00000000000000c1/";
  const std::string sub = folder + "sub";
  fs::create_directories(sub);
  constexpr int kFiles = 4000;
  for (int i = 0; i < kFiles; ++i) {
    test::WriteBytes(sub + "/f" + std::to_string(i), "");
    test::WriteBytes(outside + "f" + std::to_string(i), "keep");
  }
  // At the first removal in `sub`, it goes elsewhere and a link takes its place.
  int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, sub.c_str(), IN_DELETE), 0);
  std::atomic<bool> swapped{false};
  std::atomic<bool> done{false};
  std::thread swapper([&] {
    struct pollfd ready = {watch, POLLIN, 0};
    while (!done && poll(&ready, 1, 50) == 0) {
    }
    if (done) return;
    fs::rename(sub, folder + "moved");
    fs::create_directory_symlink(outside, sub);
    swapped = true;
  });
  test::RegistryState registry({});
  const int code = run.Run({kElevated});
  done = true;
  swapper.join();
  close(watch);
  ASSERT_EQ(code, 0);
  ASSERT_TRUE(swapped) << "the clean-up removed nothing in the subfolder";
  int kept = 0;
  for (int i = 0; i < kFiles; ++i) kept += test::FileExists(outside + "f" + std::to_string(i)) ? 1 : 0;
  EXPECT_EQ(kept, kFiles) << "files outside the earlier folder were removed through the link";
}

TEST(SetupStaging, NoUsableSystemTemporaryDirectoryMeansNoCopy) {
  const std::string refusal =
      "CSetupDlg::InstallPackage - No usable system temporary directory for the private folder. Quit installation...";
  for (const char* what : {"missing", "too long"}) {
    SetupRun run = ElevatedRun();
    const std::string base =
        std::string(what) == "missing" ? run.system_temp_ + "gone/" : run.system_temp_ + std::string(260, 'd') + "/";
    test::RegistryState registry({});
    ASSERT_EQ(run.Run({kElevated, "VELSETUP_SYSTEM_TEMP=" + base}), 0) << what;
    std::vector<std::string> lines = run.LogLines();
    ASSERT_EQ(lines.size(), 9u) << what << "\n" << Join(lines);
    EXPECT_EQ(lines[5], refusal) << what;
    EXPECT_EQ(run.Started(false), "") << what;
    EXPECT_FALSE(test::FileExists(run.temp_ + "inst.sh")) << what << ": fell back to the user's folder";
  }
}

// Runs at once, elevated: none takes another's folder for an earlier one
// while it copies or starts; every run starts its own whole copy.
TEST(SetupStaging, EightElevatedRunsAtOnceEachStartTheirOwnCopy) {
  SetupRun base = ElevatedRun();
  const std::string installer = test::ReadBytes(TEST_INSTALLER) + std::string(4 << 20, 'p');
  test::WriteBytes(base.package_ + "inst.sh", installer);
  chmod((base.package_ + "inst.sh").c_str(), 0755);
  test::RegistryState registry({});
  constexpr int kRuns = 8;
  std::vector<std::thread> threads;
  std::vector<int> codes(kRuns, -1);
  for (int i = 0; i < kRuns; ++i) {
    threads.emplace_back([&base, &codes, i] {
      SetupRun copy = base;
      codes[i] = copy.Run({kElevated});
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kRuns; ++i) EXPECT_EQ(codes[i], 0) << "run " << i;
  std::string record;
  for (int i = 0; i < 1000 && std::count(record.begin(), record.end(), '\n') < kRuns; ++i) {
    record = test::ReadBytes(base.record_);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), kRuns) << record;
  std::vector<std::string> lines = base.LogLines();
  for (const auto& line : lines) {
    EXPECT_EQ(line.find("failed"), std::string::npos) << line;
    EXPECT_EQ(line.find("Could not"), std::string::npos) << line;
  }
}

}  // namespace
