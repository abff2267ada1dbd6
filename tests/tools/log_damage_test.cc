// The log explainer's promises as properties, over real logs (runs of the
// POSIX setup program, and those setup.exe wrote under Wine) damaged by
// program: cut at every byte, two runs mixed at random points, re-saved in
// every encoding. A damaged log may get fewer facts than the whole one,
// never other ones: no step from a torn line, a verdict only from its own
// run's lines, one run per banner.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/tools/check_run.h"
#include "tests/tools/real_logs.h"
#include "tools/check/log_runs.h"

namespace {

using check::LogRun;
using check::Outcome;
using check_test::RealLog;

const unsigned kSeed = 23;
const int kMixedCases = 400;

std::vector<LogRun> Read(const std::string& log, std::string* why = nullptr) {
  std::vector<LogRun> runs;
  std::string reason;
  EXPECT_TRUE(check::ReadLogRuns("m.log", log, &runs, why ? why : &reason)) << reason;
  return runs;
}

// What a run says happened, as a line.
std::string Facts(const LogRun& r) {
  std::string f = r.when + "|";
  if (r.has_client) f += "client " + std::to_string(r.client_installed) + "/" + std::to_string(r.client_package);
  if (r.has_driver) f += " driver " + std::to_string(r.driver_installed) + "/" + std::to_string(r.driver_package);
  return f + "|" + check::DecisionOf(r) + "|" + r.source + ">" + r.target + r.copy_line + "|" +
         check::OutcomeName(r.outcome) + "|" + r.cause;
}

// The pieces of the guide's log format, as the guide words them.
const std::regex kBanner("^\\d{4}/\\d\\d/\\d\\d\\t\\d\\d:\\d\\d:\\d\\d\\tPathwarden Installer$");
const std::regex kFrame("^(={71})?$");

struct Lines {
  int banners = 0;        // whole banner lines
  int steps = 0;          // other whole lines but blanks and rules
  int torn = 0;           // lines without their line end, or with another
  bool headless = false;  // before the first banner, something but whole blank lines and rules
};

// The lines of `log`, whose line end is `crs` CRs and a LF.
Lines Count(const std::string& log, size_t crs) {
  Lines n;
  size_t start = 0;
  while (start < log.size()) {
    const size_t end = log.find('\n', start);
    std::string line = log.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? log.size() : end + 1;
    size_t have = 0;
    while (!line.empty() && line.back() == '\r') line.pop_back(), ++have;
    if (end == std::string::npos || have != crs) {
      ++n.torn;
      if (n.banners == 0) n.headless = true;
    } else if (std::regex_match(line, kBanner)) {
      ++n.banners;
    } else if (!std::regex_match(line, kFrame)) {
      ++n.steps;
      if (n.banners == 0) n.headless = true;
    }
  }
  return n;
}

// The CRs before each LF where `log` was written.
size_t CrsOf(const std::string& log) { return log.find("\r\n") == std::string::npos ? 0 : 1; }

// Fewer facts than `whole`, never others: a cut run may lose its verdict.
void ExpectSubset(const LogRun& cut, const LogRun& whole, const std::string& name) {
  if (cut.outcome == Outcome::kInterleaved) return;
  if (cut.has_client) {
    EXPECT_EQ(cut.client_package, whole.client_package) << name;
  }
  if (cut.has_client) {
    EXPECT_EQ(cut.client_installed, whole.client_installed) << name;
  }
  if (cut.has_driver) {
    EXPECT_EQ(cut.driver_package, whole.driver_package) << name;
  }
  if (!cut.source.empty()) {
    EXPECT_EQ(cut.source + ">" + cut.target, whole.source + ">" + whole.target) << name;
  }
  if (cut.outcome != Outcome::kIncomplete && cut.outcome != Outcome::kEmpty) {
    EXPECT_EQ(Facts(cut), Facts(whole)) << name;
  }
}

// Every stamp of `log` in another year: a run long after.
std::string Later(const std::string& log) { return std::regex_replace(log, std::regex("(^|\\n)\\d{4}/"), "$012099/"); }

struct Source {
  std::string name;
  std::string log;  // one run, as setup wrote it
};

std::vector<Source> Sources() {
  std::vector<Source> s;
  const char* dir = getenv("PATHWARDEN_SOURCE_DIR");
  EXPECT_NE(dir, nullptr);
  for (const char* name : {"started", "up_to_date", "copy_failed", "name_refused"}) {
    s.push_back(
        {std::string("wine ") + name, test::ReadBytes(std::string(dir) + "/tests/tools/logs/" + name + ".log")});
  }
  s.push_back({"posix started", RealLog({"older", check_test::kConfig, {}, true, {}})});
  s.push_back({"posix copy failed", RealLog({"no installer", check_test::kConfig, {}, false, {}})});
  s.push_back({"posix open failed", RealLog({"open", check_test::kConfig, {}, true, {"VELSETUP_SHELL_RESULT=31"}})});
  return s;
}

TEST(LogDamage, CutAtEveryByte) {
  const std::vector<Source> sources = Sources();
  for (const Source& src : sources) {
    const std::vector<LogRun> whole = Read(src.log);
    ASSERT_EQ(whole.size(), 1u) << src.name;
    // The next run on the same machine (the same line ends).
    const std::string next = Later(sources[CrsOf(src.log) == CrsOf(sources[1].log) ? 1 : sources.size() - 1].log);
    const LogRun after = Read(next)[0];
    for (size_t k = 0; k <= src.log.size(); ++k) {
      const std::string cut = src.log.substr(0, k);
      const std::string name = src.name + " cut at " + std::to_string(k);
      const Lines lines = Count(cut, CrsOf(src.log));
      const std::vector<LogRun> runs = Read(cut);
      ASSERT_EQ(runs.size(), static_cast<size_t>(lines.banners + (lines.headless ? 1 : 0))) << name;
      int steps = 0;
      int torn = 0;
      for (const LogRun& r : runs) {
        steps += r.steps;
        torn += r.torn;
        ExpectSubset(r, whole[0], name);
      }
      EXPECT_EQ(steps, lines.steps) << name << ": a torn line read as a step, or a whole one not read";
      EXPECT_EQ(torn, lines.torn) << name;
      // The next run appends to what the crash left: it is read whole.
      const std::vector<LogRun> then = Read(cut + next);
      const Lines then_lines = Count(cut + next, CrsOf(src.log));
      ASSERT_EQ(then.size(), static_cast<size_t>(then_lines.banners + (then_lines.headless ? 1 : 0))) << name;
      for (size_t i = 0; i + 1 < then.size(); ++i) ExpectSubset(then[i], whole[0], name + ", then a run");
      EXPECT_EQ(Facts(then.back()), Facts(after)) << name << ", then a run";
    }
  }
}

// The lines of `log` in writes: the banner goes with the first line.
std::vector<std::string> Writes(const std::string& log) {
  std::vector<std::string> out;
  size_t start = 0;
  int frame = 0;
  std::string pending;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    end = end == std::string::npos ? log.size() : end + 1;
    pending += log.substr(start, end - start);
    start = end;
    if (++frame >= 5) out.push_back(std::move(pending)), pending.clear();
  }
  if (!pending.empty()) out.push_back(pending);
  return out;
}

// Two runs written at once, mixed at random points, either maybe cut short:
// each run that is given a verdict has its own lines' facts.
TEST(LogDamage, TwoRunsAtOnce) {
  const std::vector<Source> sources = Sources();
  std::mt19937 random(kSeed);
  for (int c = 0; c < kMixedCases; ++c) {
    // Runs on one machine: both Wine's, or both the POSIX build's (their line ends differ).
    const size_t wine = 4;
    const bool posix = random() % 2;
    const Source& a = sources[posix ? wine + random() % (sources.size() - wine) : random() % wine];
    const Source& b = sources[posix ? wine + random() % (sources.size() - wine) : random() % wine];
    std::vector<std::string> wa = Writes(a.log);
    // The second run's banner shows another second, to tell its facts apart.
    std::vector<std::string> wb =
        Writes(std::regex_replace(b.log, std::regex(":\\d\\d\\tPathwarden"), ":61\tPathwarden"));
    if (random() % 3 == 0) wa.resize(1 + random() % wa.size());
    if (random() % 3 == 0) wb.resize(1 + random() % wb.size());
    std::string mixed;
    std::string alone_a;
    std::string alone_b;
    size_t ia = 0;
    size_t ib = 0;
    while (ia < wa.size() || ib < wb.size()) {
      // The first run's banner comes first; then either, at random.
      const bool take_a = ib == wb.size() || ia == 0 || (ia < wa.size() && random() % 2);
      std::string& alone = take_a ? alone_a : alone_b;
      const std::string& write = take_a ? wa[ia++] : wb[ib++];
      mixed += write;
      alone += write;
    }
    const std::string name = "case " + std::to_string(c) + ": " + a.name + " with " + b.name + "\n" + mixed;
    const std::vector<LogRun> runs = Read(mixed);
    ASSERT_EQ(runs.size(), 2u) << name;
    const LogRun own[2] = {Read(alone_a)[0], Read(alone_b)[0]};
    for (const LogRun& r : runs) {
      const LogRun& mine = r.when == own[0].when ? own[0] : own[1];
      if (r.outcome != Outcome::kInterleaved) {
        EXPECT_EQ(Facts(r), Facts(mine)) << name;
      }
    }
  }
}

// `log` (ASCII) as UTF-16 with its byte-order mark.
std::string Utf16(const std::string& log, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char c : log) {
    EXPECT_GE(c, 0) << "ASCII only";
    out += big_endian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
  }
  return out;
}

// `log` with `end` for each line end.
std::string WithLineEnds(const std::string& log, const std::string& end) {
  return std::regex_replace(log, std::regex("\r*\n"), end);
}

// Everything the reader gives of each run, torn lines too.
std::string AllOf(const std::vector<LogRun>& runs) {
  std::string all;
  for (const LogRun& r : runs) {
    all += Facts(r) + " steps " + std::to_string(r.steps) + " torn " + std::to_string(r.torn) + "\n";
  }
  return all;
}

// Re-saved (Notepad's UTF-8 and "Unicode", a text-mode copy, a conversion to
// LF), a log reads exactly as it was written: whole, cut, or mixed.
TEST(LogDamage, ReSavedReadsAsWritten) {
  const std::vector<Source> sources = Sources();
  std::vector<std::string> logs;
  for (const Source& s : sources) {
    logs.push_back(s.log);
    logs.push_back(s.log + s.log.substr(0, s.log.size() / 2));  // the second run cut
  }
  logs.push_back(sources[0].log + sources[1].log + sources[2].log);
  for (const std::string& written : logs) {
    const std::string crlf = WithLineEnds(written, "\r\n");
    const std::string want = AllOf(Read(crlf));
    const std::vector<std::pair<const char*, std::string>> saved = {
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + crlf},
        {"UTF-16 LE", Utf16(crlf, false)},
        {"UTF-16 BE", Utf16(crlf, true)},
        {"LF", WithLineEnds(written, "\n")},
        {"CR CR LF", WithLineEnds(written, "\r\r\n")},
        {"UTF-16 LE, CR CR LF", Utf16(WithLineEnds(written, "\r\r\n"), false)},
    };
    for (const auto& [how, bytes] : saved) EXPECT_EQ(AllOf(Read(bytes)), want) << how << "\n" << crlf;
  }
  // What cannot be read exactly is refused, with its reason.
  const std::string crlf = sources[0].log;
  const std::vector<std::pair<std::string, const char*>> refused = {
      {Utf16(crlf, false).substr(2), "UTF-16 without its byte-order mark"},
      {Utf16(crlf, false) + "x", "odd number of bytes"},
      {Utf16(crlf, false) + std::string("\x00\xD8", 2), "lone surrogate"},
      {WithLineEnds(crlf, "\r"), "CR alone"},
  };
  for (const auto& [bytes, reason] : refused) {
    std::vector<LogRun> runs;
    std::string why;
    EXPECT_FALSE(check::ReadLogRuns("m.log", bytes, &runs, &why)) << reason;
    EXPECT_NE(why.find(reason), std::string::npos) << why;
    EXPECT_TRUE(runs.empty()) << reason;
  }
}

}  // namespace
