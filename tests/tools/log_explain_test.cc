// pathwarden-check --log on logs the POSIX setup program wrote itself, as
// written and as they reach support: cut off by a crash, with a torn line,
// banner only, mixed with another run's lines, many logs in a folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/shell/setup_run.h"
#include "tests/support/test_support.h"
#include "tests/tools/check_run.h"
#include "tests/tools/real_logs.h"

namespace {

using check_test::CheckResult;
using check_test::kConfig;
using check_test::Machine;
using check_test::RealLog;
using check_test::RunCheck;
using check_test::SplitLines;
using namespace test::records;  // NOLINT: the shared test vocabulary

// The log up to and with the first line holding `text` (its whole line).
std::string CutAfter(const std::string& log, const std::string& text) {
  const size_t at = log.find(text);
  return at == std::string::npos ? log : log.substr(0, log.find('\n', at) + 1);
}

// Lines of `a` and `b` alternating, as two runs at once write them.
std::string Interleave(const std::string& a, const std::string& b) {
  const std::vector<std::string> la = SplitLines(a);
  const std::vector<std::string> lb = SplitLines(b);
  std::string out;
  // Each run's banner goes with its first line in one write.
  const size_t head = 5;
  for (size_t i = 0; i < head && i < la.size(); ++i) out += la[i] + "\n";
  for (size_t i = 0; i < head && i < lb.size(); ++i) out += lb[i] + "\n";
  for (size_t i = head; i < la.size() || i < lb.size(); ++i) {
    if (i < la.size()) out += la[i] + "\n";
    if (i < lb.size()) out += lb[i] + "\n";
  }
  return out;
}

// `text` with the first `from` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The "  outcome: " lines of a plain report, in order.
std::vector<std::string> Outcomes(const std::string& report) {
  std::vector<std::string> outcomes;
  for (const std::string& line : SplitLines(report)) {
    if (line.rfind("  outcome: ", 0) == 0) outcomes.push_back(line.substr(11));
  }
  return outcomes;
}

TEST(ExplainLog, EachOutcomeOfRealRunsAndTheirDamage) {
  const std::string long_name(250, 'n');
  const Machine up_to_date = {
      "up to date", kConfig, {Version(k32, kFerrolink, "AP9.9.9"), Version(k64, kInstallation, "9.9.9")}, true, {}};
  const Machine older = {"older", kConfig, {}, true, {}};
  const Machine no_installer = {"no installer", kConfig, {}, false, {}};
  const Machine no_association = {"no association", kConfig, {}, true, {"VELSETUP_SHELL_RESULT=31"}};
  const Machine bad_name = {"bad name", "[FL]\nversion=2.1.0\nfile=../inst.sh\n", {}, true, {}};
  const Machine long_path = {"long path", "[FL]\nversion=2.1.0\nfile=" + long_name + "\n", {}, true, {}};
  const Machine no_system_temp = {"elevated, no system temporary folder",
                                  kConfig,
                                  {},
                                  true,
                                  {"VELSETUP_ELEVATED=1", "VELSETUP_SYSTEM_TEMP=/nonexistent/pathwarden-test"}};

  Machine in_temp = older;
  in_temp.in_temp = true;
  Machine deep = older;
  deep.deep = 300;

  const std::string started = RealLog(older);
  const std::string latest = RealLog(up_to_date);
  struct LogCase {
    const char* name;
    std::string log;
    std::vector<std::string> outcomes;
    bool mixed_only = false;  // no versions nor copy may be shown: none is known to be the run's
  };
  const std::vector<LogCase> cases = {
      {"installer started", started, {"installer started"}},
      {"nothing to install", latest, {"nothing to install"}},
      {"copy failed", RealLog(no_installer), {"copy failed: CopyFile failed, error <2> (the file was not found)"}},
      {"open failed",
       RealLog(no_association),
       {"open failed: ShellExecute failed, result <31> (no program is associated with the file type)"}},
      {"installer name refused",
       RealLog(bad_name),
       {"stopped by a check: installer name refused: leaves the package folder (\"..\")"}},
      {"path too long", RealLog(long_path), {"stopped by a check: path too long"}},
      {"no system temporary folder", RealLog(no_system_temp), {"stopped by a check: no system temporary folder"}},
      {"installer already in the temporary folder", RealLog(in_temp), {"installer started"}},
      {"own path too long", RealLog(deep), {"stopped by a check: own path missing or too long"}},
      // Only Windows writes this line: the POSIX run's line, as Windows words it.
      {"own path without an exact form",
       Replaced(RealLog(deep), "is missing or longer than 259 characters",
                "has no exact form in the system's code page"),
       {"stopped by a check: own path has no exact form in the code page"}},
      {"two runs one after the other", started + latest, {"installer started", "nothing to install"}},
      {"crashed after the copy", CutAfter(started, "CopyFile from "), {"no last line"}},
      {"crashed before the decision", CutAfter(latest, "InstallPackage START"), {"no last line"}},
      {"banner only",
       CutAfter(latest, "Pathwarden Installer") + std::string(71, '=') + "\r\n",
       {"nothing after the banner"}},
      {"its last line torn",
       CutAfter(latest, "OnFinish END") + "2026/12/08 10:00:00\t CSetupDlg::Inst",
       {"nothing to install"}},
      {"a torn line amid the run's",
       CutAfter(started, "CopyFile from ") + "2026/12/0CSetupDlg::OnF\r\n",
       {"no last line"}},
      {"two runs at once", Interleave(started, latest), {"mixed with another run", "mixed with another run"}, true},
      {"a run mixed, then one alone",
       Interleave(started, latest) + started,
       {"mixed with another run", "mixed with another run", "installer started"}},
      {"the log's start missing",
       started.substr(started.find("CSetupDlg::InstallPackage START") - 22),
       {"installer started"}},
      {"an empty file", "", {}},
  };
  const std::string scratch = test::NewTempDir();
  for (const LogCase& c : cases) {
    test::WriteBytes(scratch + "velsetup.log", c.log);
    const CheckResult r = RunCheck({"--log", scratch + "velsetup.log"}, scratch);
    EXPECT_EQ(r.status, 0) << c.name << "\n" << r.err;
    EXPECT_EQ(Outcomes(r.out), c.outcomes) << c.name << "\n" << r.out << "\nlog:\n" << c.log;
    if (c.mixed_only) {
      EXPECT_EQ(r.out.find("  client: "), std::string::npos) << c.name << "\n" << r.out;
      EXPECT_EQ(r.out.find("  copied: "), std::string::npos) << c.name << "\n" << r.out;
    }
  }
}

// Logs setup.exe itself wrote under Wine (tests/tools/make_wine_logs.py):
// CR LF, Windows paths, an elevated run's owner line; and the same damaged.
TEST(ExplainLog, LogsSetupExeWroteUnderWine) {
  const char* source = getenv("PATHWARDEN_SOURCE_DIR");
  ASSERT_NE(source, nullptr) << "PATHWARDEN_SOURCE_DIR names the sources";
  const auto wine_log = [&](const char* name) {
    return test::ReadBytes(std::string(source) + "/tests/tools/logs/" + name + ".log");
  };
  const std::string started = wine_log("started");
  const std::string latest = wine_log("up_to_date");
  ASSERT_FALSE(started.empty());
  struct WineCase {
    const char* name;
    std::string log;
    std::vector<std::string> lines;  // whole lines of the report
  };
  const std::vector<WineCase> cases = {
      {"installer started",
       started,
       {"  client: installed 205, package 210", "  decision: install (client older)",
        "  copied: C:\\Packages\\Client 2.1.0\\inst.exe -> C:\\windows\\Temp\\pathwarden-0123456789abcdef\\inst.exe",
        "  outcome: installer started"}},
      {"nothing to install", latest, {"  decision: nothing to install", "  outcome: nothing to install"}},
      {"copy failed",
       wine_log("copy_failed"),
       {"  outcome: copy failed: CopyFile failed, error <2> (the file was not found)",
        "  next: the installer is not where config.ini says: check C:\\Packages\\Client 2.1.0\\missing.exe"}},
      {"installer name refused",
       wine_log("name_refused"),
       {"  outcome: stopped by a check: installer name refused: leaves the package folder (\"..\")"}},
      {"crashed after the copy", CutAfter(started, "CopyFile from "), {"  outcome: no last line"}},
      {"two runs at once",
       Interleave(started, latest),
       {"  outcome: mixed with another run", "Summary: 2 runs in 1 log", "  mixed with another run: 2 runs in 1 log"}},
      {"a torn line, the run whole",
       CutAfter(latest, "already the latest") + "2026/12/08 21:1\r\n" +
           latest.substr(CutAfter(latest, "already the latest").size()),
       {"  outcome: nothing to install", "  torn lines: 1 (not read as steps)"}},
  };
  const std::string scratch = test::NewTempDir();
  for (const WineCase& c : cases) {
    test::WriteBytes(scratch + "velsetup.log", c.log);
    const CheckResult r = RunCheck({"--log", scratch + "velsetup.log"}, scratch);
    EXPECT_EQ(r.status, 0) << c.name << "\n" << r.err;
    for (const std::string& line : c.lines)
      EXPECT_TRUE(check_test::HasLine(r.out, line)) << c.name << ": " << line << "\n" << r.out;
  }
}

// A folder of logs as collected from a fleet: each run, and the summary of
// runs by outcome and failures by cause with the machines behind each.
TEST(ExplainLog, SummarisesAFleetFromAFolder) {
  const std::string started = RealLog({"older", kConfig, {}, true, {}});
  const std::string failed = RealLog({"no installer", kConfig, {}, false, {}});
  const std::string scratch = test::NewTempDir();
  const std::string fleet = scratch + "fleet/";
  mkdir(fleet.c_str(), 0755);
  mkdir((fleet + "PC-003").c_str(), 0755);
  test::WriteBytes(fleet + "PC-001.log", started);
  test::WriteBytes(fleet + "PC-002.log", failed + started);
  test::WriteBytes(fleet + "PC-003/velsetup.log", failed);
  const CheckResult r = RunCheck({"--log", fleet}, scratch);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> want = {
      "Summary: 4 runs in 3 logs",
      "  installer started: 2 runs in 2 logs",
      "  copy failed: 2 runs in 2 logs",
      "Failures by cause",
      "  CopyFile failed, error <2> (the file was not found): 2 runs in 2 logs: " + fleet + "PC-002.log, " + fleet +
          "PC-003/velsetup.log",
  };
  for (const std::string& line : want) EXPECT_TRUE(check_test::HasLine(r.out, line)) << line << "\n" << r.out;

  const CheckResult json = RunCheck({"--log", "--json", fleet}, scratch);
  test::WriteBytes(scratch + "fleet.json", json.out);
  const std::string command =
      "/usr/bin/python3 -c 'import json,sys; d=json.load(open(sys.argv[1],encoding=\"utf-8\"));"
      " print(len(d[\"runs\"]), d[\"outcomes\"][\"copy failed\"], d[\"failures\"][0][\"runs\"])' " +
      scratch + "fleet.json > " + scratch + "parsed.txt 2>&1";
  EXPECT_EQ(system(command.c_str()), 0) << json.out;
  EXPECT_EQ(test::ReadBytes(scratch + "parsed.txt"), "4 2 2\n") << json.out;

  EXPECT_EQ(RunCheck({"--log", scratch + "missing"}, scratch).status, 2);
  EXPECT_EQ(RunCheck({"--log"}, scratch).status, 2);
}

}  // namespace
