// The code page tables and the export lookup: what Windows' conversion is
// documented to give (the code pages' own mappings and best fit), and the
// invariants the replay rests on. The tables against the live call:
// code_page_live_test.cc, under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/code_page_tables.h"
#include "formats/export_lookup.h"
#include "formats/registry_access.h"

namespace {

using formats::CodePageTable;
using formats::FindCodePageTable;

std::string InCodePage(uint32_t code_page, const std::u16string& units) {
  const CodePageTable* table = FindCodePageTable(code_page);
  std::string out;
  if (table) formats::AppendUtf16InCodePage(*table, units.data(), units.size(), &out);
  return out;
}

TEST(CodePageTables, GiveWhatTheCodePagesDefine) {
  struct Row {
    uint32_t code_page;
    std::u16string units;
    std::string bytes;
  };
  const std::vector<Row> rows = {
      {1252, u"AP2.0.5", "AP2.0.5"},
      {1252, u"\u00C4\u00D6\u00E9", "\xC4\xD6\xE9"},
      {1252, u"\u20AC", "\x80"},                   // the euro sign
      {1252, u"\uFF12\uFF0E\uFF10", "2.0"},        // best fit: fullwidth to ASCII
      {1252, u"\u4E00", "?"},                      // not in the code page
      {1252, u"\xD83D\xDE00", "??"},               // a pair: each unit alone
      {932, u"\uFF12\uFF0E", "\x82\x51\x81\x44"},  // fullwidth forms are characters of 932
      {932, u"\u3042\u4E00", "\x82\xA0\x88\xEA"},  // hiragana a, the kanji one
      {932, u"\uFF61", "\xA1"},                    // halfwidth katakana: one byte
      {932, u"\u00E9\u00A5", "e\\"},               // best fit
      {932, u"\xDE00", "?"},                       // a lone surrogate
      {65001, u"\u00E9\uFF12", "\xC3\xA9\xEF\xBC\x92"},
      {65001, u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},  // a pair is one character in UTF-8
      {65001, u"\xD83D", "\xEF\xBF\xBD"},            // alone: U+FFFD
  };
  for (const Row& r : rows) {
    EXPECT_EQ(InCodePage(r.code_page, r.units), r.bytes) << r.code_page << " row of " << r.units.size() << " units";
  }
  EXPECT_EQ(FindCodePageTable(1251), nullptr);
  EXPECT_EQ(FindCodePageTable(0), nullptr);
  EXPECT_EQ(formats::CodePageTableNames(), "1252, 932 and 65001");
}

// What the replay rests on: ASCII as it is in every code page, and a lone
// surrogate giving what U+FFFD gives (the export reader hands over UTF-8, in
// which a lone surrogate has become U+FFFD). The tables sorted, each entry
// an exception to the rule it is left out by.
TEST(CodePageTables, KeepAsciiAndTheirOwnRules) {
  for (uint32_t code_page : {1252u, 932u}) {
    const CodePageTable* table = FindCodePageTable(code_page);
    ASSERT_NE(table, nullptr) << code_page;
    for (char16_t u = 0; u < 0x80; ++u) {
      EXPECT_EQ(InCodePage(code_page, std::u16string(1, u)), std::string(1, static_cast<char>(u)))
          << code_page << " unit " << static_cast<int>(u);
    }
    const std::string replacement = InCodePage(code_page, u"\uFFFD");
    EXPECT_EQ(replacement, std::string(1, static_cast<char>(table->default_char))) << code_page;
    for (char32_t u = 0xD800; u <= 0xDFFF; ++u) {
      EXPECT_EQ(InCodePage(code_page, std::u16string(1, static_cast<char16_t>(u))), replacement)
          << code_page << " unit " << std::hex << static_cast<int>(u);
    }
    for (size_t i = 0; i < table->count; ++i) {
      const formats::CodePageEntry& e = table->entries[i];
      if (i) {
        EXPECT_LT(table->entries[i - 1].unit, e.unit) << code_page << " entry " << i;
      }
      const unsigned rule = e.unit < 0x80 ? e.unit : table->default_char;
      EXPECT_NE(e.bytes, rule) << code_page << " entry " << i << " repeats the rule";
    }
  }
}

TEST(CodePageTables, ReadUtf8AsTheUnitsItHolds) {
  const CodePageTable& cp1252 = *FindCodePageTable(1252);
  const CodePageTable& cp932 = *FindCodePageTable(932);
  const CodePageTable& utf8 = *FindCodePageTable(65001);
  EXPECT_EQ(formats::Utf8InCodePage(cp1252, std::string("\xC3\x84\xC3\x96"
                                                        "5.9\0 9",
                                                        10)),
            std::string("\xC4\xD6"
                        "5.9\0 9",
                        8));
  EXPECT_EQ(formats::Utf8InCodePage(cp1252, "\xEF\xBC\x93\xEF\xBC\x8E"), "3.");
  EXPECT_EQ(formats::Utf8InCodePage(cp1252, "\xF0\x9F\x98\x80"), "??");  // one character, two units
  EXPECT_EQ(formats::Utf8InCodePage(cp1252,
                                    "\xED\xA0\x80"
                                    "1"),
            "???1");  // ill-formed bytes, each U+FFFD
  EXPECT_EQ(formats::Utf8InCodePage(cp932,
                                    "\xEF\xBC\x95"
                                    "1.2"),
            "\x82\x54"
            "1.2");
  EXPECT_EQ(formats::Utf8InCodePage(utf8, "\xC3\xA9\xFF"), "\xC3\xA9\xEF\xBF\xBD");
  EXPECT_TRUE(formats::IsAscii("AP2.0.5"));
  EXPECT_FALSE(formats::IsAscii("AP\xE9"));
}

TEST(ExportLookup, TellsAnAnsiExportByItsHeader) {
  struct Row {
    std::string bytes;
    bool ansi;
  };
  const std::vector<Row> rows = {
      {"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n", true},
      {"\r\n; made by hand\r\n  REGEDIT4  \r\n", true},
      {"\xEF\xBB\xBFREGEDIT4\n", true},
      {"Windows Registry Editor Version 5.00\r\n", false},
      {"REGEDIT4x\r\n", false},
      {"; REGEDIT4\r\nWindows Registry Editor Version 5.00\r\n", false},
      {std::string("\xFF\xFER\0E\0G\0E\0D\0I\0T\0"
                   "4\0",
                   18),
       false},  // UTF-16: Unicode whatever it says
      {"", false},
  };
  for (const Row& r : rows) EXPECT_EQ(formats::IsAnsiExport(r.bytes), r.ansi) << r.bytes;
}

TEST(ExportLookup, FindsAKeyInTheFirstExportThatHoldsItsView) {
  std::vector<formats::RegistryExport> exports(2);
  ASSERT_TRUE(exports[0].Read("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\V]\r\n\"Version\"=\"64\"\r\n",
                              formats::AppendUtf16AsUtf8));
  ASSERT_TRUE(
      exports[1].Read("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\V]\r\n\"Version\"=\"32\"\r\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\V]\r\n\"Version\"=\"late\"\r\n",
                      formats::AppendUtf16AsUtf8));
  struct Row {
    uint32_t access;
    bool wow64;
    std::string data;  // "" for not found
    size_t which;
  };
  const std::vector<Row> rows = {
      {formats::kKeyRead | formats::kKeyWow64_64Key, true, std::string("64\0", 3), 0},
      {formats::kKeyRead, true, std::string("32\0", 3), 1},
      {formats::kKeyRead, false, std::string("64\0", 3), 0},  // one view: the key where it is
  };
  for (const Row& r : rows) {
    std::vector<formats::RegistryValue> values;
    size_t which = 99;
    ASSERT_TRUE(
        formats::FindKeyInView(exports.data(), exports.size(), "SOFTWARE\\V", r.access, r.wow64, &values, &which))
        << r.access << " " << r.wow64;
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].data, r.data);
    EXPECT_EQ(which, r.which);
  }
  std::vector<formats::RegistryValue> values(1);
  EXPECT_FALSE(formats::FindKeyInView(exports.data(), exports.size(), "SOFTWARE\\W", formats::kKeyRead, true, &values));
  EXPECT_TRUE(values.empty());
  EXPECT_FALSE(formats::FindKeyInView(exports.data(), 0, "SOFTWARE\\V", formats::kKeyRead, true, &values));
}

}  // namespace
