// The tool's reading of an export against the registry itself: on Windows
// (the win64 run under Wine) the export's WOW6432Node mapping is held
// against the real registry views; on POSIX against the stand-in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "tests/support/test_support.h"
#include "tools/check/check.h"

namespace {

using namespace test::records;  // NOLINT: the shared test vocabulary

// What regedit would export for `values` from a 64-bit Windows, in UTF-8.
std::string ExportOf(const std::vector<RegValue>& values) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (const RegValue& v : values) {
    const std::string key = v.view64 ? v.key : "SOFTWARE\\WOW6432Node" + v.key.substr(8);
    text += "[HKEY_LOCAL_MACHINE\\" + key + "]\r\n";
    if (v.type == test::kRegSz) text += "\"" + v.name + "\"=\"" + v.data.substr(0, v.data.size() - 1) + "\"\r\n";
    text += "\r\n";
  }
  return text;
}

struct Case {
  const char* name;
  std::vector<RegValue> values;
};

TEST(CheckViews, AnExportExplainsWhatTheRegistryItselfGives) {
  const std::vector<Case> cases = {
      {"nothing", {}},
      {"each record in its view",
       {Version(k32, kFerrolink, "AP2.0.5"), Version(k64, kPathwarden, "AP9.0"), Version(k64, kInstallation, "10.0"),
        Version(k32, kMsm, "9.0")}},
      {"each record in the other view",
       {Version(k64, kFerrolink, "AP2.0.5"), Version(k32, kPathwarden, "AP9.0"), Version(k32, kInstallation, "10.0"),
        Version(k64, kMsm, "9.0")}},
      {"first client key without a value", {EmptyKey(k32, kFerrolink), Version(k64, kPathwarden, "AP4.5.6")}},
      {"both views hold the client", {Version(k32, kFerrolink, "AP1.10.0"), Version(k64, kFerrolink, "AP2.0.0")}},
  };
  for (const Case& c : cases) {
    test::RegistryState state(c.values);
    check::Report machine;
    check::Report exported;
    check::DecideFromThisMachine(&machine);
    std::string error;
    ASSERT_TRUE(
        check::DecideFromExport({ExportOf(c.values)}, {"export"}, true, check::kDefaultCodePage, &exported, &error))
        << error;
    const check::Decision& m = machine.decision;
    const check::Decision& e = exported.decision;
    ASSERT_TRUE(m.wow64) << c.name;
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(e.client.records[i].consulted, m.client.records[i].consulted) << c.name << " client " << i;
      EXPECT_EQ(e.client.records[i].present, m.client.records[i].present) << c.name << " client " << i;
      EXPECT_EQ(e.client.records[i].text, m.client.records[i].text) << c.name << " client " << i;
      EXPECT_EQ(e.driver.records[i].present, m.driver.records[i].present) << c.name << " driver " << i;
      EXPECT_EQ(e.driver.records[i].text, m.driver.records[i].text) << c.name << " driver " << i;
    }
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(e.other_view_present[i], m.other_view_present[i]) << c.name << " other view of " << i;
      EXPECT_EQ(e.other_view_text[i], m.other_view_text[i]) << c.name << " other view of " << i;
    }
    EXPECT_EQ(e.unasked.present, m.unasked.present) << c.name;
    EXPECT_EQ(e.unasked.text, m.unasked.text) << c.name;
    EXPECT_EQ(e.client_line, m.client_line) << c.name;
    EXPECT_EQ(e.driver_line, m.driver_line) << c.name;

    // The two exports a 64-bit Windows' regedit makes, one a view, as they are.
    std::vector<RegValue> view64;
    std::vector<RegValue> view32;
    for (const RegValue& v : c.values) (v.view64 ? view64 : view32).push_back(v);
    check::Report split;
    ASSERT_TRUE(check::DecideFromExport({ExportOf(view64), ExportOf(view32)}, {"view64", "view32"}, true,
                                        check::kDefaultCodePage, &split, &error))
        << error;
    EXPECT_EQ(split.decision.client_line, m.client_line) << c.name << " from two exports";
    EXPECT_EQ(split.decision.driver_line, m.driver_line) << c.name << " from two exports";
  }
}

// The ANSI code page of the registry the tests write: Wine's, or the POSIX
// stand-in's UTF-8.
uint32_t MachineCodePage() {
#ifdef _WIN32
  return GetACP();
#else
  return 65001;
#endif
}

// regedit writes UTF-16; the A call gives the ANSI code page. Read from a
// UTF-16 export in this machine's code page, a string value must come out as
// the A call gives it on this system (bytes 0xA0 to 0xFF are the same
// characters in Latin-1, which the test's widening uses, and in code page
// 1252, Wine's here).
TEST(CheckViews, AUtf16ExportGivesTheTextTheAnsiCallGives) {
  const std::vector<std::string> texts = {"AP2.0.5", "AP1.0\xE9", "AP\xC4\xD6\xDC 3.0"};
  for (const std::string& text : texts) {
    const std::vector<RegValue> values = {Version(k32, kFerrolink, text)};
    test::RegistryState state(values);  // its export's folder goes when the test ends
    check::Report machine;
    check::Report exported;
    check::DecideFromThisMachine(&machine);
    std::string error;
    ASSERT_TRUE(check::DecideFromExport({test::Utf16Le(ExportOf(values), true)}, {"export"}, true, MachineCodePage(),
                                        &exported, &error))
        << error;
    EXPECT_EQ(exported.decision.client.records[0].text, machine.decision.client.records[0].text) << text;
  }
}

// ---- The customer's code page ------------------------------------------------
// regedit writes UTF-16; setup reads with the A call, which gives the
// machine's ANSI code page with Windows' best fit. The expected lines are what
// setup logs for the same registry under code page 1252 (the byte rules: two
// bytes dropped from the client text, then the digits).

// A UTF-16 export (as regedit writes it) of `values`: each is a key below
// HKEY_LOCAL_MACHINE as the export names it, and one Version value in it.
struct WideValue {
  std::u16string key;   // as the export names it (WOW6432Node for the 32-bit view)
  bool multi;           // REG_MULTI_SZ (hex(7)) rather than REG_SZ
  std::u16string data;  // without terminating zeros
};

std::string WideExport(const std::vector<WideValue>& values) {
  std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n";
  for (const WideValue& v : values) {
    text += u"[HKEY_LOCAL_MACHINE\\" + v.key + u"]\r\n\"Version\"=";
    if (!v.multi) {
      text += u"\"" + v.data + u"\"\r\n\r\n";
      continue;
    }
    // Little-endian bytes of the strings and the two ending zeros, in hex.
    const std::string bytes = test::Utf16Le(v.data + std::u16string(2, u'\0'), false);
    text += u"hex(7):";
    for (size_t i = 0; i < bytes.size(); ++i) {
      const auto byte = static_cast<unsigned char>(bytes[i]);
      if (i) text += u',';
      text += u"0123456789abcdef"[byte >> 4];
      text += u"0123456789abcdef"[byte & 15];
    }
    text += u"\r\n\r\n";
  }
  return test::Utf16Le(text, true);
}

const std::u16string kClient32 = u"SOFTWARE\\WOW6432Node\\Veltrano\\Ferrolink";
const std::u16string kInstallation64 = u"SOFTWARE\\Veltrano\\Veltrano Driver Installation";

struct CodePageCase {
  const char* name;
  std::vector<WideValue> values;
  std::string client_line;  // setup's, package client 0
  std::string driver_line;  // setup's, package driver 200
  bool install;
};

TEST(CheckViews, AnExportIsReadInTheCustomersCodePage1252) {
  const std::vector<CodePageCase> cases = {
      {"the two dropped characters are two bytes of 1252",
       {{kClient32, true,
         std::u16string(u"\u00C4\u00D6"
                        u"5.9.2.99.1") +
             u'\0' + u" 9.9.9"}},
       "CSetupDlg::InstallPackage nLocalFLVersion=<592991>, nConfigFLVersion=<0>",
       "CSetupDlg::InstallPackage nLocalDriverVersion=<0>, nConfigDriverVersion=<200>",
       true},
      {"a letter of 1252 is one byte",
       {{kClient32, false,
         u"\u00E9"
         u"2.0.5"}},
       "CSetupDlg::InstallPackage nLocalFLVersion=<5>, nConfigFLVersion=<0>",
       "CSetupDlg::InstallPackage nLocalDriverVersion=<0>, nConfigDriverVersion=<200>",
       true},
      {"a fullwidth digit is its ASCII look-alike",
       {{kClient32, false, u"AP\uFF12.0.5"}},
       "CSetupDlg::InstallPackage nLocalFLVersion=<205>, nConfigFLVersion=<0>",
       "CSetupDlg::InstallPackage nLocalDriverVersion=<0>, nConfigDriverVersion=<200>",
       true},
      {"a fullwidth driver record flips the decision",
       {{kInstallation64, false, u"\uFF13\uFF0E\uFF10\uFF0E\uFF10"}},
       "CSetupDlg::InstallPackage nLocalFLVersion=<0>, nConfigFLVersion=<0>",
       "CSetupDlg::InstallPackage nLocalDriverVersion=<300>, nConfigDriverVersion=<200>",
       false},
  };
  for (const CodePageCase& c : cases) {
    check::Report report;
    report.package.client.number = 0;
    report.package.driver.number = 200;
    std::string error;
    ASSERT_TRUE(
        check::DecideFromExport({WideExport(c.values)}, {"export"}, true, check::kDefaultCodePage, &report, &error))
        << error;
    EXPECT_TRUE(report.has_decision) << c.name;
    EXPECT_EQ(report.decision.client_line, c.client_line) << c.name;
    EXPECT_EQ(report.decision.driver_line, c.driver_line) << c.name;
    EXPECT_EQ(report.decision.older, c.install) << c.name;
  }
}

// A REGEDIT4 export holds the machine's own bytes: nothing to convert, so it
// decides under any code page, a table or not. ("\xC3\xA9" is two characters
// of 1252; read as UTF-8 it would be one.)
TEST(CheckViews, AnAnsiExportIsTakenAsItIs) {
  const std::string ansi =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Veltrano\\Ferrolink]\r\n"
      "\"Version\"=\"\xC3\xA9"
      "2.0.5\"\r\n";
  for (uint32_t code_page : {1252u, 932u, 1251u}) {
    check::Report report;
    std::string error;
    ASSERT_TRUE(check::DecideFromExport({ansi}, {"export"}, true, code_page, &report, &error)) << error;
    EXPECT_FALSE(report.decision.depends_on_code_page) << code_page;
    EXPECT_EQ(report.decision.client_line, "CSetupDlg::InstallPackage nLocalFLVersion=<205>, nConfigFLVersion=<0>")
        << code_page;
  }
}

}  // namespace
