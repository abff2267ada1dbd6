#include <gtest/gtest.h>

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
    EXPECT_EQ(Sign(CompareNoCase(c.a, c.b)), c.expected) << "\"" << c.a << "\" vs \"" << c.b << "\"";
    EXPECT_EQ(Sign(CompareNoCase(c.b, c.a)), -c.expected) << "\"" << c.b << "\" vs \"" << c.a << "\"";
  }
}

TEST(FindLastSeparator, FindsTheLastSeparatorCharacter) {
  EXPECT_EQ(FindLastSeparator("C:\\pkg\\setup.exe", '\\'), 6u);
  EXPECT_EQ(FindLastSeparator("setup.exe", '\\'), std::string::npos);
  EXPECT_EQ(FindLastSeparator("/a/b/", '/'), 4u);
}

TEST(StringPrintf, NeverCutsLongMessages) {
  std::string path(1000, 'p');
  std::string s = StringPrintf("CopyFile from %s to %s", path.c_str(), path.c_str());
  EXPECT_EQ(s.size(), 14 + 1000 + 4 + 1000u);
  EXPECT_EQ(StringPrintf("%s", "100%"), "100%");
}

}  // namespace
