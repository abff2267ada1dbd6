// What the numbers and outcomes in a log mean, in words for support staff.
#include "tools/check/log_runs.h"

namespace check {
namespace {

struct CodeName {
  int64_t code;
  const char* name;
};

const CodeName kWindowsErrors[] = {
    {2, "the file was not found"},
    {3, "the path was not found"},
    {5, "access denied"},
    {8, "not enough memory"},
    {32, "the file is in use by another process"},
    {33, "part of the file is locked by another process"},
    {39, "the disk is full"},
    {112, "the disk is full"},
    {225, "the file holds a virus and was blocked"},
    {267, "not a plain folder"},
    {1307, "not an owner the system allows"},
    {1338, "the security descriptor is not as asked"},
    {1400, "the window handle is invalid (no desktop)"},
    {1450, "insufficient system resources"},
};

// ShellExecute's results of 32 and below: errors, not instance handles.
const CodeName kShellResults[] = {
    {0, "the system is out of memory or resources"},
    {2, "the file was not found"},
    {3, "the path was not found"},
    {5, "access denied"},
    {8, "not enough memory"},
    {11, "not a valid program"},
    {26, "a sharing violation"},
    {27, "the file type's association is incomplete"},
    {28, "the program did not answer its start request (DDE)"},
    {29, "the program did not answer its start request (DDE)"},
    {30, "the program did not answer its start request (DDE)"},
    {31, "no program is associated with the file type"},
    {32, "a DLL was not found"},
};

// Each outcome's name and whether it is a failure: the one list the reports
// take them from, in the order they list outcomes (that of enum Outcome).
struct OutcomeWords {
  const char* name;
  Outcome outcome;
  bool failure;
};
constexpr OutcomeWords kOutcomes[] = {
    {"installer started", Outcome::kStarted, false},
    {"nothing to install", Outcome::kUpToDate, false},
    {"copy failed", Outcome::kCopyFailed, true},
    {"open failed", Outcome::kOpenFailed, true},
    {"stopped by a check", Outcome::kStopped, true},
    {"setup could not run its check", Outcome::kNotStarted, true},
    {"no last line", Outcome::kIncomplete, true},
    {"nothing after the banner", Outcome::kEmpty, true},
    {"mixed with another run", Outcome::kInterleaved, true},
};

constexpr bool InOutcomeOrder() {
  for (size_t i = 0; i < sizeof kOutcomes / sizeof kOutcomes[0]; ++i) {
    if (static_cast<size_t>(kOutcomes[i].outcome) != i) return false;
  }
  return sizeof kOutcomes / sizeof kOutcomes[0] == kOutcomeCount;
}
static_assert(InOutcomeOrder(), "one row for each outcome, in the order of enum Outcome");

template <size_t N>
const char* NameOf(const CodeName (&table)[N], int64_t code) {
  for (const CodeName& row : table) {
    if (row.code == code) return row.name;
  }
  return "";
}

}  // namespace

const char* WindowsErrorName(int64_t code) { return NameOf(kWindowsErrors, code); }

const char* ShellResultName(int64_t code) { return NameOf(kShellResults, code); }

const char* OutcomeName(Outcome outcome) {
  const size_t i = static_cast<size_t>(outcome);
  return i < kOutcomeCount ? kOutcomes[i].name : "";
}

bool IsFailure(Outcome outcome) {
  const size_t i = static_cast<size_t>(outcome);
  return i < kOutcomeCount && kOutcomes[i].failure;
}

}  // namespace check
