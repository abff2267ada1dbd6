// pathwarden-check --log on logs the POSIX setup program wrote itself, as
// written and as they reach support: cut off by a crash, with a torn line,
// banner only, mixed with another run's lines, many logs in a folder.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/support/setup_run.h"
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

// Logs as they reach support, where the tool must doubt rather than answer:
// re-saved, torn inside a number, written by two runs at once, numbers past
// what setup writes, paths that hold " to ", bytes a terminal obeys.
TEST(ExplainLog, DoubtsWhereTheLogDoes) {
  const char* source = getenv("PATHWARDEN_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  const auto wine_log = [&](const char* name) {
    return test::ReadBytes(std::string(source) + "/tests/tools/logs/" + name + ".log");
  };
  const std::string started = wine_log("started");
  const std::string latest = wine_log("up_to_date");
  std::string utf16 = "\xFF\xFE";
  for (const char c : started) utf16 += std::string(1, c) + '\0';
  std::string crcrlf;
  for (const char c : started) crcrlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::vector<std::string> a = SplitLines(CutAfter(started, "InstallPackage START"));
  const std::vector<std::string> b = SplitLines(latest);
  std::string crashed_while_other_ran;  // b starts, a starts and crashes, b goes on
  for (size_t i = 0; i < 6; ++i) crashed_while_other_ran += b[i] + "\n";
  for (size_t i = 0; i < a.size(); ++i) crashed_while_other_ran += a[i] + "\n";
  for (size_t i = 6; i < b.size(); ++i) crashed_while_other_ran += b[i] + "\n";
  const std::string stamp = "2026/12/08 21:13:47\t ";
  const std::string copy =
      CutAfter(started, "OnInitDialog") + stamp + "CSetupDlg::InstallPackage START\r\n" + stamp + "CopyFile from ";
  const std::string closing = "\r\n" + stamp + "CSetupDlg::OnFinish START\r\n" + stamp + "CSetupDlg::OnFinish END\r\n" +
                              stamp + "CSetupDlg::InstallPackage END\r\n";
  struct DoubtCase {
    const char* name;
    std::string log;
    std::vector<std::string> outcomes;
    std::vector<std::string> lines;   // whole lines of the report
    std::vector<std::string> absent;  // never in the report
  };
  const std::vector<DoubtCase> cases = {
      {"saved as UTF-8 with its mark", "\xEF\xBB\xBF" + started, {"installer started"}, {}, {"torn"}},
      {"saved as UTF-16", utf16, {"installer started"}, {}, {"torn"}},
      {"copied in text mode: CR CR LF", crcrlf, {"installer started"}, {}, {"torn"}},
      {"the last line cut in a number",
       CutAfter(latest, "InstallPackage START") + stamp +
           "CSetupDlg::InstallPackage nLocalFLVersion=<210>, nConfigFLVersion=<21",
       {"no last line"},
       {"  torn lines: 1 (not read as steps)"},
       {"package 21"}},
      {"a line cut in the error, then the next run",
       CutAfter(started, "CopyFile from ") + stamp + "CSetupDlg::InstallPackage - CopyFile failed, error <3" +
           std::regex_replace(latest, std::regex("2026/12/08"), "2026/12/09"),
       {"no last line", "nothing to install"},
       {},
       {"error <3>"}},
      {"a CopyFile line twice",
       CutAfter(started, "CopyFile from ") + SplitLines(CutAfter(started, "CopyFile from ")).back() + "\n" +
           started.substr(CutAfter(started, "CopyFile from ").size()),
       {"mixed with another run"},
       {},
       {"installer started"}},
      {"OnFinish twice",
       CutAfter(latest, "OnFinish END") + latest.substr(CutAfter(latest, "already the latest").size()),
       {"mixed with another run"},
       {},
       {}},
      {"a run crashed while another ran",
       crashed_while_other_ran,
       {"mixed with another run", "mixed with another run"},
       {},
       {"installer started", "nothing to install"}},
      {"a number past 32 bits",
       Replaced(latest, "<210>, nConfigFLVersion", "<4294967296>, nConfigFLVersion"),
       {"nothing to install"},
       {"  torn lines: 1 (not read as steps)"},
       {"  client:"}},
      {"a number past 31 bits",
       Replaced(latest, "<210>, nConfigFLVersion", "<2147483648>, nConfigFLVersion"),
       {"nothing to install"},
       {"  torn lines: 1 (not read as steps)"},
       {"  client:", "-2147483648"}},
      {"twenty digits",
       Replaced(latest, "<210>, nConfigFLVersion", "<99999999999999999999>, nConfigFLVersion"),
       {"nothing to install"},
       {"  torn lines: 1 (not read as steps)"},
       {"  client:", "-1"}},
      {"a folder with ten \" to \"",
       copy + "C:\\P\\a to b to c to d to e to f to g to h to i to j\\inst.exe to C:\\Temp\\inst.exe" + closing,
       {"installer started"},
       {"  copied: C:\\P\\a to b to c to d to e to f to g to h to i to j\\inst.exe -> C:\\Temp\\inst.exe"},
       {}},
      {"two splits fit",
       copy + "/a/n to /b/n to /c/n" + closing,
       {"installer started"},
       {"  copied (which \" to \" divides the paths is ambiguous): /a/n to /b/n to /c/n"},
       {"  copied: "}},
      {"an elevated run's copy into its private folder",
       copy + "C:\\Client to go\\inst.exe to C:\\Windows\\Temp\\pathwarden-0123456789abcdef\\inst.exe" + closing,
       {"installer started"},
       {"  copied: C:\\Client to go\\inst.exe -> C:\\Windows\\Temp\\pathwarden-0123456789abcdef\\inst.exe"},
       {}},
      // Every candidate target ends the same line: its folder cannot choose.
      {"two splits fit, the target in a private folder",
       copy + "/a/n to /b/n to /tmp/pathwarden-0123456789abcdef/n" + closing,
       {"installer started"},
       {"  copied (which \" to \" divides the paths is ambiguous): /a/n to /b/n to /tmp/pathwarden-0123456789abcdef/n"},
       {"  copied: "}},
      {"a path that retitles the terminal",
       copy + "C:\\P\\\x1b]0;pwned\x07\\inst.exe to C:\\Temp\\inst.exe" + closing,
       {"installer started"},
       {"  copied: C:\\P\\\\x1b]0;pwned\\x07\\inst.exe -> C:\\Temp\\inst.exe"},
       {"\x1b", "\x07"}},
  };
  const std::string scratch = test::NewTempDir();
  for (const DoubtCase& c : cases) {
    test::WriteBytes(scratch + "velsetup.log", c.log);
    const CheckResult r = RunCheck({"--log", scratch + "velsetup.log"}, scratch);
    EXPECT_EQ(r.status, 0) << c.name << "\n" << r.err;
    EXPECT_EQ(Outcomes(r.out), c.outcomes) << c.name << "\n" << r.out;
    for (const std::string& line : c.lines)
      EXPECT_TRUE(check_test::HasLine(r.out, line)) << c.name << ": " << line << "\n" << r.out;
    for (const std::string& text : c.absent)
      EXPECT_EQ(r.out.find(text), std::string::npos) << c.name << ": " << text << "\n" << r.out;
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

// A collected share: deep folders, a file that cannot be read, a log too
// large, twelve machines behind one cause. Every bad input is named, the rest
// explained; the summary comes first, each cause with a few machines.
TEST(ExplainLog, FleetsNameBadInputsAndStayReadable) {
  const std::string failed = RealLog({"no installer", kConfig, {}, false, {}});
  const std::string started = RealLog({"older", kConfig, {}, true, {}});
  const std::string scratch = test::NewTempDir();
  std::string deep = scratch + "share/";
  mkdir(deep.c_str(), 0755);
  for (const char* level : {"site", "building", "floor", "room", "rack", "machine", "2026", "12", "09", "run"}) {
    deep += std::string(level) + "/";
    mkdir(deep.c_str(), 0755);
  }
  test::WriteBytes(deep + "velsetup.log", started);
  for (int i = 0; i < 12; ++i) test::WriteBytes(scratch + "share/PC-" + std::to_string(100 + i) + ".log", failed);
  test::WriteBytes(scratch + "share/unreadable.log", started);
  chmod((scratch + "share/unreadable.log").c_str(), 0);
  const bool root = geteuid() == 0;  // root reads it all the same
  // Past the cap, without the disk: a sparse file.
  const std::string huge = scratch + "share/huge.log";
  test::WriteBytes(huge, "");
  ASSERT_EQ(truncate(huge.c_str(), (257ll << 20)), 0);
  const std::string missing = scratch + "missing.log";

  const CheckResult r = RunCheck({"--log", scratch + "share", missing}, scratch);
  EXPECT_EQ(r.status, 1) << r.err;
  const std::vector<std::string> out = SplitLines(r.out);
  ASSERT_FALSE(out.empty());
  const std::string read = root ? "14" : "13";  // root reads the unreadable file all the same
  EXPECT_EQ(out[0], "Summary: " + read + " runs in " + read + " logs; " + std::to_string(root ? 2 : 3) +
                        " inputs could not be read (below)")
      << r.out;
  const std::string pc = scratch + "share/PC-1";
  const std::vector<std::string> want = {
      root ? "  installer started: 2 runs in 2 logs" : "  installer started: 1 run in 1 log",
      "  CopyFile failed, error <2> (the file was not found): 12 runs in 12 logs: " + pc + "00.log, " + pc +
          "01.log, " + pc + "02.log, " + pc + "03.log, " + pc + "04.log and 7 more (--all lists them)",
      "  " + huge + ": larger than 256 MiB, the most the tool reads",
      "  " + missing + ": not found",
  };
  for (const std::string& line : want) EXPECT_TRUE(check_test::HasLine(r.out, line)) << line << "\n" << r.out;
  if (!root) {
    EXPECT_NE(r.out.find(scratch + "share/unreadable.log: cannot be opened"), std::string::npos) << r.out;
  }
  EXPECT_EQ(r.out.find(", run 1:"), std::string::npos) << "no run's details unless asked\n" << r.out;
  EXPECT_NE(RunCheck({"--log", "--all", scratch + "share"}, scratch).out.find(pc + "11.log"), std::string::npos);
  EXPECT_NE(RunCheck({"--log", "--runs", scratch + "share"}, scratch).out.find(deep + "velsetup.log, run 1:"),
            std::string::npos);

  // JSON and JSON lines carry the same: each run's decision, logs per outcome, the inputs not read.
  const CheckResult json = RunCheck({"--log", "--json", scratch + "share", missing}, scratch);
  const CheckResult lines = RunCheck({"--log", "--jsonl", scratch + "share", missing}, scratch);
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(lines.status, 1);
  test::WriteBytes(scratch + "fleet.json", json.out);
  test::WriteBytes(scratch + "fleet.jsonl", lines.out);
  const std::string command =
      "/usr/bin/python3 -c 'import json,sys; d=json.load(open(sys.argv[1],encoding=\"utf-8\"));"
      " l=[json.loads(x) for x in open(sys.argv[2],encoding=\"utf-8\")];"
      " print(d[\"runs\"][0][\"decision\"], d[\"logs_by_outcome\"][\"copy failed\"], len(d[\"unreadable\"]),"
      " sum(x[\"type\"]==\"run\" for x in l), l[-1][\"logs_by_outcome\"]==d[\"logs_by_outcome\"],"
      " [x for x in l if x[\"type\"]==\"run\"]==[dict(x, type=\"run\") for x in d[\"runs\"]])' " +
      scratch + "fleet.json " + scratch + "fleet.jsonl > " + scratch + "parsed.txt 2>&1";
  EXPECT_EQ(system(command.c_str()), 0) << json.out;
  EXPECT_EQ(test::ReadBytes(scratch + "parsed.txt"),
            std::string("install (client and driver older) 12 ") + (root ? "2" : "3") + " " + read + " True True\n")
      << json.out;
  EXPECT_EQ(RunCheck({"--log", missing}, scratch).status, 2) << "nothing read";
  chmod((scratch + "share/unreadable.log").c_str(), 0644);
}

}  // namespace
