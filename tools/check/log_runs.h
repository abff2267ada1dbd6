// The runs of setup in velsetup.log files, read for support staff: what each
// run compared and decided, where it stopped and why, and what to check
// next; for many logs, a summary of a fleet. Lines that are not whole log
// lines, and runs whose lines are mixed with another's, are reported as
// such and never read as a step.
#ifndef PATHWARDEN_TOOLS_CHECK_LOG_RUNS_H_
#define PATHWARDEN_TOOLS_CHECK_LOG_RUNS_H_

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

namespace check {

class JsonWriter;

// In the order the reports list them; their names are in log_words.cc.
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
inline constexpr size_t kOutcomeCount = static_cast<size_t>(Outcome::kInterleaved) + 1;

struct LogRun {
  std::string file;  // the log's name as given
  int index = 0;     // 1-based within its file
  std::string when;  // the banner's date and time; empty without a banner
  int steps = 0;     // whole lines read as this run's steps
  std::string last_step;
  int torn = 0;                     // damaged lines after its banner: never read
  std::vector<std::string> damage;  // the first few of them, as they are
  bool has_client = false;
  bool has_driver = false;
  int32_t client_installed = 0;
  int32_t client_package = 0;
  int32_t driver_installed = 0;
  int32_t driver_package = 0;
  std::string source;  // of the copy
  std::string target;
  std::string copy_line;  // a CopyFile line whose paths cannot be told apart
  bool in_place = false;  // the installer was already in the temporary folder
  bool ended = false;     // the closing lines were written
  Outcome outcome = Outcome::kIncomplete;
  std::string cause;  // the stop or failure, as a short text; empty otherwise
  int64_t code = -1;  // the error or result number of the cause, or -1
  std::string next;   // what to check next
  // How the lines were given to runs (see ReadLogRuns).
  int rank = 0;           // of its last step
  bool closed = false;    // its last line was written
  int64_t last_time = 0;  // the stamp of its last line
  bool decided = false;   // a line said how the pass ended
  bool mixed = false;
};

// The most damaged lines each run shows (all are counted).
inline constexpr size_t kDamageShown = 3;

// Appends the runs of one log (its raw bytes) to `runs`. A step goes to the
// run that can have written it: one whose banner came before it, not yet
// finished, that writes this step later in its fixed order than its last
// (lines may be missing) and wrote within the last ten minutes. When more
// than one run can, they are mixed; a step no run can have written (another
// writer, its banner lost) mixes the runs that wrote in the ten minutes
// before it.
// False, with the reason in `why` and no run added, when the file's
// encoding cannot be read.
bool ReadLogRuns(const std::string& file, const std::string& bytes, std::vector<LogRun>* runs, std::string* why);

// The name of Windows error `code` (CopyFile, folders, the dialog), or "".
const char* WindowsErrorName(int64_t code);
// The meaning of ShellExecute's result `code` (32 or less: numbers of their
// own, not errors), or "".
const char* ShellResultName(int64_t code);

// An outcome's name in the reports, and whether the summary counts it as a
// failure (all but a started installer and nothing to install).
const char* OutcomeName(Outcome outcome);
bool IsFailure(Outcome outcome);

// Runs (or logs) behind an outcome or a cause, with the logs' names.
struct LogGroup {
  int runs = 0;
  int logs = 0;
  std::vector<std::string> machines;
};

struct BadInput {
  std::string path;
  std::string reason;
};

// A fleet's summary: all that the reports keep of the runs once each
// log's runs are written out.
struct LogSummary {
  int runs = 0;
  int logs = 0;  // logs read
  LogGroup outcomes[kOutcomeCount];
  std::map<std::string, LogGroup> causes;  // failures
  std::vector<BadInput> bad;               // inputs not read, with why
};

// The machines a cause shows in the plain report unless all are asked for.
inline constexpr size_t kMachinesShown = 5;

// Adds the runs of one log.
void AddToSummary(const std::vector<LogRun>& runs, LogSummary* summary);

// "install (client older)" and the like; "" for a run without both version
// lines or a mixed one.
std::string DecisionOf(const LogRun& run);

// One run explained (plain: lines; JSON: one object, no line end; or its
// members, into the object `json` has open).
std::string PlainRun(const LogRun& run);
std::string JsonRun(const LogRun& run);
void WriteJsonRun(const LogRun& run, JsonWriter* json);
// The summary (plain: lines; JSON: one object, no line end; or its members,
// the first at `indent` (JsonWriter's), into the object `json` has open).
std::string PlainSummary(const LogSummary& summary, bool all_machines);
std::string JsonSummary(const LogSummary& summary);
void WriteJsonSummary(const LogSummary& summary, JsonWriter* json, int indent);

}  // namespace check

#endif  // PATHWARDEN_TOOLS_CHECK_LOG_RUNS_H_
