#include "tests/support/test_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace test {

namespace {

std::mutex g_scratch_mutex;
std::vector<std::string>* g_scratch = new std::vector<std::string>;

// Removes what the test made and ends what it left running.
void CleanUp() {
  internal::EndStrayProcesses();
  std::vector<std::string> dirs;
  {
    std::lock_guard<std::mutex> lock(g_scratch_mutex);
    dirs.swap(*g_scratch);
  }
  for (const std::string& dir : dirs) internal::RemoveTree(dir);
}

// Ends the process, cleaned up, when a test outlives its limit: a hang is
// reported as one, and nothing it made is left behind as a kill would leave it.
class Watchdog {
 public:
  void Arm(const std::string& name) {
    const char* limit = getenv("PATHWARDEN_HANG_SECONDS");
    std::lock_guard<std::mutex> lock(mutex_);
    seconds_ = limit && atoi(limit) > 0 ? atoi(limit) : 60;
    name_ = name;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds_);
    armed_ = true;
    if (!started_) {
      started_ = true;
      std::thread([this] { Watch(); }).detach();
    }
    changed_.notify_all();
  }

  void Disarm() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
    changed_.notify_all();
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (!armed_) {
        changed_.wait(lock);
      } else if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ &&
                 std::chrono::steady_clock::now() >= deadline_) {
        fprintf(stderr, "HANG: %s did not end within %d s; ended it\n", name_.c_str(), seconds_);
        fflush(stderr);
        CleanUp();
        _exit(1);
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool started_ = false;
  bool armed_ = false;
  int seconds_ = 60;
  std::string name_;
  std::chrono::steady_clock::time_point deadline_;
};

// Never destroyed: its thread may outlive main.
Watchdog* const g_watchdog = new Watchdog;

class Hygiene : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo& info) override {
    g_watchdog->Arm(std::string(info.test_suite_name()) + "." + info.name());
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    g_watchdog->Disarm();
    CleanUp();
  }
};

[[maybe_unused]] const bool kHygieneInstalled = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new Hygiene);
  return true;
}();

}  // namespace

namespace internal {

void RememberScratch(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_scratch_mutex);
  g_scratch->push_back(dir);
}

}  // namespace internal

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Utf16Le(const std::string& ascii, bool bom) {
  // Each byte as the character of its value (Latin-1), never sign-extended.
  std::u16string wide;
  for (char c : ascii) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  return Utf16Le(wide, bom);
}

std::string Utf16Le(const std::u16string& text, bool bom) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (char16_t unit : text) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}

int32_t JoinedOnes(size_t count) {
  uint32_t v = 0;
  for (size_t i = 0; i < count; ++i) v = v * 10 + 1;
  return static_cast<int32_t>(v);
}

inline namespace records {

RegValue Version(bool view64, const std::string& key, const std::string& text) {
  return TypedVersion(view64, key, kRegSz, text + std::string(1, '\0'));
}

RegValue TypedVersion(bool view64, const std::string& key, uint32_t type, const std::string& data) {
  return RegValue{view64, key, "Version", type, data};
}

RegValue EmptyKey(bool view64, const std::string& key) { return RegValue{view64, key, "", 0, ""}; }

}  // namespace records

}  // namespace test
