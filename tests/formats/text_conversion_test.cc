// The readers turn a UTF-16 file's text into 8-bit text only through the
// conversion their caller passes (the system's ANSI code page in the
// programs), and leave an 8-bit file's bytes as they are.
#include <gtest/gtest.h>

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "formats/ini_file.h"
#include "formats/registry_export.h"
#include "formats/registry_view.h"
#include "tests/support/test_support.h"

namespace {

// A code page of ASCII alone: every other unit becomes '?', as the system's
// conversion gives a character its code page lacks.
void AsciiOnly(const uint8_t* data, size_t units, bool big_endian, std::string* out) {
  for (size_t i = 0; i < units; ++i) {
    const uint8_t* p = data + 2 * i;
    const unsigned unit = big_endian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
    out->push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
}

// `text` as UTF-16BE with its byte-order mark.
std::string Utf16Be(const std::u16string& text) {
  std::string out = "\xFE\xFF";
  for (char16_t unit : text) {
    out += static_cast<char>(unit >> 8);
    out += static_cast<char>(unit & 0xFF);
  }
  return out;
}

struct Case {
  const char* name;
  std::string file;
  std::string value;  // what the reader gives, "<absent>" when nothing
};

std::string RegistryVersion(const std::string& file) {
  std::vector<formats::RegistryValue> values;
  if (!formats::FindRegistryKey(file, AsciiOnly, "SOFTWARE\\V", &values)) return "<absent>";
  const formats::RegistryValue* v = formats::FindNamedValue(values, "Version");
  return v ? v->data : "<absent>";
}

std::string ProfileVersion(const std::string& file) {
  std::string raw;
  return formats::FindProfileValue(file, AsciiOnly, "FL", "version", &raw) ? raw : "<absent>";
}

TEST(TextConversion, Utf16TextGoesThroughTheCallersConversionOnly) {
  const std::string z(1, '\0');
  const std::u16string e_acute(1, u'\u00E9');
  const std::u16string reg = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\V]\r\n";
  const std::string reg8 = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\V]\r\n";
  const Case registry[] = {
      {"UTF-16 quoted string", test::Utf16Le(reg + u"\"Version\"=\"AP1." + e_acute + u"\"\r\n", true), "AP1.?" + z},
      {"UTF-16 hex(1) string", test::Utf16Le(reg + u"\"Version\"=hex(1):41,00,e9,00,00,00\r\n", true), "A?" + z},
      {"UTF-8 file unchanged", reg8 + "\"Version\"=\"AP1.\xC3\xA9\"\r\n", "AP1.\xC3\xA9" + z},
      {"UTF-8 mark dropped, text unchanged", "\xEF\xBB\xBF" + reg8 + "\"Version\"=\"\xC3\xA9\"\r\n", "\xC3\xA9" + z},
  };
  for (const Case& c : registry) EXPECT_EQ(RegistryVersion(c.file), c.value) << c.name;

  const Case profile[] = {
      {"UTF-16 file", test::Utf16Le(u"[FL]\r\nversion=1." + e_acute + u"\r\n", true), "1.?"},
      {"UTF-16 big-endian file", Utf16Be(u"[FL]\r\nversion=2." + e_acute + u"\r\n"), "2.?"},
      {"UTF-8 file unchanged", "[FL]\r\nversion=1.\xC3\xA9\r\n", "1.\xC3\xA9"},
  };
  for (const Case& c : profile) EXPECT_EQ(ProfileVersion(c.file), c.value) << c.name;
}

}  // namespace
