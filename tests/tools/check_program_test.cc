// pathwarden-check run as a program: package problems and exit codes, the
// release-order trap, recorded texts, and its explanation of a registry
// export held against the setup program's own log for the same state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/setup_run.h"
#include "tests/support/test_support.h"
#include "tests/tools/check_run.h"

namespace {

using check_test::CheckResult;
using check_test::HasLine;
using check_test::RunCheck;
using test::Version;

using test::kMsm;
using test::kPathwarden;

struct PackageCase {
  const char* name;
  std::string config;              // "" for no config.ini
  std::vector<std::string> files;  // created in the package; a trailing '/' makes a folder
  std::vector<std::string> args;   // before the folder
  int status;
  std::vector<std::string> lines;  // each a whole line of the output; $PKG is the folder
};

std::string Expand(std::string text, const std::string& pkg) {
  for (size_t at; (at = text.find("$PKG")) != std::string::npos;) text.replace(at, 4, pkg);
  return text;
}

void MakePackage(const std::string& pkg, const std::string& config, const std::vector<std::string>& files) {
  if (!config.empty()) test::WriteBytes(pkg + "config.ini", config);
  for (const std::string& f : files) {
    if (f.back() == '/') {
      mkdir((pkg + f).c_str(), 0755);
    } else {
      test::WriteBytes(pkg + f, f == "empty.exe" ? "" : "MZ");
    }
  }
}

TEST(CheckProgram, PackageProblemsReleasesAndExitCodes) {
  const std::string good = "[FL]\nversion=2.0.0\nfile=inst.exe\n[driver]\nversion=3.0.0\n";
  const std::vector<PackageCase> cases = {
      {"a good package",
       good,
       {"inst.exe"},
       {},
       0,
       {"  [FL] version: \"2.0.0\" -> 200", "  [driver] version: \"3.0.0\" -> 300",
        "  [FL] file: \"inst.exe\", 2 bytes", "No problems."}},
      {"no config.ini",
       "",
       {"inst.exe"},
       {},
       1,
       {"problem: no config.ini at $PKGconfig.ini: setup reads every value as empty"}},
      {"installer missing", good, {}, {}, 1, {"problem: the installer $PKGinst.exe does not exist"}},
      {"installer empty",
       "[FL]\nversion=2.0.0\nfile=empty.exe\n[driver]\nversion=3\n",
       {"empty.exe"},
       {},
       1,
       {"problem: the installer $PKGempty.exe is empty"}},
      {"installer a folder", good, {"inst.exe/"}, {}, 1, {"problem: the installer $PKGinst.exe is not a file"}},
      {"client version 0",
       "[FL]\nversion=0.0\nfile=inst.exe\n",
       {"inst.exe"},
       {},
       1,
       {"problem: [FL] version \"0.0\" (0) is not above 0: setup installs it over nothing"}},
      {"config.ini in UTF-16 read as setup reads it",
       test::Utf16Le("[FL]\r\nversion=1.2.3\r\nfile=inst.exe\r\n[driver]\r\nversion=1\r\n", true),
       {"inst.exe"},
       {},
       0,
       {"  [FL] version: \"1.2.3\" -> 123"}},
      {"the 1.10.0 -> 2.0.0 trap",
       good,
       {"inst.exe"},
       {"--released", "1.9.0,1.10.0"},
       1,
       {"  installs over: 1.9.0 (190)", "  does not install over: 1.10.0 (1100)",
        "problem: this package's client \"2.0.0\" (200) would not install over the earlier release \"1.10.0\" (1100)"}},
      {"a trap already shipped is warned about",
       "[FL]\nversion=12.0.0\nfile=inst.exe\n[driver]\nversion=1\n",
       {"inst.exe"},
       {"--released", "1.10.0,2.0.0,3.0.0"},
       0,
       {"warning: release \"2.0.0\" (200) is not greater than the earlier \"1.10.0\" (1100): a machine with 1.10.0 "
        "never gets 2.0.0",
        "  installs over: 1.10.0 (1100), 2.0.0 (200), 3.0.0 (300)", "No problems."}},
      {"the package's own version is no problem",
       good,
       {"inst.exe"},
       {"--released", "1.0.0,2.0.0"},
       0,
       {"  does not install over: 2.0.0 (200)", "No problems."}},
      {"1.3 after 1.2.4 is the same trap",
       "[FL]\nversion=1.3\nfile=inst.exe\n[driver]\nversion=1\n",
       {"inst.exe"},
       {"--released", "1.2.4"},
       1,
       {"problem: this package's client \"1.3\" (13) would not install over the earlier release \"1.2.4\" (124)"}},
  };
  for (const PackageCase& c : cases) {
    const std::string scratch = test::NewTempDir();
    const std::string pkg = scratch + "package dir/";
    mkdir(pkg.c_str(), 0755);
    MakePackage(pkg, c.config, c.files);
    std::vector<std::string> args = c.args;
    args.push_back(pkg);
    const CheckResult r = RunCheck(args, scratch);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.out << r.err;
    for (const std::string& line : c.lines)
      EXPECT_TRUE(HasLine(r.out, Expand(line, pkg))) << c.name << ": " << line << "\n" << r.out;
  }
}

TEST(CheckProgram, ReleasesFromAFileGiveTheSameReport) {
  const std::string scratch = test::NewTempDir();
  const std::string pkg = scratch;
  MakePackage(pkg, "[FL]\nversion=2.0.0\nfile=inst.exe\n[driver]\nversion=1\n", {"inst.exe"});
  test::WriteBytes(pkg + "released.txt", "1.9.0\r\n\r\n1.10.0\r\n2.0.0\r\n");
  const CheckResult from_list = RunCheck({"--released", "1.9.0,1.10.0,2.0.0", pkg}, scratch);
  const CheckResult from_file = RunCheck({"--released-file", pkg + "released.txt", pkg}, scratch);
  EXPECT_EQ(from_file.status, 1);
  EXPECT_EQ(from_file.out, from_list.out);
}

// The refusal the tool reports is the very line setup logs for the name.
TEST(CheckProgram, RefusesInstallerNamesWithSetupsOwnLine) {
  const std::vector<std::string> names = {"", "/bin/sh", "../inst.sh", "sub/../../inst.sh", "C:inst.sh", "inst.sh:x"};
  for (const std::string& name : names) {
    setup_test::SetupRun run;
    run.Config("[FL]\nversion=9\nfile=" + name + "\n");
    check_test::ExportState registry({});
    ASSERT_EQ(run.Run(), 0) << name;
    const std::vector<std::string> log = run.LogLines();
    ASSERT_GE(log.size(), 6u) << name;
    const std::string scratch = test::NewTempDir();
    const CheckResult r = RunCheck({run.package_}, scratch);
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_TRUE(HasLine(r.out, "problem: setup refuses the installer name: " + log[5])) << name << "\n" << r.out;
  }
}

struct InstalledCase {
  const char* name;
  std::string installed;
  std::string package_client;
  std::string package_driver;
  std::vector<std::string> lines;
};

TEST(CheckProgram, DecidesForRecordedTexts) {
  const std::vector<InstalledCase> cases = {
      {"1.10.0 installed, 2.0.0 shipped: nothing to install",
       "AP1.10.0,1",
       "2.0.0",
       "1",
       {"  client text: \"AP1.10.0\" from record 1 loses its first two characters: \"1.10.0\" -> 1100",
        "  decision: nothing to install (already the latest)", test::FlLine(1100, 200)}},
      {"a text without the prefix loses two characters too",
       "1.10.0",
       "2.0.0",
       "1",
       {"  client text: \"1.10.0\" from record 1 loses its first two characters: \"10.0\" -> 100",
        "  decision: install (the machine is older)"}},
      {"driver 9.0 against 10.0 chooses 9.0",
       "AP2.0.0,10.0,9.0",
       "2.0.0",
       "9.5",
       {"  driver text: \"10.0\" and \"9.0\" compared as texts without regard to case: \"9.0\" sorts last -> 90",
        "      note: the text not chosen has the higher number (100): texts compare character by character, so "
        "\"9.0\" sorts after \"10.0\"",
        "  decision: install (the machine is older)", test::DriverLine(90, 95)}},
      {"nothing recorded",
       ",,",
       "1",
       "1",
       {"  client text: no record has a value: \"0.0.0\" -> 0", "  decision: install (the machine is older)"}},
  };
  for (const InstalledCase& c : cases) {
    const std::string scratch = test::NewTempDir();
    MakePackage(scratch,
                "[FL]\nversion=" + c.package_client + "\nfile=inst.exe\n[driver]\nversion=" + c.package_driver + "\n",
                {"inst.exe"});
    const CheckResult r = RunCheck({"--installed", c.installed, scratch}, scratch);
    EXPECT_EQ(r.status, 0) << c.name << "\n" << r.out;
    for (const std::string& line : c.lines)
      EXPECT_TRUE(HasLine(r.out, line)) << c.name << ": " << line << "\n" << r.out;
  }
}

const char kExportHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";
const char kFerrolinkSection[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Veltrano\\Ferrolink]\r\n";

struct ExportCase {
  const char* name;
  std::string export_bytes;
  std::vector<std::string> lines;
};

// Exports as customers send them, read as regedit reads them.
TEST(CheckProgram, ExplainsExportsAsCustomersSendThem) {
  const std::vector<ExportCase> cases = {
      {"a comment ending in a backslash hides no key",
       std::string(kExportHeader) + "; saved by the help desk \\\r\n" + kFerrolinkSection +
           "\"Version\"=\"AP9.0.0\"\r\n",
       {"      present, Version = \"AP9.0.0\"", "  decision: nothing to install (already the latest)"}},
      {"a longer value name is not Version",
       std::string(kExportHeader) + kFerrolinkSection + "\"VersionInfo\"=\"AP9.0.0\"\r\n",
       {"      absent (no key, or no Version value)", "  decision: install (the machine is older)"}},
      {"Version beside longer names",
       std::string(kExportHeader) + kFerrolinkSection +
           "\"VersionInfo\"=\"AP1.0\"\r\n\"VERSION\"=\"AP9.0.0\"\r\n\"Versio\"=\"AP1.0\"\r\n",
       {"      present, Version = \"AP9.0.0\"", "  decision: nothing to install (already the latest)"}},
  };
  for (const ExportCase& c : cases) {
    const std::string scratch = test::NewTempDir();
    MakePackage(scratch, "[FL]\nversion=2.1.0\nfile=inst.exe\n[driver]\nversion=0\n", {"inst.exe"});
    test::WriteBytes(scratch + "customer.reg", c.export_bytes);
    const CheckResult r = RunCheck({"--registry", scratch + "customer.reg", scratch}, scratch);
    EXPECT_EQ(r.status, 0) << c.name << "\n" << r.out << r.err;
    for (const std::string& line : c.lines)
      EXPECT_TRUE(HasLine(r.out, line)) << c.name << ": " << line << "\n" << r.out;
  }
}

TEST(CheckProgram, UsageErrorsAndUnreadableInputExitWith2) {
  const std::string scratch = test::NewTempDir();
  MakePackage(scratch, "[FL]\nversion=1\nfile=inst.exe\n", {"inst.exe"});
  const std::string export_text = std::string(kExportHeader) + kFerrolinkSection + "\"Version\"=\"AP1.0\"\r\n";
  test::WriteBytes(scratch + "no-mark.reg", test::Utf16Le(export_text, false));
  test::WriteBytes(scratch + "notes.txt", "Version 1.0 is installed\r\n");
  test::WriteBytes(scratch + "empty.reg", "");
  test::WriteBytes(scratch + "good.reg", export_text);
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--bogus", scratch},
      {scratch + "missing-folder"},
      {scratch, scratch},
      {"--registry", scratch + "missing.reg", scratch},
      {"--released-file", scratch + "missing.txt", scratch},
      {"--installed", "AP1", "--registry", scratch + "inst.exe", scratch},
      {"--this-machine", scratch},
      {"--registry"},
      // Not an export, or one that cannot be read: no decision from nothing.
      {"--registry", scratch + "no-mark.reg", scratch},
      {"--json", "--registry", scratch + "no-mark.reg", scratch},
      {"--registry", scratch + "notes.txt", scratch},
      {"--registry", scratch + "empty.reg", scratch},
      {"--registry", scratch + "inst.exe", scratch},
      {"--registry", scratch + "good.reg", "--registry", scratch + "notes.txt", scratch},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    const CheckResult r = RunCheck(args, scratch);
    EXPECT_EQ(r.status, 2) << shown << "\n" << r.out << r.err;
    EXPECT_FALSE(r.err.empty()) << shown;
  }
  EXPECT_EQ(RunCheck({"--help"}, scratch).status, 0);
}

// The export does not say the customer's code page; --code-page does. The
// same UTF-16 export under 932 (a fullwidth digit is two bytes there, both
// dropped) and 1252 (one ASCII digit), and under a code page the tool has no
// table for, where it does not decide.
TEST(CheckProgram, ReadsAnExportInTheCodePageItIsGiven) {
  const std::string scratch = test::NewTempDir();
  MakePackage(scratch, "[FL]\nversion=2.1.0\nfile=inst.exe\n[driver]\nversion=0\n", {"inst.exe"});
  const std::u16string header =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Veltrano\\Ferrolink]\r\n";
  test::WriteBytes(scratch + "wide.reg", test::Utf16Le(header + u"\"Version\"=\"\uFF151.2.3\"\r\n", true));
  test::WriteBytes(scratch + "latin.reg", test::Utf16Le(header + u"\"Version\"=\"\u00E92.0.5\"\r\n", true));
  test::WriteBytes(scratch + "ascii.reg", test::Utf16Le(header + u"\"Version\"=\"AP2.0.5\"\r\n", true));
  struct Row {
    std::vector<std::string> args;
    std::vector<std::string> lines;  // whole lines of the output
    bool decided;                    // setup's version lines are given
  };
  const std::vector<Row> rows = {
      {{"--code-page", "932", "--registry", scratch + "wide.reg"},
       {"CSetupDlg::InstallPackage nLocalFLVersion=<123>, nConfigFLVersion=<210>"},
       true},
      {{"--registry", scratch + "wide.reg"},
       {"CSetupDlg::InstallPackage nLocalFLVersion=<23>, nConfigFLVersion=<210>"},
       true},
      {{"--code-page", "1252", "--registry", scratch + "latin.reg"},
       {"CSetupDlg::InstallPackage nLocalFLVersion=<5>, nConfigFLVersion=<210>"},
       true},
      {{"--code-page", "1251", "--registry", scratch + "latin.reg"},
       {"  decision: depends on the code page (no table for 1251; the tool has 1252, 932 and 65001)"},
       false},
      // ASCII is the same in every ANSI code page: no table is needed.
      {{"--code-page", "1251", "--registry", scratch + "ascii.reg"},
       {"CSetupDlg::InstallPackage nLocalFLVersion=<205>, nConfigFLVersion=<210>"},
       true},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = row.args;
    args.push_back(scratch);
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    const CheckResult r = RunCheck(args, scratch);
    EXPECT_EQ(r.status, 0) << shown << "\n" << r.out << r.err;
    for (const std::string& line : row.lines)
      EXPECT_TRUE(HasLine(r.out, line)) << shown << ": " << line << "\n" << r.out;
    EXPECT_EQ(r.out.find("CSetupDlg::InstallPackage") != std::string::npos, row.decided) << shown << "\n" << r.out;
  }
  // The JSON report gives no numbers and no lines for an open decision.
  const CheckResult json =
      RunCheck({"--json", "--code-page", "1251", "--registry", scratch + "latin.reg", scratch}, scratch);
  EXPECT_NE(json.out.find("\"depends_on_code_page\": 1251"), std::string::npos) << json.out;
  EXPECT_EQ(json.out.find("\"log\""), std::string::npos) << json.out;
  EXPECT_EQ(json.out.find("\"number\": 205"), std::string::npos) << json.out;
  for (const char* bad : {"", "0", "x", "-5", "1252x", "4294967296"}) {
    EXPECT_EQ(RunCheck({"--code-page", bad, "--registry", scratch + "ascii.reg", scratch}, scratch).status, 2) << bad;
  }
}

}  // namespace
