#include <gtest/gtest.h>

#include <string>

#include "formats/ascii.h"

namespace {

struct FoldCase {
  std::string a;
  std::string b;
  bool equal;        // EqualsNoCase(a, b)
  bool starts_with;  // StartsWithNoCase(a, b)
};

TEST(Ascii, FoldsAsciiLettersOnly) {
  const FoldCase cases[] = {
      {"Version", "version", true, true},
      {"VERSION", "Version", true, true},
      {"VersionInfo", "Version", false, true},
      {"Versio", "Version", false, false},
      {"", "", true, true},
      {"a", "", false, true},
      {"", "a", false, false},
      {"@[\\]^_", "`{|}~\x7f", false, false},  // one bit apart from the letters' case, not letters
      {"\xC9", "\xE9", false, false},          // Latin-1 letters are not folded
      {"\xE9", "\xE9", true, true},
      {std::string("a\0b", 3), "A", false, true},  // a zero is a byte like any other
      {std::string("a\0b", 3), std::string("A\0B", 3), true, true},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE", "hkey_local_machine\\", false, true},
      {"ZAza", "zaZA", true, true},
  };
  for (const FoldCase& c : cases) {
    EXPECT_EQ(formats::EqualsNoCase(c.a, c.b), c.equal) << "\"" << c.a << "\" vs \"" << c.b << "\"";
    EXPECT_EQ(formats::EqualsNoCase(c.b, c.a), c.equal) << "\"" << c.b << "\" vs \"" << c.a << "\"";
    EXPECT_EQ(formats::StartsWithNoCase(c.a, c.b), c.starts_with) << "\"" << c.a << "\" starts with \"" << c.b << "\"";
  }
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    const char want = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : ch;
    EXPECT_EQ(formats::AsciiLower(ch), want) << "byte " << c;
  }
  EXPECT_EQ(formats::AsciiLowerCopy("Veltrano\\WOW6432Node\xC9"), "veltrano\\wow6432node\xC9");
}

}  // namespace
