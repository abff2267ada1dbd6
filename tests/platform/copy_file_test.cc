// The copy renamed into place, against the real CopyFileA and MoveFileExA
// (under Wine) and the POSIX stand-in: paths the system cannot take are
// refused before anything is written, and a failed copy leaves nothing
// behind, a read-only temporary file included.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/system.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Read-only as the system has it: the attribute on Windows, no write bits on
// POSIX.
void MakeReadOnly(const std::string& path) {
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

TEST(CopyFileTo, ARenameThatFailsLeavesNoReadOnlyTemporaryCopy) {
  const std::string source_dir = test::NewTempDir();
  const std::string target_dir = test::NewTempDir();
  const std::string source = source_dir + "inst.exe";
  test::WriteBytes(source, std::string(4096, 'i'));
  MakeReadOnly(source);
  // The target is a directory: the copy beside it succeeds, its rename
  // cannot.
  fs::create_directory(target_dir + "inst.exe");
  EXPECT_FALSE(platform::CopyFileTo(source.c_str(), (target_dir + "inst.exe").c_str()));
  EXPECT_EQ(test::ListDir(target_dir), std::vector<std::string>{"inst.exe"}) << "left beside the target";
  EXPECT_TRUE(fs::is_directory(target_dir + "inst.exe"));
}

// A file copied onto itself, by its own name or another spelling of it,
// is replaced by its own copy, as the Windows side's copy beside it and
// rename onto it do: the same bytes, nothing left beside it.
TEST(CopyFileTo, AFileCopiedOntoItselfKeepsItsBytes) {
  const std::string dir = test::NewTempDir();
  const std::string source = dir + "inst.exe";
  const std::string dot = std::string(".") + platform::kPathSeparator;
  for (const std::string& target : {source, dir + dot + "inst.exe"}) {
    test::WriteBytes(source, std::string(5000, 'i'));
    EXPECT_TRUE(platform::CopyFileTo(source.c_str(), target.c_str())) << target;
    EXPECT_EQ(test::ReadBytes(source), std::string(5000, 'i')) << target;
    EXPECT_EQ(test::ListDir(dir), std::vector<std::string>{"inst.exe"}) << target;
  }
}

TEST(CopyFileTo, PathsTheSystemCannotTakeAreRefusedBeforeAnythingIsWritten) {
  const std::string dir = test::NewTempDir();
  const std::string source = dir + "inst.exe";
  test::WriteBytes(source, "installer");
  // The longest target the system takes (the temporary name is never longer
  // than the target's), one more, and one that would overrun any fixed
  // buffer sized for a path.
  const size_t longest = platform::kMaxPathLength;
  struct Case {
    size_t length;
    bool copied;
  };
  for (const Case& c : {Case{longest, true}, Case{longest + 1, false}, Case{300, false}, Case{600, false}}) {
    ASSERT_LT(dir.size() + 1, c.length);
    const std::string target = dir + std::string(c.length - dir.size(), 't');
    EXPECT_EQ(platform::CopyFileTo(source.c_str(), target.c_str()), c.copied) << "target of " << c.length;
    std::vector<std::string> expected = {"inst.exe"};
    if (c.copied) expected.push_back(target.substr(dir.size()));
    std::vector<std::string> got = test::ListDir(dir);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected) << "target of " << c.length;
    if (c.copied) fs::remove(target);
  }
}

TEST(CopyFileTo, ASourceLongerThanTheSystemTakesIsRefused) {
  const std::string dir = test::NewTempDir();
  // Below the limit in two components, so that the source can exist where
  // the file system allows it (POSIX); on Windows it cannot be made at all.
  const std::string sub = dir + std::string(120, 's');
  fs::create_directory(sub);
  const std::string source =
      sub + platform::kPathSeparator + std::string(platform::kMaxPathLength + 1 - sub.size() - 1, 'i');
  ASSERT_EQ(source.size(), platform::kMaxPathLength + 1);
  std::ofstream(source) << "installer";
  const std::string target = dir + "inst.exe";
  EXPECT_FALSE(platform::CopyFileTo(source.c_str(), target.c_str())) << source;
  EXPECT_FALSE(test::FileExists(target));
}

}  // namespace
