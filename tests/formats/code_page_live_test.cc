// The code page tables against the call they were made from: every UTF-16
// unit alone, and strings of units (surrogate pairs, lone surrogates, mixed
// widths) whole, as WideCharToMultiByte(code_page, 0, ...) converts them on
// this system. Windows only (Wine in the win64 run).
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>

#include "formats/code_page_tables.h"

namespace {

std::string Live(uint32_t code_page, const std::u16string& units) {
  const auto* wide = reinterpret_cast<const wchar_t*>(units.data());
  const int n = static_cast<int>(units.size());
  const int size = WideCharToMultiByte(code_page, 0, wide, n, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return "<failed>";
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(code_page, 0, wide, n, &out[0], size, nullptr, nullptr);
  return out;
}

std::string Table(uint32_t code_page, const std::u16string& units) {
  std::string out;
  formats::AppendUtf16InCodePage(*formats::FindCodePageTable(code_page), units.data(), units.size(), &out);
  return out;
}

std::string Hex(const std::u16string& units) {
  std::string out;
  char unit[8];
  for (char16_t u : units) {
    snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(u));
    out += unit;
  }
  return out;
}

const uint32_t kCodePages[] = {1252, 932, 65001};

TEST(CodePageLive, EveryUnitAsTheSystemConvertsIt) {
  for (uint32_t code_page : kCodePages) {
    ASSERT_NE(formats::FindCodePageTable(code_page), nullptr) << code_page;
    int differences = 0;
    for (uint32_t u = 0; u <= 0xFFFF && differences < 20; ++u) {
      const std::u16string unit(1, static_cast<char16_t>(u));
      const std::string live = Live(code_page, unit);
      if (live == Table(code_page, unit)) continue;
      ++differences;
      ADD_FAILURE() << "code page " << code_page << " unit " << Hex(unit) << "gives " << testing::PrintToString(live)
                    << ", the table " << testing::PrintToString(Table(code_page, unit));
    }
  }
}

// Units from the ranges that matter: ASCII, Latin, fullwidth forms, kanji,
// and surrogates, in pairs and alone.
TEST(CodePageLive, StringsAsTheSystemConvertsThem) {
  const char16_t kPicks[][2] = {{0x20, 0x7F},     {0x80, 0x1FF},    {0x3000, 0x30FF}, {0x4E00, 0x4FFF},
                                {0xD800, 0xDBFF}, {0xDC00, 0xDFFF}, {0xFF00, 0xFFFF}};
  std::mt19937 random(25);
  for (uint32_t code_page : kCodePages) {
    for (int round = 0; round < 2000; ++round) {
      std::u16string units;
      const int length = 1 + static_cast<int>(random() % 8);
      for (int i = 0; i < length; ++i) {
        const auto& pick = kPicks[random() % (sizeof kPicks / sizeof kPicks[0])];
        units += static_cast<char16_t>(pick[0] + random() % (pick[1] - pick[0] + 1));
      }
      if (round % 4 == 0) units += u"\xD83D\xDE00";  // a whole pair
      ASSERT_EQ(Table(code_page, units), Live(code_page, units)) << "code page " << code_page << ": " << Hex(units);
    }
  }
}

// Setup reads the registry with RegQueryValueExA, not WideCharToMultiByte:
// the same strings stored as UTF-16 and read back with the A call must give
// what the table of this system's code page gives.
TEST(CodePageLive, TheAnsiRegistryCallGivesWhatTheTableGives) {
  const uint32_t code_page = GetACP();
  if (!formats::FindCodePageTable(code_page)) GTEST_SKIP() << "no table for this system's code page " << code_page;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\PathwardenCodePageTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::u16string texts[] = {u"AP\uFF12.0.5",
                                  u"\u00C4\u00D6"
                                  u"5.9",
                                  u"\uFF13\uFF0E\uFF10", u"\u00E9\xD83D\xDE00\xDE00\u4E00\u20AC\u0101"};
  for (const std::u16string& text : texts) {
    const std::u16string stored = text + u'\0';
    ASSERT_EQ(RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(stored.data()),
                             static_cast<DWORD>(stored.size() * 2)),
              ERROR_SUCCESS);
    char bytes[64] = {};
    DWORD size = sizeof bytes;
    ASSERT_EQ(RegQueryValueExA(key, "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(bytes), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(bytes, size), Table(code_page, stored)) << "code page " << code_page << ": " << Hex(text);
  }
  RegCloseKey(key);
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\PathwardenCodePageTest");
}

}  // namespace
