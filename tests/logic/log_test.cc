#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <regex>
#include <string>
#include <vector>

#include "logic/log.h"
#include "platform/system.h"
#include "tests/support/test_support.h"

namespace {

const std::string kRule(71, '=');

// A clock that moves on a day, an hour, a minute and a second at every
// reading, so that two readings never show the same date or time.
int64_t g_ticks = 0;
int64_t TickingClock() { return g_ticks += 3661 + 86400; }

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::NewTempDir();
    path_ = dir_ + "velsetup.log";
    logic::g_bFirstLog = 1;
    g_ticks = 1700000000;
    logic::SetLogClockForTesting(TickingClock);
  }
  void TearDown() override {
    logic::g_bFirstLog = 1;
    logic::SetLogClockForTesting(nullptr);
  }

  // The file with the platform's line ends turned into '\n'.
  std::string Content() const {
    std::string raw = test::ReadBytes(path_);
    std::string eol = test::LineEnd();
    std::string out;
    for (size_t i = 0; i < raw.size();) {
      if (raw.compare(i, eol.size(), eol) == 0) {
        out += '\n';
        i += eol.size();
      } else {
        out += raw[i++];
      }
    }
    return out;
  }

  std::string dir_;
  std::string path_;
};

const char kStamp[] = R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\t )";

TEST_F(LogTest, FirstMessageOfAProcessCreatesTheFileWithTheBanner) {
  logic::WriteLog(path_.c_str(), "CSetupDlg::OnInitDialog");
  std::string content = Content();
  std::regex expected("\n" + kRule + R"(\n(\d{4}/\d{2}/\d{2})\t(\d{2}:\d{2}:\d{2})\tPathwarden Installer\n)" + kRule +
                      R"(\n(\d{4}/\d{2}/\d{2}) (\d{2}:\d{2}:\d{2})\t CSetupDlg::OnInitDialog\n)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(content, m, expected)) << content;
  EXPECT_EQ(m[1], m[3]) << "banner and first line share one date";
  EXPECT_EQ(m[2], m[4]) << "banner and first line share one time";
  EXPECT_EQ(logic::g_bFirstLog, 0);
  // The file's raw bytes use the platform's line ends throughout.
  std::string raw = test::ReadBytes(path_);
  EXPECT_EQ(raw.substr(0, std::string(test::LineEnd()).size()), test::LineEnd());
}

TEST_F(LogTest, LaterMessagesAreOneLineEachAndKeepPercentSigns) {
  logic::WriteLog(path_.c_str(), "first");
  logic::WriteLog(path_.c_str(), "100% %s %d %n done");
  logic::WriteLog(path_.c_str(), "");
  std::string content = Content();
  std::regex expected("\n" + kRule + "\n.*\n" + kRule + "\n" + kStamp + "first\n" + kStamp + "100% %s %d %n done\n" +
                      kStamp + "\n");
  EXPECT_TRUE(std::regex_match(content, expected)) << content;
}

TEST_F(LogTest, ASecondRunAppendsWithANewBanner) {
  test::WriteBytes(path_, "old content\n");
  logic::WriteLog(path_.c_str(), "one");
  logic::g_bFirstLog = 1;  // a new process
  logic::WriteLog(path_.c_str(), "two");
  std::string content = Content();
  std::string block = "\n" + kRule + "\n[^\n]*Pathwarden Installer\n" + kRule + "\n" + kStamp;
  EXPECT_TRUE(std::regex_match(content, std::regex("old content\n" + block + "one\n" + block + "two\n"))) << content;
}

TEST_F(LogTest, UnopenableFileDropsTheMessageAndKeepsTheBannerForLater) {
  std::string missing = dir_ + "no-such-dir" + platform::kPathSeparator + "velsetup.log";
  logic::WriteLog(missing.c_str(), "lost");
  EXPECT_EQ(logic::g_bFirstLog, 1);
  EXPECT_FALSE(test::FileExists(missing));
  logic::WriteLog(path_.c_str(), "kept");
  EXPECT_TRUE(std::regex_match(Content(), std::regex("\n" + kRule + "\n.*\n" + kRule + "\n" + kStamp + "kept\n")));
}

TEST_F(LogTest, EmptyPathWritesNothing) {
  logic::WriteLog("", "nowhere");
  EXPECT_EQ(logic::g_bFirstLog, 1);
}

TEST_F(LogTest, VeryLongMessagesAreWrittenWhole) {
  std::string message(5000, 'x');
  logic::WriteLog(path_.c_str(), message.c_str());
  EXPECT_NE(Content().find(message + "\n"), std::string::npos);
}

#ifdef _WIN32
const char kTempVariable[] = "TMP";  // the first place GetTempPathA looks
const std::string kRoot = "C:\\";
#else
const char kTempVariable[] = "TMPDIR";
const std::string kRoot = "/";
#endif

// A directory path of `length` characters, its closing separator included.
std::string PathOfLength(size_t length) {
  return kRoot + std::string(length - kRoot.size() - 1, 'd') + platform::kPathSeparator;
}

struct TempCase {
  const char* name;
  const char* value;  // the variable; null: unset
  std::string temp;   // what GetTempDirectory gives; empty: none fits in 260
  bool log_fits;
};

TEST(LogPath, IsTheTemporaryDirectoryWithTheFileNameOrEmpty) {
  const std::string sep(1, platform::kPathSeparator);
  const std::string plain = kRoot + "tmpx", closed = plain + sep, len247 = PathOfLength(247),
                    len248 = PathOfLength(248), len300 = PathOfLength(300);
  const std::vector<TempCase> cases = {
      {"without its closing separator", plain.c_str(), plain + sep, true},
      {"with its closing separator", closed.c_str(), plain + sep, true},
      // 247 + "velsetup.log" is 259 characters: the longest path that fits.
      {"247 characters", len247.c_str(), len247, true},
      {"248 characters: the log path would not fit", len248.c_str(), len248, false},
      {"300 characters: none, never a cut one", len300.c_str(), "", false},
#ifndef _WIN32
      {"unset", nullptr, "/tmp/", true},
      {"empty", "", "/tmp/", true},
#endif
  };
  const char* saved = getenv(kTempVariable);
  const std::string restore = saved ? saved : "";
  for (const TempCase& c : cases) {
    test::SetEnv(kTempVariable, c.value);
    char temp[300];
    memset(temp, '#', sizeof temp);
    uint32_t n = platform::GetTempDirectory(temp, 260);
    if (c.temp.empty()) {
      EXPECT_TRUE(n == 0 || n > 260) << c.name << ": " << n;
      EXPECT_EQ(std::string(temp, sizeof temp), std::string(sizeof temp, '#')) << c.name << ": the buffer was written";
    } else {
      EXPECT_EQ(std::string(temp, n), c.temp) << c.name;
      EXPECT_EQ(temp[n], '\0') << c.name;
    }
    EXPECT_EQ(logic::SetLogPathFromTempDirectory(), c.log_fits) << c.name;
    EXPECT_EQ(std::string(logic::g_szLogPath), c.log_fits ? c.temp + "velsetup.log" : "") << c.name;
  }
  test::SetEnv(kTempVariable, saved ? restore.c_str() : nullptr);
}

}  // namespace
