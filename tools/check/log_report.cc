// The log explainer's reports: each run, then a fleet's summary.
#include <map>
#include <set>

#include "tools/check/check.h"
#include "tools/check/log_runs.h"

namespace check {
namespace {

const Outcome kOutcomes[] = {Outcome::kStarted,    Outcome::kUpToDate, Outcome::kCopyFailed,
                             Outcome::kOpenFailed, Outcome::kStopped,  Outcome::kNotStarted,
                             Outcome::kIncomplete, Outcome::kEmpty,    Outcome::kInterleaved};

bool IsFailure(Outcome o) { return o != Outcome::kStarted && o != Outcome::kUpToDate; }

// The cause a fleet's failures are grouped by.
std::string CauseOf(const LogRun& run) { return run.cause.empty() ? OutcomeName(run.outcome) : run.cause; }

std::string DecisionOf(const LogRun& run) {
  if (!run.has_client || !run.has_driver) return "";
  const bool client = run.client_installed < run.client_package;
  const bool driver = run.driver_installed < run.driver_package;
  if (!client && !driver) return "nothing to install";
  return std::string("install (") + (client && driver ? "client and driver" : client ? "client" : "driver") + " older)";
}

struct Group {
  int runs = 0;
  std::set<std::string> machines;
};

// Runs by outcome and failures by cause, each with its machines (log files).
void Summarise(const std::vector<LogRun>& runs, std::map<Outcome, Group>* by_outcome,
               std::map<std::string, Group>* by_cause) {
  for (const LogRun& run : runs) {
    Group& o = (*by_outcome)[run.outcome];
    ++o.runs;
    o.machines.insert(run.file);
    if (!IsFailure(run.outcome)) continue;
    Group& c = (*by_cause)[CauseOf(run)];
    ++c.runs;
    c.machines.insert(run.file);
  }
}

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Machines(const std::set<std::string>& machines) {
  std::string out;
  for (const std::string& m : machines) out += (out.empty() ? "" : ", ") + m;
  return out;
}

}  // namespace

std::string PlainLogReport(const std::vector<LogRun>& runs) {
  std::string out;
  for (const LogRun& run : runs) {
    out += run.file + ", run " + std::to_string(run.index) + ": " +
           (run.when.empty() ? "no banner (the log's start is missing)" : run.when) + "\n";
    if (run.has_client) {
      out += "  client: installed " + std::to_string(run.client_installed) + ", package " +
             std::to_string(run.client_package) + "\n";
    }
    if (run.has_driver) {
      out += "  driver: installed " + std::to_string(run.driver_installed) + ", package " +
             std::to_string(run.driver_package) + "\n";
    }
    const std::string decision = DecisionOf(run);
    if (!decision.empty() && run.outcome != Outcome::kInterleaved) out += "  decision: " + decision + "\n";
    if (!run.source.empty()) out += "  copied: " + run.source + " -> " + run.target + "\n";
    out += "  outcome: " + std::string(OutcomeName(run.outcome));
    if (!run.cause.empty()) out += ": " + run.cause;
    out += "\n";
    if (run.torn > 0) out += "  torn lines: " + std::to_string(run.torn) + " (not read as steps)\n";
    if (!run.next.empty()) out += "  next: " + run.next + "\n";
  }
  if (runs.size() < 2) return out;
  std::map<Outcome, Group> by_outcome;
  std::map<std::string, Group> by_cause;
  Summarise(runs, &by_outcome, &by_cause);
  std::set<std::string> machines;
  for (const LogRun& run : runs) machines.insert(run.file);
  out += "Summary: " + Count(runs.size(), "run", "runs") + " in " + Count(machines.size(), "log", "logs") + "\n";
  for (Outcome o : kOutcomes) {
    auto it = by_outcome.find(o);
    if (it == by_outcome.end()) continue;
    out += "  " + std::string(OutcomeName(o)) + ": " + Count(it->second.runs, "run", "runs") + " in " +
           Count(it->second.machines.size(), "log", "logs") + "\n";
  }
  if (!by_cause.empty()) out += "Failures by cause\n";
  for (const auto& [cause, group] : by_cause) {
    out += "  " + cause + ": " + Count(group.runs, "run", "runs") + " in " +
           Count(group.machines.size(), "log", "logs") + ": " + Machines(group.machines) + "\n";
  }
  return out;
}

std::string JsonLogReport(const std::vector<LogRun>& runs) {
  std::string out = "{\n  \"runs\": [";
  for (size_t i = 0; i < runs.size(); ++i) {
    const LogRun& run = runs[i];
    out += std::string(i ? "," : "") + "\n    {\"file\": " + JsonString(run.file) +
           ", \"run\": " + std::to_string(run.index) + ", \"when\": " + JsonString(run.when);
    if (run.has_client) {
      out += ", \"client\": {\"installed\": " + std::to_string(run.client_installed) +
             ", \"package\": " + std::to_string(run.client_package) + "}";
    }
    if (run.has_driver) {
      out += ", \"driver\": {\"installed\": " + std::to_string(run.driver_installed) +
             ", \"package\": " + std::to_string(run.driver_package) + "}";
    }
    if (!run.source.empty())
      out += ", \"source\": " + JsonString(run.source) + ", \"target\": " + JsonString(run.target);
    out += ", \"outcome\": " + JsonString(OutcomeName(run.outcome)) +
           ", \"failed\": " + (IsFailure(run.outcome) ? "true" : "false");
    if (!run.cause.empty()) out += ", \"cause\": " + JsonString(run.cause);
    if (run.code >= 0) out += ", \"code\": " + std::to_string(run.code);
    out += ", \"ended\": " + std::string(run.ended ? "true" : "false") +
           ", \"torn_lines\": " + std::to_string(run.torn) + ", \"next\": " + JsonString(run.next) + "}";
  }
  std::map<Outcome, Group> by_outcome;
  std::map<std::string, Group> by_cause;
  Summarise(runs, &by_outcome, &by_cause);
  out += "],\n  \"outcomes\": {";
  bool first = true;
  for (Outcome o : kOutcomes) {
    auto it = by_outcome.find(o);
    if (it == by_outcome.end()) continue;
    out += std::string(first ? "" : ", ") + JsonString(OutcomeName(o)) + ": " + std::to_string(it->second.runs);
    first = false;
  }
  out += "},\n  \"failures\": [";
  first = true;
  for (const auto& [cause, group] : by_cause) {
    out += std::string(first ? "" : ",") + "\n    {\"cause\": " + JsonString(cause) +
           ", \"runs\": " + std::to_string(group.runs) + ", \"machines\": [";
    bool first_machine = true;
    for (const std::string& m : group.machines) {
      out += (first_machine ? "" : ", ") + JsonString(m);
      first_machine = false;
    }
    out += "]}";
    first = false;
  }
  return out + "]\n}\n";
}

}  // namespace check
