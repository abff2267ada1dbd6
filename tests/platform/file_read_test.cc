// The whole-file read, against the real CreateFileA and ReadFile (under Wine)
// and the POSIX stand-in: the same rows, the same answers, except where the
// header says the systems differ (the path's limit).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_read.h"
#include "platform/system.h"
#include "tests/support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using platform::FileRead;

const char* Name(FileRead r) {
  switch (r) {
    case FileRead::kRead:
      return "read";
    case FileRead::kCannotOpen:
      return "cannot open";
    case FileRead::kNotAFile:
      return "not a file";
    case FileRead::kTooLarge:
      return "too large";
    case FileRead::kReadError:
      return "read error";
  }
  return "?";
}

// Bytes a text-mode read would change (CR LF, a lone CR, NUL, Ctrl-Z) and
// one past every chunk boundary a reader might use.
std::string Awkward(size_t size) {
  std::string bytes;
  const char pattern[] = {'\r', '\n', '\0', '\x1A', '\r', 'a', '\xFF', '\n'};
  for (size_t i = 0; i < size; ++i) bytes.push_back(pattern[i % sizeof pattern]);
  return bytes;
}

TEST(FileRead, AFileIsReadWholeUpToTheLimitAndRefusedPastIt) {
  const std::string dir = test::NewTempDir();
  struct Row {
    size_t size;
    uint64_t limit;
    FileRead want;
  };
  const Row rows[] = {
      {0, 0, FileRead::kRead},
      {0, 10, FileRead::kRead},
      {1, 0, FileRead::kTooLarge},
      {10, 10, FileRead::kRead},
      {11, 10, FileRead::kTooLarge},
      {65536, 65536, FileRead::kRead},
      {65537, 65536, FileRead::kTooLarge},
      {200000, 1u << 20, FileRead::kRead},
      {200000, 199999, FileRead::kTooLarge},
  };
  for (const Row& r : rows) {
    const std::string path = dir + "f" + std::to_string(r.size);
    test::WriteBytes(path, Awkward(r.size));
    std::string out = "stale";
    const FileRead got = platform::ReadWholeFile(path.c_str(), r.limit, &out);
    EXPECT_STREQ(Name(got), Name(r.want)) << r.size << " bytes, limit " << r.limit;
    if (r.want == FileRead::kRead) {
      EXPECT_EQ(out, Awkward(r.size)) << r.size << " bytes, limit " << r.limit;
    }
  }
}

TEST(FileRead, WhatIsNoPlainFileIsRefusedAndAMissingOneNamesWhy) {
  const std::string dir = test::NewTempDir();
  std::string out;
  EXPECT_STREQ(Name(platform::ReadWholeFile(dir.c_str(), 1000, &out)), Name(FileRead::kNotAFile)) << dir;
  const std::string folder = dir + "folder";
  fs::create_directory(folder);
  EXPECT_STREQ(Name(platform::ReadWholeFile(folder.c_str(), 1000, &out)), Name(FileRead::kNotAFile)) << folder;
  std::string reason;
  const std::string missing = dir + "missing.log";
  EXPECT_STREQ(Name(platform::ReadWholeFile(missing.c_str(), 1000, &out, &reason)), Name(FileRead::kCannotOpen));
  EXPECT_FALSE(reason.empty()) << "no reason for " << missing;
  EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << reason;
#ifndef _WIN32
  // A pipe with no writer: refused at once, never waited on.
  const std::string fifo = dir + "pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_STREQ(Name(platform::ReadWholeFile(fifo.c_str(), 1000, &out)), Name(FileRead::kNotAFile));
#endif
}

// A log another process still writes to is read as it stands.
TEST(FileRead, AFileOpenForWritingElsewhereIsRead) {
  const std::string path = test::NewTempDir() + "velsetup.log";
  test::WriteBytes(path, "first\r\n");
#ifdef _WIN32
  HANDLE writer = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
#else
  std::ofstream writer(path, std::ios::app | std::ios::binary);
  ASSERT_TRUE(writer.is_open());
#endif
  std::string out;
  EXPECT_STREQ(Name(platform::ReadWholeFile(path.c_str(), 1000, &out)), Name(FileRead::kRead));
  EXPECT_EQ(out, "first\r\n");
#ifdef _WIN32
  CloseHandle(writer);
#endif
}

// Paths at the limit: one of kMaxPathLength characters is read on both
// systems; one longer only where the header says there is no limit.
TEST(FileRead, PathsAtTheSystemsLimit) {
  std::string dir = test::NewTempDir();
  while (dir.size() < platform::kMaxPathLength - 20) {
    dir += std::string(std::min<size_t>(40, platform::kMaxPathLength - 20 - dir.size()), 'd');
    dir += platform::kPathSeparator;
    fs::create_directory(dir);
  }
  for (size_t length :
       {static_cast<size_t>(platform::kMaxPathLength), static_cast<size_t>(platform::kPathBufferSize)}) {
    const std::string path = dir + std::string(length - dir.size(), 'n');
#ifdef _WIN32
    // Made through the wide call's long form, which the A calls lack: the
    // file is there, and the reader still cannot name it.
    const std::wstring wide = L"\\\\?\\" + std::wstring(path.begin(), path.end());
    HANDLE made = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(made, INVALID_HANDLE_VALUE) << length << " characters";
    CloseHandle(made);
    const FileRead want = length < platform::kPathBufferSize ? FileRead::kRead : FileRead::kCannotOpen;
#else
    test::WriteBytes(path, "");
    const FileRead want = FileRead::kRead;
#endif
    std::string out;
    EXPECT_STREQ(Name(platform::ReadWholeFile(path.c_str(), 10, &out)), Name(want)) << length << " characters";
#ifdef _WIN32
    DeleteFileW(wide.c_str());
#else
    fs::remove(path);
#endif
  }
}

}  // namespace
