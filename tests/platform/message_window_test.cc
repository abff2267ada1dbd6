// The POSIX stand-in for the hidden dialog's message loop and SendMessageA,
// and the setup window built on it.
#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "logic/install.h"
#include "logic/log.h"
#include "platform/message_window_posix.h"
#include "shell/setup_window_posix.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace {

struct Handled {
  std::atomic<int> count{0};
  std::thread::id thread;
};

intptr_t CountMessage(void* context, uint32_t, uintptr_t, intptr_t) {
  auto* handled = static_cast<Handled*>(context);
  handled->thread = std::this_thread::get_id();
  ++handled->count;
  return 7;
}

// The log at `path` without its time stamps: one text per line.
std::string LogTexts(const std::string& path) {
  static const std::regex stamp(R"(\d{4}/\d{2}/\d{2}[ \t]\d{2}:\d{2}:\d{2}\t ?)");
  return std::regex_replace(test::ReadBytes(path), stamp, "");
}

TEST(MessageWindow, ASendToAWindowThatHasEndedReturnsZeroAtOnce) {
  Handled handled;
  platform::MessageWindow window(CountMessage, &handled);
  int result = 0;
  std::thread loop([&] { result = window.RunModal(); });
  EXPECT_EQ(platform::SendMessageSync(window.handle(), 1, 0, 0), 7) << "a live window answers";
  EXPECT_EQ(handled.thread, loop.get_id()) << "handled on the loop's own thread";
  window.EndModal(4);
  loop.join();
  EXPECT_EQ(result, 4);
  const auto begun = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::SendMessageSync(window.handle(), logic::WM_SETUP_FINISH, 0, 0), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(1));
  EXPECT_EQ(handled.count, 1) << "nothing handled after the end";
}

TEST(MessageWindow, TheWorkerFinishesWhenTheModalRunEndedBeforeItsFinishRequest) {
  // Another program closed the window while the worker was still busy.
  const std::string dir = test::NewTempDir();
  snprintf(logic::g_szLogPath, sizeof logic::g_szLogPath, "%svelsetup.log", dir.c_str());
  logic::g_bFirstLog = 0;
  Handled handled;
  platform::MessageWindow window(CountMessage, &handled);
  window.EndModal(1);
  EXPECT_EQ(window.RunModal(), 1);
  platform::ScopedThread worker;
  ASSERT_TRUE(logic::StartInstallWorker(window.handle(), &worker));
  worker.Join();
  const std::string log = LogTexts(logic::g_szLogPath);
  EXPECT_EQ(log.rfind(test::kStart + "\n", 0), 0u) << log;
  EXPECT_NE(log.find("\n" + test::kEnd + "\n"), std::string::npos) << log;
  EXPECT_EQ(handled.count, 0) << "the finish request reached no handler";
  logic::g_szLogPath[0] = '\0';
  logic::g_bFirstLog = 1;
}

uint32_t ReturnAtOnce(void*) { return 0; }

TEST(SetupWindow, AWorkerThatCannotStartIsLoggedAndTheModalRunEnds) {
  const std::string dir = test::NewTempDir();
  const char* saved = getenv("TMPDIR");
  const std::string restore = saved ? saved : "";
  test::SetEnv("TMPDIR", dir.c_str());
  logic::g_bFirstLog = 1;
  platform::ScopedThread busy;  // a worker already runs on it: a second cannot start
  ASSERT_TRUE(busy.Start(ReturnAtOnce, nullptr));
  EXPECT_EQ(RunSetupWindow(&busy), kSetupCancelled);
  test::SetEnv("TMPDIR", saved ? restore.c_str() : nullptr);
  const std::string log = LogTexts(dir + "velsetup.log");
  const std::regex expected(
      "\n={71}\nPathwarden Installer\n={71}\nCSetupDlg::OnInitDialog\n"
      "CSetupDlg::OnInitDialog - Could not start the install worker, error <\\d+>\\. Quit installation\\.\\.\\.\n");
  EXPECT_TRUE(std::regex_match(log, expected)) << log;
  logic::g_szLogPath[0] = '\0';
  logic::g_bFirstLog = 1;
}

}  // namespace
