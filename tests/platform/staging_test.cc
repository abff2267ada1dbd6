// The staging header's promises, one table against both implementations
// (the Windows one under Wine): the system's temporary folder as the buffer
// allows it, and the private folder made new, or refused with what was at
// its path left as it was.
#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>
#include <string>

#include "platform/staging.h"
#include "platform/system.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Only the buffer limits the answer: too small gives the capacity needed,
// with the buffer untouched; large enough gives the folder, separator last.
TEST(Staging, SystemTempDirectoryIsLimitedByTheBufferOnly) {
  char probe[1024];
  const uint32_t length = platform::GetSystemTempDirectory(probe, sizeof probe);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, sizeof probe);
  const std::string folder(probe, length);
  EXPECT_EQ(folder.back(), platform::kPathSeparator);
  EXPECT_TRUE(fs::is_directory(folder)) << folder;
  struct Row {
    uint32_t size;
    bool fits;
  };
  for (const Row& r :
       {Row{0, false}, Row{1, false}, Row{length, false}, Row{length + 1, true}, Row{length + 2, true}}) {
    char buffer[1024];
    memset(buffer, 'x', sizeof buffer);
    const uint32_t n = platform::GetSystemTempDirectory(buffer, r.size);
    if (r.fits) {
      EXPECT_EQ(std::string(buffer, n + 1), folder + '\0') << "size " << r.size;
    } else {
      EXPECT_GE(n, r.size) << "size " << r.size;
      EXPECT_EQ(buffer[0], 'x') << "size " << r.size << ": the buffer was written";
    }
  }
}

#ifndef _WIN32
// The stand-in's folder comes from the environment: one of 260 or more
// bytes is the buffer's business alone, as on Windows, where the Windows
// folder is never that long but "Temp" may take it there.
TEST(Staging, ALongSystemTempDirectoryFitsALargeBuffer) {
  std::string deep = test::NewTempDir();
  while (deep.size() < platform::kPathBufferSize + 20) {
    deep += std::string(60, 'd') + "/";
    fs::create_directory(deep);
  }
  test::SetEnv("VELSETUP_SYSTEM_TEMP", deep.c_str());
  char buffer[1024];
  const uint32_t n = platform::GetSystemTempDirectory(buffer, sizeof buffer);
  ASSERT_LT(n, sizeof buffer) << "a folder of " << deep.size() << " bytes refused";
  EXPECT_EQ(std::string(buffer, n), deep) << "a folder of " << deep.size() << " bytes";
  EXPECT_EQ(platform::GetSystemTempDirectory(buffer, static_cast<uint32_t>(deep.size())), deep.size() + 1);
  test::SetEnv("VELSETUP_SYSTEM_TEMP", nullptr);
}
#endif

TEST(Staging, APrivateFolderIsMadeNewOrRefused) {
  enum class Before { kNothing, kFolder, kFile, kNoParent };
  struct Row {
    const char* name;
    Before before;
    bool made;
  };
  const Row rows[] = {
      {"a new name", Before::kNothing, true},
      {"a folder there already", Before::kFolder, false},
      {"a file there already", Before::kFile, false},
      {"no folder to make it in", Before::kNoParent, false},
  };
  const std::string dir = test::NewTempDir();
  int index = 0;
  for (const Row& r : rows) {
    std::string path = dir + "private" + std::to_string(index++);
    if (r.before == Before::kFolder) {
      fs::create_directory(path);
      test::WriteBytes(path + platform::kPathSeparator + "inside", "kept");
    }
    if (r.before == Before::kFile) test::WriteBytes(path, "kept");
    if (r.before == Before::kNoParent) path += std::string(1, platform::kPathSeparator) + "below";
    platform::DirectoryHold hold;
    bool owned_by_account = true;
    EXPECT_EQ(platform::CreatePrivateDirectory(path.c_str(), &hold, &owned_by_account), r.made) << r.name;
    if (r.made) {
      EXPECT_TRUE(fs::is_directory(path)) << r.name;
      EXPECT_NE(*hold.receive(), -1) << r.name << ": made but not held";
    } else {
      EXPECT_NE(platform::GetLastSystemError(), 0u) << r.name << ": no reason given";
      EXPECT_EQ(*hold.receive(), -1) << r.name << ": refused but held";
    }
    if (r.before == Before::kFolder) {
      EXPECT_EQ(test::ReadBytes(path + platform::kPathSeparator + "inside"), "kept");
    }
    if (r.before == Before::kFile) {
      EXPECT_EQ(test::ReadBytes(path), "kept") << r.name;
    }
    if (r.before == Before::kNoParent) {
      EXPECT_FALSE(fs::exists(path)) << r.name;
    }
    hold.Release();
  }
}

}  // namespace
