// The log explainer's reports: each run, and a fleet's summary, in plain
// text, JSON and JSON lines, from the same facts.
#include <algorithm>

#include "formats/ascii.h"
#include "logic/decision.h"
#include "tools/check/check.h"
#include "tools/check/json_writer.h"
#include "tools/check/log_runs.h"

namespace check {
namespace {

// The cause a fleet's failures are grouped by.
std::string CauseOf(const LogRun& run) { return run.cause.empty() ? OutcomeName(run.outcome) : run.cause; }

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Num(int64_t n) { return std::to_string(n); }

std::string CountsOf(const LogGroup& g) { return Count(g.runs, "run", "runs") + " in " + Count(g.logs, "log", "logs"); }

void AddTo(LogGroup* group, const std::string& file, bool new_log, bool keep_machine) {
  ++group->runs;
  if (!new_log) return;
  ++group->logs;
  if (keep_machine) group->machines.push_back(file);
}

}  // namespace

std::string DecisionOf(const LogRun& run) {
  if (!run.has_client || !run.has_driver || run.outcome == Outcome::kInterleaved) return "";
  if (!logic::MachineIsOlder(run.client_installed, run.client_package, run.driver_installed, run.driver_package)) {
    return "nothing to install";
  }
  const bool client = logic::IsOlder(run.client_installed, run.client_package);
  const bool driver = logic::IsOlder(run.driver_installed, run.driver_package);
  return std::string("install (") + (client && driver ? "client and driver" : client ? "client" : "driver") + " older)";
}

void AddToSummary(const std::vector<LogRun>& runs, LogSummary* summary) {
  ++summary->logs;
  bool outcome_seen[kOutcomeCount] = {};
  std::vector<const std::string*> causes_seen;
  for (const LogRun& run : runs) {
    ++summary->runs;
    const size_t o = static_cast<size_t>(run.outcome);
    AddTo(&summary->outcomes[o], run.file, !outcome_seen[o], false);
    outcome_seen[o] = true;
    if (!IsFailure(run.outcome)) continue;
    const std::string cause = CauseOf(run);
    auto it = summary->causes.find(cause);
    if (it == summary->causes.end()) it = summary->causes.emplace(cause, LogGroup()).first;
    bool seen = false;
    for (const std::string* c : causes_seen) seen = seen || *c == cause;
    AddTo(&it->second, run.file, !seen, true);
    if (!seen) causes_seen.push_back(&it->first);
  }
}

std::string PlainRun(const LogRun& run) {
  std::string out = run.file + ", run " + std::to_string(run.index) + ": " +
                    (run.when.empty() ? "no banner (the log's start is missing)" : run.when) + "\n";
  if (run.has_client) {
    out += "  client: installed " + Num(run.client_installed) + ", package " + Num(run.client_package) + "\n";
  }
  if (run.has_driver) {
    out += "  driver: installed " + Num(run.driver_installed) + ", package " + Num(run.driver_package) + "\n";
  }
  const std::string decision = DecisionOf(run);
  if (!decision.empty()) out += "  decision: " + decision + "\n";
  if (!run.source.empty()) out += "  copied: " + run.source + " -> " + run.target + "\n";
  if (!run.copy_line.empty())
    out += "  copied (which \" to \" divides the paths is ambiguous): " + run.copy_line + "\n";
  out += "  outcome: " + std::string(OutcomeName(run.outcome));
  if (!run.cause.empty()) out += ": " + run.cause;
  out += "\n";
  if (run.torn > 0) out += "  torn lines: " + std::to_string(run.torn) + " (not read as steps)\n";
  for (const std::string& d : run.damage) out += "    torn: " + d + "\n";
  if (!run.next.empty()) out += "  next: " + run.next + "\n";
  return out;
}

std::string PlainSummary(const LogSummary& s, bool all_machines) {
  std::string out = "Summary: " + Count(s.runs, "run", "runs") + " in " + Count(s.logs, "log", "logs");
  if (!s.bad.empty()) out += "; " + Count(s.bad.size(), "input", "inputs") + " could not be read (below)";
  out += "\n";
  for (size_t o = 0; o < kOutcomeCount; ++o) {
    if (s.outcomes[o].runs == 0) continue;
    out += "  " + std::string(OutcomeName(static_cast<Outcome>(o))) + ": " + CountsOf(s.outcomes[o]) + "\n";
  }
  if (!s.causes.empty()) out += "Failures by cause\n";
  for (const auto& [cause, group] : s.causes) {
    out += "  " + cause + ": " + CountsOf(group) + ": ";
    const size_t shown = all_machines ? group.machines.size() : std::min(group.machines.size(), kMachinesShown);
    for (size_t i = 0; i < shown; ++i) out += (i ? ", " : "") + group.machines[i];
    if (shown < group.machines.size()) {
      out += " and " + std::to_string(group.machines.size() - shown) + " more (--all lists them)";
    }
    out += "\n";
  }
  if (!s.bad.empty()) out += "Inputs not read\n";
  for (const BadInput& b : s.bad) out += "  " + b.path + ": " + b.reason + "\n";
  return out;
}

void WriteJsonRun(const LogRun& run, JsonWriter* json) {
  JsonWriter& w = *json;
  w.Name("file").Text(run.file).Name("run").Number(run.index).Name("when").Text(run.when);
  if (run.has_client) {
    w.Name("client").Open().Name("installed").Number(run.client_installed);
    w.Name("package").Number(run.client_package).Close();
  }
  if (run.has_driver) {
    w.Name("driver").Open().Name("installed").Number(run.driver_installed);
    w.Name("package").Number(run.driver_package).Close();
  }
  const std::string decision = DecisionOf(run);
  if (!decision.empty()) w.Name("decision").Text(decision);
  if (!run.source.empty()) w.Name("source").Text(run.source).Name("target").Text(run.target);
  if (!run.copy_line.empty()) w.Name("copy_ambiguous").Text(run.copy_line);
  w.Name("outcome").Text(OutcomeName(run.outcome)).Name("failed").Bool(IsFailure(run.outcome));
  if (!run.cause.empty()) w.Name("cause").Text(run.cause);
  if (run.code >= 0) w.Name("code").Number(run.code);
  w.Name("ended").Bool(run.ended).Name("torn_lines").Number(run.torn);
  w.Name("torn").TextList(run.damage.data(), run.damage.size());
  w.Name("next").Text(run.next);
}

std::string JsonRun(const LogRun& run) {
  std::string out;
  JsonWriter w(&out);
  w.Open();
  WriteJsonRun(run, &w);
  w.Close();
  return out;
}

void WriteJsonSummary(const LogSummary& s, JsonWriter* json, int indent) {
  JsonWriter& w = *json;
  w.Name("run_count", indent).Number(s.runs).Name("log_count").Number(s.logs);
  w.Name("outcomes").Open();
  for (size_t o = 0; o < kOutcomeCount; ++o) {
    if (s.outcomes[o].runs > 0) w.Name(OutcomeName(static_cast<Outcome>(o))).Number(s.outcomes[o].runs);
  }
  w.Close().Name("logs_by_outcome").Open();
  for (size_t o = 0; o < kOutcomeCount; ++o) {
    if (s.outcomes[o].runs > 0) w.Name(OutcomeName(static_cast<Outcome>(o))).Number(s.outcomes[o].logs);
  }
  w.Close().Name("failures").OpenList();
  for (const auto& [cause, group] : s.causes) {
    w.Item().Open().Name("cause").Text(cause).Name("runs").Number(group.runs).Name("logs").Number(group.logs);
    w.Name("machines").TextList(group.machines.data(), group.machines.size()).Close();
  }
  w.Close().Name("unreadable").OpenList();
  for (const BadInput& b : s.bad) w.Item().Open().Name("file").Text(b.path).Name("reason").Text(b.reason).Close();
  w.Close();
}

std::string JsonSummary(const LogSummary& s) {
  std::string out;
  JsonWriter w(&out);
  w.Open();
  WriteJsonSummary(s, &w, JsonWriter::kSameLine);
  w.Close();
  return out;
}

// Bytes that a terminal takes as commands (C0 controls but the line end,
// DEL, and C1 controls in UTF-8) shown as \xNN, as the JSON escapes them.
std::string TerminalText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  auto hex = [&out](unsigned char c) {
    out += "\\x";
    out += formats::HexDigit(c >> 4);
    out += formats::HexDigit(c);
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
    if ((c < 0x20 && c != '\n') || c == 0x7F || c1) {
      hex(c);
      if (c1) hex(static_cast<unsigned char>(text[++i]));
      continue;
    }
    out += text[i];
  }
  return out;
}

}  // namespace check
