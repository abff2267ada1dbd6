#include "logic/log.h"

#include <string.h>
#include <time.h>

#include <string>

#include "logic/log_texts.h"
#include "logic/text.h"
#include "platform/log_file.h"
#include "platform/system.h"

namespace logic {

char g_szLogPath[kLogPathSize] = "";
int g_bFirstLog = 1;

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

// The message line for `message`, after the run banner when `banner`.
std::string LogText(int64_t now, bool banner, const char* message) {
  std::string text;
  if (banner) {
    text += '\n';
    text += log_text::kRule;
    text += '\n';
    text += FormatTime(now, TimeText::kBanner);
    text += '\n';
    text += log_text::kRule;
    text += '\n';
  }
  text += FormatTime(now, TimeText::kStamp);
  text += log_text::kMessageLead;
  text += message;
  text += '\n';
  return text;
}

// Where an elevated run's lines go once g_szLogPath's file could not be
// trusted; empty until then.
char g_fallback_path[kLogPathSize] = "";

// An elevated run's log whose file cannot be trusted: in the system's
// temporary folder anyone may make velsetup.log first, as a file or a
// folder. Its lines go to "velsetup-<16 hex digits>.log" made new beside it,
// where nobody can have made that entry for it, with the reason after the
// first; the planted entry is left as it is. False if no such file can be
// made.
bool WriteToNewLog(int64_t now, const char* message, uint32_t error) {
  const std::string log = g_szLogPath;
  const size_t slash = FindLastSeparator(log, platform::kPathSeparator);
  if (slash == std::string::npos) return false;
  std::string text = LogText(now, true, message);
  text += LogText(now, false, StringPrintf(log_text::kLogNotTrusted, log.c_str(), error).c_str());
  for (int attempt = 0; attempt < 4; ++attempt) {
    const std::string hex = RandomHex();
    const std::string path = log.substr(0, slash + 1) + "velsetup-" + hex + ".log";
    if (hex.empty() || path.size() >= kLogPathSize) return false;
    if (platform::CreateTextFile(path.c_str(), text.data(), text.size())) {
      memcpy(g_fallback_path, path.c_str(), path.size() + 1);
      return true;
    }
  }
  return false;
}

}  // namespace

void SetLogClockForTesting(int64_t (*clock)()) { g_clock = clock; }

bool SetLogPathFromTempDirectory() {
  g_szLogPath[0] = '\0';
  char temp[kLogPathSize + 1] = {};
  uint32_t n = platform::GetTempDirectory(temp, kLogPathSize);
  if (n == 0 || n >= kLogPathSize) return false;
  if (n + sizeof kLogFileName > kLogPathSize) return false;
  memcpy(g_szLogPath, temp, n);
  memcpy(g_szLogPath + n, kLogFileName, sizeof kLogFileName);
  return true;
}

void WriteLog(const char* path, const char* message) {
  if (!path || !*path) return;
  const bool own_log = strcmp(path, g_szLogPath) == 0;
  if (own_log && g_fallback_path[0]) path = g_fallback_path;
  // One reading for the banner and the line: they show the same second.
  const int64_t now = g_clock ? g_clock() : platform::CurrentTime();
  const bool first = g_bFirstLog == 1;
  const std::string text = LogText(now, first, message);
  if (!platform::AppendTextToFile(path, text.data(), text.size())) {
    const uint32_t error = platform::GetLastSystemError();
    if (!own_log || g_fallback_path[0] || !platform::IsElevated() || !WriteToNewLog(now, message, error)) return;
  }
  g_bFirstLog = 0;
}

void Log(const std::string& message) { WriteLog(g_szLogPath, message.c_str()); }

}  // namespace logic
