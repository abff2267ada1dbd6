#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "logic/log.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace {

const std::string kRule(71, '=');

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::NewTempDir();
    path_ = dir_ + "velsetup.log";
    g_bFirstLog = 1;
  }
  void TearDown() override { g_bFirstLog = 1; }

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
  WriteLog(path_.c_str(), "CSetupDlg::OnInitDialog");
  std::string content = Content();
  std::regex expected("\n" + kRule + R"(\n(\d{4}/\d{2}/\d{2})\t(\d{2}:\d{2}:\d{2})\tPathwarden Installer\n)" + kRule +
                      R"(\n(\d{4}/\d{2}/\d{2}) (\d{2}:\d{2}:\d{2})\t CSetupDlg::OnInitDialog\n)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(content, m, expected)) << content;
  EXPECT_EQ(m[1], m[3]) << "banner and first line share one date";
  EXPECT_EQ(m[2], m[4]) << "banner and first line share one time";
  EXPECT_EQ(g_bFirstLog, 0);
  // The file's raw bytes use the platform's line ends throughout.
  std::string raw = test::ReadBytes(path_);
  EXPECT_EQ(raw.substr(0, std::string(test::LineEnd()).size()), test::LineEnd());
}

TEST_F(LogTest, LaterMessagesAreOneLineEachAndKeepPercentSigns) {
  WriteLog(path_.c_str(), "first");
  WriteLog(path_.c_str(), "100% %s %d %n done");
  WriteLog(path_.c_str(), "");
  std::string content = Content();
  std::regex expected("\n" + kRule + "\n.*\n" + kRule + "\n" + kStamp + "first\n" + kStamp + "100% %s %d %n done\n" +
                      kStamp + "\n");
  EXPECT_TRUE(std::regex_match(content, expected)) << content;
}

TEST_F(LogTest, ASecondRunAppendsWithANewBanner) {
  test::WriteBytes(path_, "old content\n");
  WriteLog(path_.c_str(), "one");
  g_bFirstLog = 1;  // a new process
  WriteLog(path_.c_str(), "two");
  std::string content = Content();
  std::string block = "\n" + kRule + "\n[^\n]*Pathwarden Installer\n" + kRule + "\n" + kStamp;
  EXPECT_TRUE(std::regex_match(content, std::regex("old content\n" + block + "one\n" + block + "two\n"))) << content;
}

TEST_F(LogTest, UnopenableFileDropsTheMessageAndKeepsTheBannerForLater) {
  std::string missing = dir_ + "no-such-dir" + platform::kPathSeparator + "velsetup.log";
  WriteLog(missing.c_str(), "lost");
  EXPECT_EQ(g_bFirstLog, 1);
  EXPECT_FALSE(test::FileExists(missing));
  WriteLog(path_.c_str(), "kept");
  EXPECT_TRUE(std::regex_match(Content(), std::regex("\n" + kRule + "\n.*\n" + kRule + "\n" + kStamp + "kept\n")));
}

TEST_F(LogTest, EmptyPathWritesNothing) {
  WriteLog("", "nowhere");
  EXPECT_EQ(g_bFirstLog, 1);
}

TEST_F(LogTest, VeryLongMessagesAreWrittenWhole) {
  std::string message(5000, 'x');
  WriteLog(path_.c_str(), message.c_str());
  EXPECT_NE(Content().find(message + "\n"), std::string::npos);
}

TEST(LogPath, IsTheTemporaryDirectoryWithTheFileNameOrEmpty) {
  char temp[261] = {};
  uint32_t n = platform::GetTempDirectory(260, temp);
  ASSERT_GT(n, 0u);
  ASSERT_TRUE(SetLogPathFromTempDirectory());
  EXPECT_EQ(std::string(g_szLogPath), std::string(temp) + "velsetup.log");
}

}  // namespace
