#include "logic/log.h"

#include <string.h>
#include <time.h>

#include <string>

#include "logic/log_texts.h"
#include "platform/log_file.h"
#include "platform/system.h"

char g_szLogPath[kLogPathSize] = "";
int g_bFirstLog = 1;
const char kLogFileName[] = "velsetup.log";

namespace {

enum class TimeText { kBanner, kStamp };

int64_t (*g_clock)() = nullptr;

// The banner line or the timestamp of a message line for `t` in local time;
// empty if the time cannot be converted or the text does not fit in 128.
std::string FormatTime(int64_t t, TimeText kind) {
  struct tm local;
  char buffer[128];
  if (!platform::ToLocalTime(t, &local)) return std::string();
  size_t n = kind == TimeText::kBanner ? strftime(buffer, sizeof buffer, log_text::kBanner, &local)
                                       : strftime(buffer, sizeof buffer, log_text::kStamp, &local);
  return std::string(buffer, n);
}

}  // namespace

void SetLogClockForTesting(int64_t (*clock)()) { g_clock = clock; }

bool SetLogPathFromTempDirectory() {
  g_szLogPath[0] = '\0';
  char temp[kLogPathSize + 1] = {};
  uint32_t n = platform::GetTempDirectory(kLogPathSize, temp);
  if (n == 0 || n >= kLogPathSize) return false;
  if (n + sizeof kLogFileName > kLogPathSize) return false;
  memcpy(g_szLogPath, temp, n);
  memcpy(g_szLogPath + n, kLogFileName, sizeof kLogFileName);
  return true;
}

void WriteLog(const char* path, const char* message) {
  if (!path || !*path) return;
  // One reading for the banner and the line: they show the same second.
  const int64_t now = g_clock ? g_clock() : platform::CurrentTime();
  std::string text;
  const bool first = g_bFirstLog == 1;
  if (first) {
    text += '\n';
    text += log_text::kRule;
    text += '\n';
    text += FormatTime(now, TimeText::kBanner);
    text += '\n';
    text += log_text::kRule;
    text += '\n';
  }
  text += FormatTime(now, TimeText::kStamp);
  text += ' ';
  text += message;
  text += '\n';
  if (!platform::AppendTextToFile(path, text.data(), text.size())) return;
  if (first) g_bFirstLog = 0;
}
