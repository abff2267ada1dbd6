// The system header's promises, one table against both implementations (the
// Windows one under Wine): each failing call leaves its own reason in
// GetLastSystemError, never an earlier call's, and the path calls take the
// buffer first and never write past the size they are given.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <string>

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "tests/support/test_support.h"

namespace {

#ifdef _WIN32
constexpr uint32_t kNotFound = 2;       // ERROR_FILE_NOT_FOUND
constexpr uint32_t kPathNotFound = 3;   // ERROR_PATH_NOT_FOUND
constexpr uint32_t kNameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE
#else
constexpr uint32_t kNotFound = 2;      // ENOENT
constexpr uint32_t kPathNotFound = 2;  // ENOENT
constexpr uint32_t kNameTooLong = 36;  // ENAMETOOLONG
#endif
constexpr uint32_t kInsufficientBuffer = 122;  // what the profile reader's refusal gives on both

TEST(System, EachFailureLeavesItsOwnReason) {
  const std::string dir = test::NewTempDir();
  const std::string missing = dir + "missing";
  const std::string long_name(platform::kPathBufferSize + 1, 's');
  char buffer[16];
  struct Row {
    const char* name;
    std::function<bool()> fails;
    uint32_t reason;
  };
  const Row rows[] = {
      {"delete a missing file", [&] { return !platform::DeleteFileByPath(missing.c_str()); }, kNotFound},
      {"folder under a missing one",
       [&] { return !platform::CreateDirectoryByPath((missing + platform::kPathSeparator + "x").c_str()); },
       kPathNotFound},
      {"copy to a target too long",
       [&] { return !platform::CopyFileTo(missing.c_str(), (dir + std::string(300, 't')).c_str()); }, kNameTooLong},
      {"profile section too long",
       [&] {
         return platform::ReadProfileString(long_name.c_str(), "k", "d", buffer, sizeof buffer,
                                            (dir + "a.ini").c_str()) == 0;
       },
       kInsufficientBuffer},
  };
  // Each row after each other row: a reason left from the one before must
  // not be taken for the row's own.
  for (const Row& before : rows) {
    for (const Row& r : rows) {
      ASSERT_TRUE(before.fails()) << before.name;
      ASSERT_TRUE(r.fails()) << r.name;
      EXPECT_EQ(platform::GetLastSystemError(), r.reason) << r.name << " after " << before.name;
    }
  }
}

TEST(System, TemporaryDirectoryTakesTheBufferFirst) {
  platform::PathBuffer whole = {};
  const uint32_t length = platform::GetTempDirectory(whole, platform::kPathBufferSize);
  ASSERT_GT(length, 0u);
  ASSERT_LE(length, platform::kMaxPathLength);
  EXPECT_EQ(whole[length - 1], platform::kPathSeparator);
  for (uint32_t size : {0u, 1u, length, length + 1}) {
    char buffer[platform::kPathBufferSize + 8];
    memset(buffer, 'x', sizeof buffer);
    const uint32_t n = platform::GetTempDirectory(buffer, size);
    if (size > length) {
      EXPECT_EQ(std::string(buffer, n + 1), std::string(whole, length) + '\0') << "size " << size;
    } else {
      EXPECT_GE(n, size) << "size " << size;
      EXPECT_EQ(buffer[0], 'x') << "size " << size << ": the buffer was written";
    }
    EXPECT_EQ(buffer[size > length ? length + 1 : 0], 'x') << "size " << size << ": written past its end";
  }
}

}  // namespace
