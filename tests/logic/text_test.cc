#include <gtest/gtest.h>
#include <stdarg.h>
#include <string.h>

#include "logic/text.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(CompareNoCase, OrdersByteByByteWithAsciiLettersFolded) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  };
  const Case cases[] = {
      {"2.1.0", "2.0.9", 1},
      {"9.0", "10.0", 1},    // the digit 9 sorts after the digit 1
      {"1.0", "1.0.5", -1},  // a text that ends first sorts first
      {"0.0.0", "1.0.5", -1},
      {"1.0A", "1.0a", 0},
      {"ABC", "abd", -1},
      {"Z", "a", 1},     // folded: z after a
      {"[", "a", -1},    // '[' (0x5B) stays below 'a' once Z is folded
      {"_", "A", -1},    // '_' (0x5F) below 'a', although above 'A'
      {"\xE9", "a", 1},  // bytes compare unsigned
      {"", "", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(logic::CompareNoCase(c.a, c.b)), c.expected) << "\"" << c.a << "\" vs \"" << c.b << "\"";
    EXPECT_EQ(Sign(logic::CompareNoCase(c.b, c.a)), -c.expected) << "\"" << c.b << "\" vs \"" << c.a << "\"";
  }
}

TEST(FindLastSeparator, FindsTheLastSeparatorCharacter) {
  EXPECT_EQ(logic::FindLastSeparator("C:\\pkg\\setup.exe", '\\'), 6u);
  EXPECT_EQ(logic::FindLastSeparator("setup.exe", '\\'), std::string::npos);
  EXPECT_EQ(logic::FindLastSeparator("/a/b/", '/'), 4u);
}

TEST(StringPrintf, NeverCutsLongMessages) {
  std::string path(1000, 'p');
  std::string s = logic::StringPrintf("CopyFile from %s to %s", path.c_str(), path.c_str());
  EXPECT_EQ(s.size(), 14 + 1000 + 4 + 1000u);
  EXPECT_EQ(logic::StringPrintf("%s", "100%"), "100%");
  // Around the sizes a C library's own buffers might have.
  for (size_t n : {255u, 256u, 257u, 511u, 512u, 513u, 1023u, 1024u, 1025u, 4096u, 65537u}) {
    std::string text(n, 'x');
    text.back() = 'y';
    EXPECT_EQ(logic::StringPrintf("%s", text.c_str()), text) << n << " characters";
  }
}

// The conversions the log's lines use, in the system C library's dialect.
TEST(StringPrintf, FormatsTheLogsConversions) {
  struct Case {
    std::string got;
    const char* expected;
  };
  const Case cases[] = {
      {logic::StringPrintf("<%d>", -2147483647 - 1), "<-2147483648>"},
      {logic::StringPrintf("<%d>, <%d>", 0, 2147483647), "<0>, <2147483647>"},
      {logic::StringPrintf("<%u>", 4294967295u), "<4294967295>"},
      {logic::StringPrintf("<%lu>", 4294967295ul), "<4294967295>"},
      {logic::StringPrintf("%02x%02x%02x", 0, 10, 255), "000aff"},
      {logic::StringPrintf("<%s> %s.", "", "is empty"), "<> is empty."},
      {logic::StringPrintf("100%%"), "100%"},
      {logic::StringPrintf("%s", "\x83\x5C"), "\x83\x5C"},  // bytes pass as they are
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);
  EXPECT_EQ(logic::StringPrintf("%s", ""), "");
}

int Format(char* buffer, size_t size, const char* format, ...) __attribute__((format(PLATFORM_PRINTF_FORMAT, 3, 4)));
int Format(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = platform::FormatText(buffer, size, format, args);
  va_end(args);
  return n;
}

// Never a cut or unterminated text, never a byte past the buffer: a C
// library may fill the buffer exactly and leave out the zero.
TEST(FormatText, WritesOnlyAWholeTextAndAlwaysItsZero) {
  struct Case {
    size_t size;
    const char* expected;
  };
  const Case cases[] = {{1, ""}, {5, ""}, {6, ""}, {7, "abcdef"}, {8, "abcdef"}};
  for (const Case& c : cases) {
    char buffer[16];
    memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(Format(buffer, c.size, "abc%s", "def"), 6) << "size " << c.size;
    EXPECT_STREQ(buffer, c.expected) << "size " << c.size;
    for (size_t i = c.size; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 'X') << "size " << c.size << ", byte " << i;
  }
  EXPECT_EQ(Format(nullptr, 0, "<%d>", 12345), 7);
}

}  // namespace
