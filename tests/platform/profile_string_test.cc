// The reading rules of initialisation files. The same table runs against the
// real GetPrivateProfileStringA (under Wine) and the POSIX stand-in, so the
// stand-in is held to what Windows does.
#include <gtest/gtest.h>

#include <string>

#include "platform/system.h"
#include "platform/profile.h"
#include "tests/support/test_support.h"

namespace {

struct Case {
  const char* name;
  std::string file;
  const char* section;
  const char* key;
  std::string expected;
};

TEST(ProfileString, FollowsTheWindowsReader) {
  const std::string sample =
      "; comment\n[FL]\n  Version  =  1.2.3  \n;file=x\nfile=\"quoted value\"\n[driver]\n"
      "version='single'\nversion=second\n[fl]\nfile=dup\nother=a\n[ spaced ]\n k = v \nnoeq\n";
  const Case cases[] = {
      {"exact", sample, "FL", "version", "1.2.3"},
      {"case of section and key", sample, "fl", "VERSION", "1.2.3"},
      {"double quotes dropped", sample, "FL", "file", "quoted value"},
      {"comment line is a key of its own", sample, "FL", ";file", "x"},
      {"only the first section of a name counts", sample, "FL", "other", ""},
      {"first of repeated keys, single quotes dropped", sample, "driver", "version", "single"},
      {"spaces around section name", sample, "spaced", "k", "v"},
      {"key without equals sign", sample, "spaced", "noeq", ""},
      {"key without equals sign ends the search", "[FL]\nversion\nversion=1\n", "FL", "version", ""},
      {"missing section", sample, "none", "version", ""},
      {"missing key", sample, "FL", "none", ""},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF[FL]\r\nversion=1.0\r\n", "FL", "version", "1.0"},
      {"UTF-16LE with byte-order mark", test::Utf16Le("[FL]\r\nversion=2.0\r\n", true), "FL", "version", "2.0"},
      {"UTF-16LE without byte-order mark", test::Utf16Le("[FL]\r\nversion=3.0\r\n", false), "FL", "version", ""},
      {"CR line ends", "[FL]\rversion=4.0\rfile=x\r", "FL", "file", "x"},
      {"header without closing bracket", "[FL\nversion=5.0\n", "FL", "version", ""},
      {"header to the last bracket", "[FL]]\nversion=6\n", "FL]", "version", "6"},
      {"unbalanced quote kept", "[FL]\nversion=\"7.0\n", "FL", "version", "\"7.0"},
      {"empty quotes", "[FL]\nfile=\"\"\n", "FL", "file", ""},
      {"inner quotes kept", "[FL]\nx=\"a\"b\"\n", "FL", "x", "a\"b"},
      {"value ends at a zero byte", std::string("[FL]\nversion=8\0junk\nfile=after\n", 30), "FL", "version", "8"},
      {"line after a zero byte", std::string("[FL]\nversion=8\0junk\nfile=after\n", 30), "FL", "file", "after"},
      {"tabs around", "[FL]\n\tversion\t=\t\"  q  \" \n", "FL", "version", "  q  "},
      {"259 characters kept", "[FL]\nversion=" + std::string(259, '9') + "\n", "FL", "version", std::string(259, '9')},
      {"260 characters cut to 259", "[FL]\nversion=" + std::string(260, '9') + "\n", "FL", "version",
       std::string(259, '9')},
      {"300 characters cut to 259", "[FL]\nversion=" + std::string(300, '9') + "\n", "FL", "version",
       std::string(259, '9')},
      {"quoted 258 characters", "[FL]\nfile=\"" + std::string(258, '8') + "\"\n", "FL", "file", std::string(258, '8')},
      {"quoted 259 characters lose one more", "[FL]\nfile=\"" + std::string(259, '8') + "\"\n", "FL", "file",
       std::string(258, '8')},
      {"long line before the key", "[FL]\nx=" + std::string(100000, 'x') + "\nversion=9\n", "FL", "version", "9"},
      {"binary garbage", std::string("\x01\x02[\xFF\xFE\x00]\n=\n\x80", 11), "FL", "version", ""},
  };
  const std::string dir = test::NewTempDir();
  int index = 0;
  for (const Case& c : cases) {
    std::string path = dir + "case" + std::to_string(index++) + ".ini";
    test::WriteBytes(path, c.file);
    char buffer[261];
    memset(buffer, 0, sizeof buffer);
    uint32_t n = platform::ReadProfileString(c.section, c.key, "", buffer, 260, path.c_str());
    EXPECT_EQ(std::string(buffer, n), c.expected) << c.name;
    EXPECT_EQ(n, strlen(buffer)) << c.name;
  }
}

// A value is kept only in a form that converts back to the file's own text:
// the A reader would map a character the code page lacks to a look-alike.
// The Windows rows assume a code page without fullwidth letters (Wine's
// default, 1252); the stand-in's code page is UTF-8, where all convert.
TEST(ProfileString, KeepsOnlyValuesWithAnExactForm) {
  struct ExactCase {
    const char* name;
    std::u16string file;
    std::string windows;  // the value; empty with kErrorNoExactName when `inexact`
    bool inexact;
    std::string posix;
  };
  const ExactCase cases[] = {
      {"plain name", u"[FL]\r\nfile=inst.exe\r\n", "inst.exe", false, "inst.exe"},
      {"Latin-1 letter", u"[FL]\r\nfile=caf\u00E9.exe\r\n", "caf\xE9.exe", false, "caf\xC3\xA9.exe"},
      {"fullwidth letter", u"[FL]\r\nfile=\uFF21inst.exe\r\n", "", true, "\xEF\xBC\xA1inst.exe"},
      {"fullwidth digit", u"[FL]\r\nfile=\uFF19\r\n", "", true, "\xEF\xBC\x99"},
      {"pair cut at 259 units", u"[FL]\r\nfile=" + std::u16string(258, u'a') + u"\U0001F600\r\n", std::string(258, 'a'),
       false, std::string(258, 'a') + "\xF0"},
  };
  const std::string dir = test::NewTempDir();
  int index = 0;
  for (const ExactCase& c : cases) {
    std::string path = dir + "exact" + std::to_string(index++) + ".ini";
    test::WriteBytes(path, test::Utf16Le(c.file, true));
    char buffer[261];
    memset(buffer, 'x', sizeof buffer);
    uint32_t n = platform::ReadProfileString("FL", "file", "", buffer, 260, path.c_str());
#ifdef _WIN32
    EXPECT_EQ(std::string(buffer, n), c.windows) << c.name;
    EXPECT_EQ(n == 0 && platform::GetLastSystemError() == platform::kErrorNoExactName, c.inexact) << c.name;
#else
    EXPECT_EQ(std::string(buffer, n), c.posix) << c.name;
    EXPECT_NE(platform::GetLastSystemError(), platform::kErrorNoExactName) << c.name;
#endif
    EXPECT_EQ(n, strlen(buffer)) << c.name;
  }
}

// Section, key and default are asked for as given up to a path's length
// (kPathBufferSize characters) on both sides; a longer one asks for nothing,
// not even the default.
TEST(ProfileString, NamesAndDefaultsUpToAPathLongAreAskedAsGiven) {
  struct Row {
    const char* name;
    std::string section;
    std::string key;
    std::string default_value;
    std::string expected;  // empty with a refusal when `refused`
    bool refused;
  };
  const std::string s63(63, 's');
  const std::string s64(64, 's');
  const std::string s260(260, 's');
  const std::string s261(261, 's');
  const Row rows[] = {
      {"section of 63", s63, "k", "", "found", false},
      {"section of 64", s64, "k", "", "found", false},
      {"section of 260", s260, "k", "", "found", false},
      {"key of 64", "FL", std::string(64, 'k'), "", "long key", false},
      {"default of 63 for a missing key", "FL", "none", std::string(63, 'd'), std::string(63, 'd'), false},
      {"default of 64 for a missing key", "FL", "none", std::string(64, 'd'), std::string(64, 'd'), false},
      {"default of 260 cut to the buffer", "FL", "none", std::string(260, 'd'), std::string(259, 'd'), false},
      {"section of 261 asks for nothing", s261, "k", "dflt", "", true},
      {"key of 261 asks for nothing", "FL", std::string(261, 'k'), "dflt", "", true},
      {"default of 261 asks for nothing", "FL", "none", std::string(261, 'd'), "", true},
  };
  const std::string path = test::NewTempDir() + "names.ini";
  test::WriteBytes(path, "[" + s63 + "]\nk=found\n[" + s64 + "]\nk=found\n[" + s260 + "]\nk=found\n[" + s261 +
                             "]\nk=found\n[FL]\n" + std::string(64, 'k') + "=long key\n" + std::string(261, 'k') +
                             "=found\n");
  for (const Row& r : rows) {
    char buffer[261];
    memset(buffer, 'x', sizeof buffer);
    const uint32_t n = platform::ReadProfileString(r.section.c_str(), r.key.c_str(), r.default_value.c_str(), buffer,
                                                   260, path.c_str());
    EXPECT_EQ(std::string(buffer, n), r.expected) << r.name;
    EXPECT_EQ(n, strlen(buffer)) << r.name;
    if (r.refused) {
      EXPECT_EQ(platform::GetLastSystemError(), 122u) << r.name << ": ERROR_INSUFFICIENT_BUFFER";
    }
  }
}

TEST(ProfileString, MissingFileGivesTheDefault) {
  char buffer[16];
  std::string path = test::NewTempDir() + "absent.ini";
  EXPECT_EQ(platform::ReadProfileString("FL", "version", "dflt", buffer, sizeof buffer, path.c_str()), 4u);
  EXPECT_STREQ(buffer, "dflt");
}

}  // namespace
