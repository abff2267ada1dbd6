// The explanation of a registry export ends with the two version lines the
// setup program logs for the same export, byte for byte, and makes the same
// decision.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "tests/support/setup_run.h"
#include "tests/support/test_support.h"
#include "tests/tools/check_run.h"

namespace {

using check_test::CheckResult;
using check_test::HasLine;
using check_test::RunCheck;
using check_test::SplitLines;
using namespace test::records;  // NOLINT: the shared test vocabulary

struct StateCase {
  const char* name;
  std::vector<test::RegValue> registry;
  bool wow64;
};

TEST(CheckLog, VersionLinesAreSetupsLogLinesByteForByte) {
  const std::string z(1, '\0');
  const std::vector<StateCase> cases = {
      {"nothing installed", {}, true},
      {"older client, two-character drop",
       {Version(k32, kFerrolink, "AP1.2.3"), Version(k64, kInstallation, "2.0.1")},
       true},
      {"1.10.0 installed against 2.0.0", {Version(k32, kFerrolink, "AP1.10.0")}, true},
      {"driver 9.0 against 10.0", {Version(k64, kInstallation, "10.0"), Version(k32, kMsm, "9.0")}, true},
      {"client only in the wrong view", {Version(k64, kFerrolink, "AP9.9.9")}, true},
      {"driver records in the wrong views", {Version(k32, kInstallation, "9.9"), Version(k64, kMsm, "9.9")}, true},
      {"second client record", {Version(k64, kPathwarden, "AP3.0")}, true},
      {"empty first client record stops the search",
       {Version(k32, kFerrolink, ""), Version(k64, kPathwarden, "AP9.9")},
       true},
      {"DWORD and binary values",
       {test::TypedVersion(k32, kFerrolink, test::kRegDword, "AP5" + z),
        test::TypedVersion(k32, kMsm, test::kRegBinary, "4.0" + z + "9")},
       true},
      {"64 KB client value", {Version(k32, kFerrolink, "AP" + std::string(65536, '1'))}, true},
      {"negative client", {Version(k32, kFerrolink, "AP-1.0")}, true},
      {"32-bit Windows: one view", {Version(k64, kInstallation, "2.0"), Version(k64, kPathwarden, "AP3.0")}, false},
      {"32-bit Windows: WOW6432Node is just a key", {Version(k32, kFerrolink, "AP3.0")}, false},
  };
  const std::vector<std::string> configs = {"[FL]\nversion=1.2.4\nfile=inst.sh\n[driver]\nversion=2.0.1\n",
                                            "[FL]\nversion=2.0.0\nfile=inst.sh\n[driver]\nversion=9.5\n"};
  for (const StateCase& c : cases) {
    for (const std::string& config : configs) {
      setup_test::SetupRun run;
      run.AddInstaller("inst.sh");
      run.Config(config);
      check_test::ExportState registry(c.registry);
      const std::string export_file = registry.file();
      std::vector<std::string> env;
      if (!c.wow64) env.push_back("VELSETUP_WOW64=0");
      ASSERT_EQ(run.Run(env), 0) << c.name;
      const std::vector<std::string> log = run.LogLines();
      ASSERT_GE(log.size(), 6u) << c.name;

      const std::string scratch = test::NewTempDir();
      std::vector<std::string> args = {"--registry", export_file};
      if (!c.wow64) args.push_back("--wow64=0");
      args.push_back(run.package_);
      const CheckResult r = RunCheck(args, scratch);
      const std::vector<std::string> out = SplitLines(r.out);
      ASSERT_GE(out.size(), 3u) << c.name << "\n" << r.out << r.err;
      EXPECT_EQ(out[out.size() - 2], log[3]) << c.name << " with " << config;
      EXPECT_EQ(out[out.size() - 1], log[4]) << c.name << " with " << config;
      const bool installed = log[5].rfind("CopyFile from ", 0) == 0;
      EXPECT_EQ(out[out.size() - 3], installed ? "  decision: install (the machine is older)"
                                               : "  decision: nothing to install (already the latest)")
          << c.name << " with " << config << ": setup logged " << log[5];
      run.Started(installed);
    }
  }
}

// Each of the four records is shown with its view and where the export
// holds it; a record in the other view reads as absent.
TEST(CheckLog, ExplainsEachRecordWithItsView) {
  const std::string scratch = test::NewTempDir();
  test::WriteBytes(scratch + "config.ini", "[FL]\nversion=2.1.0\nfile=inst.exe\n[driver]\nversion=3\n");
  test::WriteBytes(scratch + "inst.exe", "MZ");
  check_test::ExportState registry(
      {Version(k64, kFerrolink, "AP9.9"), Version(k64, kPathwarden, "AP2.0.5"), Version(k64, kInstallation, "3.0.0")});
  const CheckResult r = RunCheck({"--registry", registry.file(), scratch}, scratch);
  EXPECT_EQ(r.status, 0) << r.out;
  const std::vector<std::string> want = {
      "  client record 1: HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrano\\Ferrolink, 32-bit view",
      "      in the export at HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Veltrano\\Ferrolink",
      "      absent (no key, or no Version value)",
      "      but the other view holds Version = \"AP9.9\": written to the wrong view, setup never sees it",
      "  client record 2: HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrano\\Pathwarden, 64-bit view",
      "      present, Version = \"AP2.0.5\"",
      "  client text: \"AP2.0.5\" from record 2 loses its first two characters: \"2.0.5\" -> 205",
      "      in the export at HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Veltrano\\Veltrano Driver MSM",
  };
  for (const std::string& line : want) EXPECT_TRUE(HasLine(r.out, line)) << line << "\n" << r.out;
}

// The JSON report is valid JSON whatever bytes a value holds, and carries
// the same version lines and decision as the plain one. Bytes that are not
// text are marked (U+FFFD), never passed through nor guessed at.
TEST(CheckLog, JsonReportParsesAndAgreesWithThePlainOne) {
  struct JsonCase {
    const char* name;
    std::string value;    // the bytes of a binary Version value
    std::string escaped;  // the parsed value, as Python's unicode_escape writes it
  };
  const std::string f = "\\ufffd";
  const std::vector<JsonCase> cases = {
      {"control, quote, backslash, a stray byte, UTF-8 kept", "AP1.2\x01\xff\"\\\xc3\xa9",
       "AP1.2\\x01" + f + "\"\\\\\\xe9"},
      {"lead bytes F5 to FF", "AP\xf5\x80\x80\xff\xbf\xbf", "AP" + f + f + f + f + f + f},
      {"overlong forms", "AP\xc0\xaf\xe0\x80\xaf\xf0\x80\x80\xaf", "AP" + f + f + f + f + f + f + f + f + f},
      {"a surrogate", "AP\xed\xa0\x80", "AP" + f + f + f},
      {"above U+10FFFF", "AP\xf4\x90\x80\x80", "AP" + f + f + f + f},
      {"cut short at the end", "AP\xe2\x82", "AP" + f + f},
      {"four bytes kept", "AP\xf0\x9f\x98\x80", "AP\\U0001f600"},
  };
  const std::string scratch = test::NewTempDir();
  test::WriteBytes(scratch + "config.ini", "[FL]\nversion=2.1.0\nfile=inst.exe\n[driver]\nversion=3\n");
  test::WriteBytes(scratch + "inst.exe", "MZ");
  for (const JsonCase& c : cases) {
    check_test::ExportState registry(
        {test::TypedVersion(k32, kFerrolink, test::kRegBinary, c.value), Version(k64, kInstallation, "3.0.0")});
    const CheckResult plain = RunCheck({"--registry", registry.file(), scratch}, scratch);
    const CheckResult json = RunCheck({"--json", "--registry", registry.file(), scratch}, scratch);
    ASSERT_EQ(json.status, plain.status) << c.name << "\n" << json.out;
    test::WriteBytes(scratch + "report.json", json.out);
    // Python's parser is strict about JSON and UTF-8; it prints the fields to compare.
    const std::string command =
        "/usr/bin/python3 -c 'import json,sys; d=json.load(open(sys.argv[1],encoding=\"utf-8\"));"
        " print(d[\"decision\"][\"install\"]); print(d[\"decision\"][\"client\"][\"records\"][0]"
        "[\"value\"].encode(\"unicode_escape\").decode()); print(\"\\n\".join(d[\"decision\"]"
        "[\"log\"]))' " +
        scratch + "report.json > " + scratch + "parsed.txt 2>&1";
    const int parsed_status = system(command.c_str());
    const std::string parsed_text = test::ReadBytes(scratch + "parsed.txt");
    if (parsed_status != 0) {
      ADD_FAILURE() << c.name << ": not valid JSON\n" << parsed_text;
      continue;
    }
    const std::vector<std::string> parsed = SplitLines(parsed_text);
    const std::vector<std::string> out = SplitLines(plain.out);
    ASSERT_EQ(parsed.size(), 4u) << c.name;
    EXPECT_EQ(parsed[0], HasLine(plain.out, "  decision: install (the machine is older)") ? "True" : "False") << c.name;
    EXPECT_EQ(parsed[1], c.escaped) << c.name;
    EXPECT_EQ(parsed[2], out[out.size() - 2]) << c.name;
    EXPECT_EQ(parsed[3], out[out.size() - 1]) << c.name;
  }
}

}  // namespace
