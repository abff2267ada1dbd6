#include <gtest/gtest.h>

#include <ctype.h>
#include <locale.h>
#include <stdlib.h>
#include <string.h>

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

// The copy's temporary name: never longer than the name beside it, the
// prefix when there is room for a digit after it, hexadecimal digits only.
TEST(Ascii, HexTempNameFitsTheRoomGiven) {
  struct NameCase {
    size_t room;
    uint32_t seed;
    const char* want;  // null: only the shape is fixed
  };
  const NameCase cases[] = {
      {0, 0x12345678, ""},        {1, 0x12345678, "8"},
      {2, 0x12345678, "~8"},      {9, 0x12345678, "~87654321"},  // the low digit first
      {16, 0x12345678, nullptr},  {17, 0x12345678, nullptr},
      {259, 0x12345678, nullptr}, {259, 0, nullptr},
  };
  for (const NameCase& c : cases) {
    char out[32];
    memset(out, '#', sizeof out);
    const size_t n = formats::HexTempName('~', c.seed, c.room, out);
    const size_t length = c.room < 17 ? c.room : 17;
    ASSERT_EQ(n, length) << "room " << c.room;
    EXPECT_EQ(out[n], '\0') << "room " << c.room << ": no terminating zero";
    EXPECT_EQ(out[n + 1], '#') << "room " << c.room << ": wrote past the zero";
    const std::string name(out, n);
    if (c.want) {
      EXPECT_EQ(name, c.want) << "room " << c.room;
    }
    for (size_t i = 0; i < n; ++i) {
      if (i == 0 && n > 1) {
        EXPECT_EQ(name[0], '~') << "room " << c.room;
      } else {
        EXPECT_NE(std::string("0123456789abcdef").find(name[i]), std::string::npos)
            << "room " << c.room << ": " << name;
      }
    }
  }
  // The second eight digits are not the first eight again, and two seeds
  // give two names.
  char a[18];
  char b[18];
  formats::HexTempName('~', 0x12345678, 17, a);
  formats::HexTempName('~', 0x12345679, 17, b);
  EXPECT_NE(std::string(a + 1, 8), std::string(a + 9, 8)) << std::string(a, 17);
  EXPECT_NE(std::string(a, 17), std::string(b, 17));
}

// The readers' two sets of white space and the hexadecimal digits, against
// the C library in the C locale for every byte: the export skips isblank,
// the profile reader and the version number skip isspace, and no byte past
// 0x7F is either (a lead byte of a double-byte character must never be).
TEST(Ascii, WhiteSpaceAndHexDigitsAreTheCLocalesForEveryByte) {
  ASSERT_NE(setlocale(LC_CTYPE, "C"), nullptr);
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    EXPECT_EQ(formats::IsAsciiBlank(ch), isblank(c) != 0) << "byte " << c;
    EXPECT_EQ(formats::IsAsciiSpace(ch), isspace(c) != 0) << "byte " << c;
    const char text[2] = {ch, '\0'};
    const int want = isxdigit(c) ? static_cast<int>(strtol(text, nullptr, 16)) : -1;
    EXPECT_EQ(formats::HexValue(ch), want) << "byte " << c;
    EXPECT_EQ(formats::IsLowerHexDigit(ch), isxdigit(c) && !isupper(c)) << "byte " << c;
  }
  // The rows the readers depend on, spelled out.
  EXPECT_FALSE(formats::IsAsciiBlank('\v')) << "a vertical tab is no blank in an export line";
  EXPECT_TRUE(formats::IsAsciiSpace('\v')) << "a vertical tab is trimmed from a profile value";
  EXPECT_FALSE(formats::IsAsciiSpace('\xA0')) << "no-break space of code page 1252";
  EXPECT_FALSE(formats::IsLowerHexDigit('A')) << "names carry lower-case digits only";
}

// What HexDigit writes HexValue reads back, for the low four bits of any value.
TEST(Ascii, HexDigitAndHexValueRoundTrip) {
  const unsigned values[] = {0, 1, 9, 10, 15, 16, 0xAB, 0xFFFFFFFFu};
  for (unsigned v : values) {
    const char digit = formats::HexDigit(v);
    EXPECT_TRUE(formats::IsLowerHexDigit(digit)) << "value " << v;
    EXPECT_EQ(formats::HexValue(digit), static_cast<int>(v & 0xF)) << "value " << v;
    EXPECT_EQ(formats::HexValue(static_cast<char>(toupper(digit))), static_cast<int>(v & 0xF))
        << "upper-case digit of value " << v;
  }
}

// Where the last component begins: past the last of either separator, 0
// with none; the trail byte of a double-byte character (0x5C may be one)
// never counts, and wide text is searched the same way.
TEST(LastComponentStart, FindsTheLastSeparatorOutsideDoubleByteCharacters) {
  struct Row {
    std::string text;
    size_t start;
  };
  const auto lead = [](char c) { return static_cast<unsigned char>(c) == 0x83; };  // one lead byte, as in code page 932
  const Row rows[] = {
      {"", 0},
      {"name", 0},
      {"\\", 1},
      {"C:\\dir\\name", 7},
      {"C:\\dir/name", 7},
      {"dir\\", 4},
      {"a\\\x83\\", 2},      // the separator after the lead byte is its trail
      {"a\\\x83\\b\\c", 6},  // a separator after the character counts
      {"a\\b\x83", 2},       // a lead byte at the end has no trail to skip
  };
  for (const Row& r : rows) {
    EXPECT_EQ(formats::LastComponentStart(r.text.data(), r.text.size(), '\\', '/', lead), r.start) << r.text;
  }
  const std::u16string wide = u"\\??\\C:\\logs\\velsetup.log";
  EXPECT_EQ(formats::LastComponentStart(wide.data(), wide.size(), u'\\', u'\\'), 12u);
  EXPECT_EQ(formats::LastComponentStart("/var/tmp/x", 10, '/', '/'), 9u);
}

}  // namespace
