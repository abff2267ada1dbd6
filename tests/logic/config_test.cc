#include <gtest/gtest.h>

#include "logic/config.h"
#include "platform/system.h"
#include "tests/support/test_support.h"

namespace {

TEST(PackageConfig, ReadsTheThreeKeysWithTheirCaseRuleAndLimit) {
  const std::string dir = test::NewTempDir();
  test::WriteBytes(dir + "config.ini",
                   "[fl]\nVersion=1.2.4\nFILE=" + std::string(300, 'f') + "\n[Driver]\nversion=2.0.1\n");
  logic::PackageConfig config(dir + "config.ini");
  EXPECT_EQ(config.Read("FL", "version"), "1.2.4");
  EXPECT_EQ(config.Read("driver", "version"), "2.0.1");
  EXPECT_EQ(config.Read("FL", "file"), std::string(259, 'f'));
  // The shared buffer must not leak a longer earlier value into a shorter one.
  EXPECT_EQ(config.Read("FL", "version"), "1.2.4");
  EXPECT_EQ(config.Read("FL", "missing"), "");
}

TEST(PackageConfig, MissingFileReadsEmpty) {
  logic::PackageConfig config(test::NewTempDir() + "config.ini");
  EXPECT_EQ(config.Read("FL", "version"), "");
  EXPECT_EQ(config.Read("driver", "version"), "");
}

TEST(ExeDirectory, IsTheExecutablesFolderWithItsSeparator) {
  char path[261] = {};
  ASSERT_GT(platform::GetExecutablePath(path, 260), 0u);
  std::string exe = path;
  std::string dir = logic::GetExeDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), platform::kPathSeparator);
  EXPECT_EQ(exe.compare(0, dir.size(), dir), 0) << exe;
  EXPECT_EQ(exe.find(platform::kPathSeparator, dir.size()), std::string::npos) << exe;
}

}  // namespace
