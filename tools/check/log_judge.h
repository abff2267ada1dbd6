// What each step tells of its run, and the run's outcome from its steps:
// for the log reader (log_runs.cc).
#ifndef PATHWARDEN_TOOLS_CHECK_LOG_JUDGE_H_
#define PATHWARDEN_TOOLS_CHECK_LOG_JUDGE_H_

#include <string_view>

#include "tools/check/log_grammar.h"
#include "tools/check/log_runs.h"

namespace check {

// Takes `step` (whose message is `message`) as `run`'s next step.
void ApplyStep(const LogLine& step, std::string_view message, LogRun* run);

// The run's outcome, cause and what to check next, once all its lines are in.
void Judge(LogRun* run);

}  // namespace check

#endif  // PATHWARDEN_TOOLS_CHECK_LOG_JUDGE_H_
