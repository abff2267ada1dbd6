#include <gtest/gtest.h>

#include "logic/version.h"

namespace {

struct Case {
  const char* text;
  int32_t expected;
};

TEST(ParseVersion, JoinsDigitsAndReadsLikeAtoiWithWrapAround) {
  const Case cases[] = {
      {"1.2.3", 123},
      {"1.2.3.4", 1234},
      {"10.0.1", 1001},
      {"2.0", 20},
      {"1.10.0", 1100},
      {"2.0.0", 200},
      {"", 0},
      {"0.0.0", 0},
      {"...", 0},
      {" 4.5", 45},
      {"\t\n\v\f\r 7", 7},
      {"-1.2", -12},
      {"+1.2", 12},
      {"-.1", -1},
      {". 4.5", 45},
      {"1.2 beta", 12},
      {"1.2.3b", 123},
      {"r2.0", 0},
      {"--1", 0},
      {"+-1", 0},
      {"- 1", 0},
      {"1 2", 1},
      {"\xA0"
       "1",
       0},
      // Joined digits at and beyond 2^31 and 2^32 wrap modulo 2^32.
      {"2147483647", 2147483647},
      {"2.147.483.648", INT32_MIN},
      {"4294967295", -1},
      {"4.294.967.296", 0},
      {"4294967297", 1},
      {"-2147483648", INT32_MIN},
      {"-4294967296", 0},
      {"99999999999999999999", static_cast<int32_t>(0x630FFFFFu)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(logic::ParseVersion(c.text), c.expected) << "version text \"" << c.text << "\"";
  }
}

TEST(ParseVersion, NullTextIsZero) { EXPECT_EQ(logic::ParseVersion(nullptr), 0); }

}  // namespace
