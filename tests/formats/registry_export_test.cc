#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "formats/ascii.h"
#include "formats/registry_export.h"
#include "formats/registry_view.h"
#include "tests/support/test_support.h"

namespace {

using formats::FindRegistryKey;
using formats::RegistryValue;

const char kV5[] = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string z(1, '\0');

using Named = std::vector<std::pair<std::string, std::string>>;  // (name, data bytes)

struct Case {
  const char* name;
  std::string file;
  const char* key;
  bool exists;
  Named values;  // every value of the key, in the order read
};

// One line per value, the data's bytes in hex: a failure shows every byte.
std::string Show(const Named& values) {
  std::string out;
  for (const auto& [name, data] : values) {
    out += name + " =";
    for (unsigned char b : data) out += std::string(" ") + formats::HexDigit(b >> 4) + formats::HexDigit(b);
    out += "\n";
  }
  return out;
}

TEST(RegistryExport, ReadsKeysAndValuesAsTheAnsiCallGivesThem) {
  const std::string k = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\K]\r\n";
  const Case cases[] = {
      {"quoted string",
       std::string(kV5) + k + "\"Version\"=\"1.2.3\"\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "1.2.3" + z}}},
      {"escapes in strings",
       std::string(kV5) + k + "\"Version\"=\"a\\\\b\\\"c\"\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "a\\b\"c" + z}}},
      {"UTF-16 file",
       test::Utf16Le(std::string(kV5) + k + "\"Version\"=\"AP1.0\"\r\n", true),
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "AP1.0" + z}}},
      {"UTF-16 non-ASCII string to UTF-8",
       test::Utf16Le(std::string(kV5) + k + "\"Version\"=\"", true) + std::string("\xE9\x00\"\x00\r\x00\n\x00", 8),
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "\xC3\xA9" + z}}},
      {"key names ignore case",
       std::string(kV5) + "[hkey_local_machine\\software\\v\\k]\r\n\"VERSION\"=\"9\"\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"VERSION", "9" + z}}},
      {"dword",
       std::string(kV5) + k + "\"Version\"=dword:00332e31\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "1.3" + z}}},
      {"binary", std::string(kV5) + k + "\"Version\"=hex:41,50,31\r\n", "SOFTWARE\\V\\K", true, {{"Version", "AP1"}}},
      {"hex(1) as UTF-16",
       std::string(kV5) + k + "\"Version\"=hex(1):31,00,2e,00,32,00,00,00\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "1.2" + z}}},
      {"hex(2) as UTF-16",
       std::string(kV5) + k + "\"Version\"=hex(2):33,00,00,00\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "3" + z}}},
      {"hex(7) keeps every zero",
       std::string(kV5) + k + "\"Version\"=hex(7):31,00,00,00,32,00,00,00,00,00\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "1" + z + "2" + z + z}}},
      {"hex(b) unchanged",
       std::string(kV5) + k + "\"Version\"=hex(b):01,02,03,04,05,06,07,08\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "\x01\x02\x03\x04\x05\x06\x07\x08"}}},
      {"continued hex lines",
       std::string(kV5) + k + "\"Version\"=hex(1):31,00,2e,00,\\\r\n  32,00,00,00\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "1.2" + z}}},
      {"REGEDIT4 strings are ANSI",
       "REGEDIT4\r\n\r\n" + k + "\"Version\"=hex(1):31,2e,32,00\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "1.2" + z}}},
      {"LF line ends",
       std::string("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n\"Version\"=\"1\"\n"),
       "A",
       true,
       {{"Version", "1" + z}}},
      {"later definition wins",
       std::string(kV5) + k + "\"Version\"=\"1\"\r\n" + k + "\"Version\"=\"2\"\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "2" + z}}},
      {"deleted value", std::string(kV5) + k + "\"Version\"=\"1\"\r\n\"Version\"=-\r\n", "SOFTWARE\\V\\K", true, {}},
      {"deleted key",
       std::string(kV5) + k + "\"Version\"=\"1\"\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\V]\r\n",
       "SOFTWARE\\V\\K",
       false,
       {}},
      {"key implied by a subkey",
       std::string(kV5) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\K\\Sub]\r\n\"Version\"=\"1\"\r\n",
       "SOFTWARE\\V\\K",
       true,
       {}},
      {"a prefix of the name is another key",
       std::string(kV5) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\KK]\r\n",
       "SOFTWARE\\V\\K",
       false,
       {}},
      {"other root",
       std::string(kV5) + "[HKEY_CURRENT_USER\\SOFTWARE\\V\\K]\r\n\"Version\"=\"1\"\r\n",
       "SOFTWARE\\V\\K",
       false,
       {}},
      {"no header",
       std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\K]\r\n\"Version\"=\"1\"\r\n"),
       "SOFTWARE\\V\\K",
       false,
       {}},
      {"malformed hex skipped", std::string(kV5) + k + "\"Version\"=hex:4g,50\r\n", "SOFTWARE\\V\\K", true, {}},
      {"dword too long skipped", std::string(kV5) + k + "\"Version\"=dword:123456789\r\n", "SOFTWARE\\V\\K", true, {}},
      {"unterminated string skipped", std::string(kV5) + k + "\"Version\"=\"1.2\r\n", "SOFTWARE\\V\\K", true, {}},
      {"empty file", "", "SOFTWARE\\V\\K", false, {}},
      {"longer names beside Version",
       std::string(kV5) + k + "\"VersionInfo\"=\"9\"\r\n\"Version\"=\"1\"\r\n\"Versio\"=\"8\"\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"VersionInfo", "9" + z}, {"Version", "1" + z}, {"Versio", "8" + z}}},
      {"only a longer name",
       std::string(kV5) + k + "\"VersionInfo\"=\"9\"\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"VersionInfo", "9" + z}}},
      // regedit continues value data only: the header after such a comment counts.
      {"comment ending in a backslash",
       std::string(kV5) + "; exported by \\\r\n" + k + "\"Version\"=\"2\"\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "2" + z}}},
      {"header ending in a backslash is not joined",
       std::string(kV5) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\X\\\r\n" + k + "\"Version\"=\"3\"\r\n",
       "SOFTWARE\\V\\K",
       true,
       {{"Version", "3" + z}}},
  };
  for (const Case& c : cases) {
    std::vector<RegistryValue> values;
    EXPECT_EQ(FindRegistryKey(c.file, formats::AppendUtf16AsUtf8, c.key, &values), c.exists) << c.name;
    Named got;
    for (const RegistryValue& v : values) got.emplace_back(v.name, v.data);
    EXPECT_EQ(Show(got), Show(c.values)) << c.name;
  }
}

// The wanted name is a C string: whatever lies past its end must not count.
TEST(RegistryView, FindsValuesByTheWholeNameOnly) {
  const std::vector<RegistryValue> values = {{"VersionInfo", 1, "9"}, {"VERSION", 1, "1"}};
  struct Lookup {
    const char* wanted;
    const char* found;  // the data, or null
  };
  char padded[32] = "Version";  // zeros after the name, as in any larger buffer
  const char* const versio = "Versio";
  const Lookup lookups[] = {{"Version", "1"},  {"version", "1"},          {padded, "1"},
                            {versio, nullptr}, {"VersionInfo2", nullptr}, {"", nullptr}};
  for (const Lookup& l : lookups) {
    const RegistryValue* v = formats::FindNamedValue(values, l.wanted);
    EXPECT_EQ(v ? v->data : "<none>", l.found ? l.found : "<none>") << "\"" << l.wanted << "\"";
  }
  const std::vector<RegistryValue> only_longer = {{"VersionInfo", 1, "9"}};
  EXPECT_EQ(formats::FindNamedValue(only_longer, padded), nullptr) << "\"VersionInfo\" taken for \"Version\"";
}

}  // namespace
