// The one conversion of names from the system (platform/names_win.h) against
// the real code pages under Wine: exact names pass unchanged, names a code
// page cannot show are refused rather than mapped to a look-alike, and UTF-8
// (65001) works, where the best-fit flag would make every call fail.
#include "platform/names_win.h"
#include "platform/system.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ExactAnsiName, KeepsExactNamesAndRefusesLookAlikes) {
  struct Case {
    const char* what;
    uint32_t code_page;
    const wchar_t* wide;
    const char* expected;  // null: refused as inexact
  };
  const Case cases[] = {
      {"fullwidth A in 1252", 1252, L"C:\\pkg\xFF21\\", nullptr},
      {"a-umlaut in 1252", 1252, L"C:\\K\xE4se\\", "C:\\K\xE4se\\"},
      {"a-umlaut in UTF-8", CP_UTF8, L"C:\\K\xE4se\\", "C:\\K\xC3\xA4se\\"},
      {"fullwidth A in UTF-8", CP_UTF8, L"C:\\pkg\xFF21\\", "C:\\pkg\xEF\xBC\xA1\\"},
      {"a lone surrogate in UTF-8", CP_UTF8, L"C:\\\xD800x", nullptr},
      {"a kanji whose trail byte is a backslash in 932", 932, L"\x8868.exe", "\x95\x5C.exe"},
      {"a-umlaut in 932", 932, L"K\xE4se", nullptr},
      {"fullwidth A in 932", 932, L"\xFF21", "\x82\x60"},
  };
  for (const Case& c : cases) {
    char buffer[MAX_PATH * 4] = "untouched";
    const uint32_t n = platform::ExactAnsiName(c.code_page, c.wide, wcslen(c.wide), buffer, sizeof buffer);
    if (!c.expected) {
      EXPECT_EQ(n, 0u) << c.what << ": " << buffer;
      EXPECT_EQ(GetLastError(), platform::kErrorNoExactName) << c.what;
      EXPECT_STREQ(buffer, "") << c.what;
    } else {
      EXPECT_EQ(std::string(buffer, n), c.expected) << c.what;
      EXPECT_EQ(buffer[n], '\0') << c.what;
    }
  }
}

TEST(ExactAnsiName, ANameThatDoesNotFitIsRefused) {
  char buffer[8] = "x";
  EXPECT_EQ(platform::ExactAnsiName(1252, L"C:\\12345678", 11, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(platform::ExactAnsiName(1252, L"C:\\123", 6, buffer, sizeof buffer), 6u);
  EXPECT_STREQ(buffer, "C:\\123");
}

}  // namespace
