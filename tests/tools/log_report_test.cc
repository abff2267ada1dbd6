// The log explainer's one-home pieces held to what they promise: the
// outcomes in the guide's order and words, the decision as setup makes it,
// the log's shape as setup writes it, and the JSON every report is written
// with.
#include <gtest/gtest.h>

#include <stdio.h>
#include <time.h>

#include <string>
#include <vector>

#include "logic/log_texts.h"
#include "tools/check/json_writer.h"
#include "tools/check/log_grammar.h"
#include "tools/check/log_runs.h"

namespace {

using check::JsonWriter;
using check::Outcome;

// The guide's outcome table, row by row in its order; "failure": listed under
// "Failures by cause" (all but a started installer and nothing to install).
TEST(LogReport, OutcomesInTheGuidesOrderAndWords) {
  struct Row {
    const char* name;
    bool failure;
  };
  const Row guide[] = {
      {"installer started", false}, {"nothing to install", false},      {"copy failed", true},
      {"open failed", true},        {"stopped by a check", true},       {"setup could not run its check", true},
      {"no last line", true},       {"nothing after the banner", true}, {"mixed with another run", true},
  };
  ASSERT_EQ(sizeof guide / sizeof guide[0], check::kOutcomeCount);
  for (size_t i = 0; i < check::kOutcomeCount; ++i) {
    const auto outcome = static_cast<Outcome>(i);
    EXPECT_STREQ(check::OutcomeName(outcome), guide[i].name) << "outcome " << i;
    EXPECT_EQ(check::IsFailure(outcome), guide[i].failure) << guide[i].name;
  }
  // The summary lists them in that order, whatever order the runs came in.
  check::LogSummary summary;
  std::vector<check::LogRun> runs(check::kOutcomeCount);
  for (size_t i = 0; i < runs.size(); ++i) runs[i].outcome = static_cast<Outcome>(runs.size() - 1 - i);
  check::AddToSummary(runs, &summary);
  const std::string plain = check::PlainSummary(summary, false);
  size_t at = 0;
  for (const Row& row : guide) {
    const size_t found = plain.find(std::string("\n  ") + row.name + ": 1 run in 1 log\n", at);
    EXPECT_NE(found, std::string::npos) << row.name << " after offset " << at << " in\n" << plain;
    if (found != std::string::npos) at = found + 1;
  }
}

// Setup installs when the client or the driver it has is older than the
// package's: each decision as the explainer words it.
TEST(LogReport, DecisionAsSetupMakesIt) {
  struct Row {
    int32_t client_installed, client_package, driver_installed, driver_package;
    const char* decision;
  };
  const Row rows[] = {
      {205, 210, 300, 300, "install (client older)"},
      {210, 210, 299, 300, "install (driver older)"},
      {0, 1, -1, 0, "install (client and driver older)"},
      {210, 210, 300, 300, "nothing to install"},
      {1100, 200, 301, 300, "nothing to install"},
      {INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, "install (client older)"},
      {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN, "nothing to install"},
  };
  for (const Row& r : rows) {
    check::LogRun run;
    run.has_client = run.has_driver = true;
    run.client_installed = r.client_installed;
    run.client_package = r.client_package;
    run.driver_installed = r.driver_installed;
    run.driver_package = r.driver_package;
    run.outcome = Outcome::kStarted;
    EXPECT_EQ(check::DecisionOf(run), r.decision)
        << r.client_installed << "/" << r.client_package << " " << r.driver_installed << "/" << r.driver_package;
    run.outcome = Outcome::kInterleaved;
    EXPECT_EQ(check::DecisionOf(run), "") << "a mixed run has no decision";
  }
}

// Lines made with setup's own formats at dates across leap days and the
// turn of years read back as a banner and a step; the steps' stamps are
// seconds apart as the calendar says (each date's seconds since 1970, UTC).
TEST(LogReport, ReadsTheShapeSetupWrites) {
  struct Row {
    const char* date;
    int64_t unix_seconds;
  };
  const Row dates[] = {{"1999-12-31 23:59:59", 946684799},  {"2000-01-01 00:00:00", 946684800},
                       {"2000-02-29 12:30:01", 951827401},  {"2024-02-28 23:59:59", 1709164799},
                       {"2024-03-01 00:00:00", 1709251200}, {"2026-12-08 21:13:47", 1796764427},
                       {"2100-03-01 00:00:00", 4107542400}};
  int64_t first = 0;
  for (const Row& row : dates) {
    const char* date = row.date;
    struct tm t = {};
    ASSERT_EQ(sscanf(date, "%d-%d-%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec),
              6);
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    char banner[64];
    char stamp[64];
    ASSERT_GT(strftime(banner, sizeof banner, logic::log_text::kBanner, &t), 0u);
    ASSERT_GT(strftime(stamp, sizeof stamp, logic::log_text::kStamp, &t), 0u);
    const check::LogLine b = check::ReadLogLine(banner);
    EXPECT_EQ(b.type, check::LogLine::Type::kBanner) << banner;
    EXPECT_EQ(b.when, std::string(date).replace(4, 1, "/").replace(7, 1, "/")) << banner;
    const std::string message = logic::log_text::kPassStart;
    const std::string line = stamp + std::string(1, logic::log_text::kMessageLead) + message;
    const check::LogLine s = check::ReadLogLine(line);
    EXPECT_EQ(s.type, check::LogLine::Type::kStep) << line;
    EXPECT_EQ(s.message, message) << line;
    EXPECT_EQ(s.time, b.time) << date;
    if (&row == dates) first = s.time;
    EXPECT_EQ(s.time - first, row.unix_seconds - dates[0].unix_seconds) << date;
    // Without the space before the message, or with the banner's TAB in a
    // step's stamp, the line is not setup's.
    EXPECT_EQ(check::ReadLogLine(stamp + message).type, check::LogLine::Type::kDamage) << line;
    EXPECT_EQ(check::ReadLogLine(std::string(banner).substr(0, 19) + "\t " + message).type,
              check::LogLine::Type::kDamage)
        << banner;
  }
  EXPECT_EQ(check::ReadLogLine(logic::log_text::kRule).type, check::LogLine::Type::kRule);
  EXPECT_EQ(check::ReadLogLine(std::string(logic::log_text::kRule) + "=").type, check::LogLine::Type::kDamage);
  EXPECT_EQ(check::ReadLogLine(std::string(logic::log_text::kRule).substr(1)).type, check::LogLine::Type::kDamage);
}

// The writer's output, written from JSON's grammar: commas only between
// members, a line break where asked, none before an empty container's end.
TEST(LogReport, JsonWriterPutsCommasAndBreaks) {
  struct Row {
    const char* name;
    void (*write)(JsonWriter* w);
    const char* json;
  };
  const Row rows[] = {
      {"empty object", [](JsonWriter* w) { w->Open().Close(); }, "{}"},
      {"empty list closed on its own line", [](JsonWriter* w) { w->OpenList().Close(2); }, "[]"},
      {"members on one line",
       [](JsonWriter* w) { w->Open().Name("a").Number(-1).Name("b").Bool(true).Name("c").Text("x").Close(); },
       "{\"a\": -1, \"b\": true, \"c\": \"x\"}"},
      {"members on lines of their own",
       [](JsonWriter* w) { w->Open().Name("a", 2).Bool(false).Name("b", 2).OpenList().Close().Close(0); },
       "{\n  \"a\": false,\n  \"b\": []\n}"},
      {"nested lists and objects",
       [](JsonWriter* w) {
         w->OpenList().Item(4).Open().Name("k").OpenList().Item().Number(1).Item().Number(2).Close().Close();
         w->Item(4).Open().Close().Close(2);
       },
       "[\n    {\"k\": [1, 2]},\n    {}\n  ]"},
      {"escapes in names and texts", [](JsonWriter* w) { w->Open().Name("q\"b\\").Text("tab\t\x01").Close(); },
       "{\"q\\\"b\\\\\": \"tab\\u0009\\u0001\"}"},
      {"a list of texts",
       [](JsonWriter* w) {
         const std::string texts[] = {"a", "", "c"};
         w->TextList(texts, 3);
       },
       "[\"a\", \"\", \"c\"]"},
      {"a close with nothing open writes nothing", [](JsonWriter* w) { w->Close().Open().Close().Close(); }, "{}"},
  };
  for (const Row& r : rows) {
    std::string out;
    JsonWriter w(&out);
    r.write(&w);
    EXPECT_EQ(out, r.json) << r.name;
  }
}

}  // namespace
