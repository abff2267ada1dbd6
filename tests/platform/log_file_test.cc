// The log file's promises, one table against both implementations (the
// Windows one under Wine): what an append and a file made new do to what is
// already at the path, and that an elevated run's lines follow the folder
// its first line was written to.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/log_file.h"
#include "platform/system.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

enum class Before { kNothing, kFile, kFolder };

struct Row {
  const char* name;
  Before before;
  platform::LogOpen how;
  bool written;
  std::string after;  // the file's bytes afterwards, line ends as LF
};

// LF as the platform's text mode writes it.
std::string AsWritten(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += test::LineEnd();
    if (c != '\n') out.push_back(c);
  }
  return out;
}

TEST(LogFile, AppendsOrMakesNewAsTheHeaderSays) {
  const Row rows[] = {
      {"append to nothing makes the file", Before::kNothing, platform::LogOpen::kAppend, true, "line\n"},
      {"append goes after what is there", Before::kFile, platform::LogOpen::kAppend, true, "old\nline\n"},
      {"make new where nothing is", Before::kNothing, platform::LogOpen::kCreateNew, true, "line\n"},
      {"make new over a file leaves it", Before::kFile, platform::LogOpen::kCreateNew, false, "old\n"},
      {"append to a folder is refused", Before::kFolder, platform::LogOpen::kAppend, false, ""},
      {"make new over a folder is refused", Before::kFolder, platform::LogOpen::kCreateNew, false, ""},
  };
  const std::string dir = test::NewTempDir();
  int index = 0;
  for (const Row& r : rows) {
    const std::string path = dir + "log" + std::to_string(index++) + ".log";
    if (r.before == Before::kFile) test::WriteBytes(path, AsWritten("old\n"));
    if (r.before == Before::kFolder) fs::create_directory(path);
    EXPECT_EQ(platform::WriteTextFile(path.c_str(), "line\n", 5, r.how), r.written) << r.name;
    if (r.before == Before::kFolder) {
      EXPECT_TRUE(fs::is_directory(path)) << r.name;
    } else {
      EXPECT_EQ(test::ReadBytes(path), AsWritten(r.after)) << r.name;
    }
  }
}

// Many lines at once, from many threads: each whole, none lost.
TEST(LogFile, ConcurrentLinesArriveWhole) {
  const std::string path = test::NewTempDir() + "many.log";
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&path, t] {
      const std::string line = std::string(100, static_cast<char>('a' + t)) + "\n";
      for (int i = 0; i < 50; ++i) platform::AppendTextToFile(path.c_str(), line.c_str(), line.size());
    });
  }
  for (std::thread& w : writers) w.join();
  const std::string bytes = test::ReadBytes(path);
  const std::string end = test::LineEnd();
  const size_t stride = 100 + end.size();
  ASSERT_EQ(bytes.size(), 200 * stride);
  for (size_t at = 0; at < bytes.size(); at += stride) {
    const std::string line = bytes.substr(at, stride);
    EXPECT_EQ(line, std::string(100, line[0]) + end) << "line at byte " << at;
  }
}

// An elevated run walks the log's folder once and holds it: a folder put
// in its place by name later gets none of the run's lines.
TEST(LogFile, AnElevatedRunsLinesFollowTheFolderOfItsFirst) {
  test::SetEnv("VELSETUP_ELEVATED", "1");  // the stand-in's elevation; Wine's prefix runs as an administrator
  if (!platform::IsElevated()) GTEST_SKIP() << "not elevated";
  const std::string dir = test::NewTempDir();
  const std::string folder = dir + "logs";
  fs::create_directory(folder);
  const std::string path = folder + platform::kPathSeparator + "velsetup.log";
  ASSERT_TRUE(platform::AppendTextToFile(path.c_str(), "first\n", 6));
  fs::rename(folder, dir + "moved");
  fs::create_directory(folder);
  const bool second = platform::AppendTextToFile(path.c_str(), "second\n", 7);
  EXPECT_FALSE(test::FileExists(path)) << "a line went to the folder now at the path";
  const std::string moved = test::ReadBytes(dir + "moved" + platform::kPathSeparator + "velsetup.log");
#ifdef _WIN32
  // Wine refuses an open relative to a held folder renamed since: the line
  // is lost, never misdirected.
  EXPECT_EQ(moved, AsWritten(second ? "first\nsecond\n" : "first\n"));
#else
  EXPECT_TRUE(second);
  EXPECT_EQ(moved, AsWritten("first\nsecond\n"));
#endif
  test::SetEnv("VELSETUP_ELEVATED", nullptr);
}

}  // namespace
