// The tool's reading of an export against the registry itself: on Windows
// (the win64 run under Wine) the export's WOW6432Node mapping is held
// against the real registry views; on POSIX against the stand-in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    ASSERT_TRUE(check::DecideFromExport({ExportOf(c.values)}, {"export"}, true, &exported, &error)) << error;
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
    ASSERT_TRUE(
        check::DecideFromExport({ExportOf(view64), ExportOf(view32)}, {"view64", "view32"}, true, &split, &error))
        << error;
    EXPECT_EQ(split.decision.client_line, m.client_line) << c.name << " from two exports";
    EXPECT_EQ(split.decision.driver_line, m.driver_line) << c.name << " from two exports";
  }
}

// regedit writes UTF-16; the A call gives the ANSI code page. Read from a
// UTF-16 export, a string value must come out as the A call gives it on this
// system (bytes 0xA0 to 0xFF are the same characters in Latin-1, which the
// test's widening uses, and in code page 1252, Wine's here).
TEST(CheckViews, AUtf16ExportGivesTheTextTheAnsiCallGives) {
  const std::vector<std::string> texts = {"AP2.0.5", "AP1.0\xE9", "AP\xC4\xD6\xDC 3.0"};
  for (const std::string& text : texts) {
    const std::vector<RegValue> values = {Version(k32, kFerrolink, text)};
    test::RegistryState state(values);  // its export's folder goes when the test ends
    check::Report machine;
    check::Report exported;
    check::DecideFromThisMachine(&machine);
    std::string error;
    ASSERT_TRUE(check::DecideFromExport({test::Utf16Le(ExportOf(values), true)}, {"export"}, true, &exported, &error))
        << error;
    EXPECT_EQ(exported.decision.client.records[0].text, machine.decision.client.records[0].text) << text;
  }
}

}  // namespace
