// The runs of setup in velsetup.log files, read for support staff: what each
// run compared and decided, where it stopped and why, and what to check
// next; for many logs, a summary of a fleet. Lines that are not whole log
// lines, and runs whose lines are mixed with another's, are reported as
// such and never read as a step.
#ifndef PATHWARDEN_TOOLS_CHECK_LOG_RUNS_H_
#define PATHWARDEN_TOOLS_CHECK_LOG_RUNS_H_

#include <stdint.h>

#include <string>
#include <vector>

namespace check {

enum class Outcome {
  kStarted,      // the installer was copied (or found in place) and opened
  kUpToDate,     // nothing to install
  kCopyFailed,   // CopyFile failed, error <n>
  kOpenFailed,   // ShellExecute failed, result <n>
  kStopped,      // setup refused to go on (a name, a path, a folder)
  kNotStarted,   // setup itself could not run its check (no thread, no desktop)
  kIncomplete,   // no last line: crashed, ended, or still running
  kEmpty,        // nothing after the banner
  kInterleaved,  // lines of runs at once, mixed
};

struct LogRun {
  std::string file;  // the log's name as given
  int index = 0;     // 1-based within its file
  std::string when;  // the banner's date and time; empty without a banner
  std::vector<std::string> messages;
  int torn = 0;  // lines that are not whole log lines
  bool has_client = false;
  bool has_driver = false;
  int32_t client_installed = 0;
  int32_t client_package = 0;
  int32_t driver_installed = 0;
  int32_t driver_package = 0;
  std::string source;  // of the copy
  std::string target;
  bool in_place = false;  // the installer was already in the temporary folder
  bool ended = false;     // the closing lines were written
  Outcome outcome = Outcome::kIncomplete;
  std::string cause;  // the stop or failure, as a short text; empty otherwise
  int64_t code = -1;  // the error or result number of the cause, or -1
  std::string next;   // what to check next
};

// Appends the runs of one log (its raw bytes) to `runs`.
void ReadLogRuns(const std::string& file, const std::string& bytes, std::vector<LogRun>* runs);

// The name of Windows error `code` (CopyFile, folders, the dialog), or "".
const char* WindowsErrorName(int64_t code);
// The meaning of ShellExecute's result `code` (32 or less: numbers of their
// own, not errors), or "".
const char* ShellResultName(int64_t code);

const char* OutcomeName(Outcome outcome);

// Each run explained, then (for more than one run) the fleet's summary.
std::string PlainLogReport(const std::vector<LogRun>& runs);
std::string JsonLogReport(const std::vector<LogRun>& runs);

}  // namespace check

#endif  // PATHWARDEN_TOOLS_CHECK_LOG_RUNS_H_
