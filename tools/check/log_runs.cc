#include "tools/check/log_runs.h"

#include <stdio.h>
#include <string.h>

#include "logic/log_texts.h"

namespace check {
namespace {

using log_text::FixedLength;
using log_text::kQuitSuffix;
using log_text::kStopPrefix;

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, strlen(prefix), prefix) == 0; }

// True when `s` begins as the lines made from the log text `text` do: with
// its part before the first conversion.
bool IsFrom(const std::string& s, const char* text) {
  return s.compare(0, FixedLength(text), text, FixedLength(text)) == 0;
}

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// "dddd/dd/dd" then `between`, then "dd:dd:dd" at `s`.
bool IsStamp(const char* s, size_t n, char between) {
  static const char kShape[] = "0000/00/00 00:00:00";
  if (n < sizeof kShape - 1) return false;
  for (size_t i = 0; i < sizeof kShape - 1; ++i) {
    const char want = i == 10 ? between : kShape[i];
    if (want == '0' ? (s[i] < '0' || s[i] > '9') : s[i] != want) return false;
  }
  return true;
}

// The number in "<n>" after `marker` in `s`, or -1.
int64_t NumberAfter(const std::string& s, const char* marker) {
  const size_t at = s.find(marker);
  if (at == std::string::npos) return -1;
  long long n = -1;
  return sscanf(s.c_str() + at + strlen(marker), "<%lld>", &n) == 1 ? n : -1;
}

// The copy's source and target: the first " to " after which both sides end
// in the same file name (names may hold " to " themselves; a few at most are
// tried, so that a garbled line costs no more than its length a few times).
void SplitCopy(const std::string& paths, LogRun* run) {
  size_t best = paths.find(" to ");
  int tries = 0;
  for (size_t at = best; at != std::string::npos && tries < 8; at = paths.find(" to ", at + 1), ++tries) {
    const std::string a = paths.substr(0, at);
    const std::string b = paths.substr(at + 4);
    const size_t sa = a.find_last_of("\\/");
    const size_t sb = b.find_last_of("\\/");
    if (a.substr(sa == std::string::npos ? 0 : sa + 1) == b.substr(sb == std::string::npos ? 0 : sb + 1)) {
      best = at;
      break;
    }
  }
  if (best == std::string::npos) return;
  run->source = paths.substr(0, best);
  run->target = paths.substr(best + 4);
}

// Why setup stopped, from a line of the form "... - <why>. Quit installation...".
struct StopKind {
  const char* text;  // the log text the line is made from
  const char* cause;
  const char* next;
};
const StopKind kStops[] = {
    {log_text::kNameRefused, "installer name refused",
     "fix [FL] file in config.ini: a plain name relative to the package folder (the reason is in the line)"},
    {log_text::kOwnPathMissing, "own path missing or too long",
     "unpack the package to a shorter folder and run setup from there"},
    {log_text::kOwnPathNotExact, "own path has no exact form in the code page",
     "rename the package folder: its path has a character the system's code page lacks"},
    {log_text::kPathTooLong, "path too long", "unpack to a shorter folder, or shorten the installer's name"},
    {log_text::kNoTempDirectory, "no temporary folder", "check TEMP and TMP of the account that ran setup"},
    {log_text::kNoSystemTemp, "no system temporary folder",
     "check %SystemRoot%\\Temp: it must exist and its path be short"},
    {log_text::kNoAccessLists, "no access lists on the system temporary folder",
     "the system's temporary folder is on FAT: move it to NTFS"},
    {log_text::kPrivateFolderFailed, "private folder not made",
     "see the error; 1307, 1338 or 267: something else controls %SystemRoot%\\Temp"},
};

void Classify(const std::string& m, LogRun* run, int* once_counts) {
  // once_counts: OnInitDialog, START, client line, driver line, outcome lines.
  int client_local = 0;
  int client_package = 0;
  if (m == log_text::kInitDialog) {
    ++once_counts[0];
  } else if (m == log_text::kPassStart) {
    ++once_counts[1];
  } else if (sscanf(m.c_str(), log_text::kClientVersions, &client_local, &client_package) == 2) {
    ++once_counts[2];
    run->has_client = true;
    run->client_installed = client_local;
    run->client_package = client_package;
  } else if (sscanf(m.c_str(), log_text::kDriverVersions, &client_local, &client_package) == 2) {
    ++once_counts[3];
    run->has_driver = true;
    run->driver_installed = client_local;
    run->driver_package = client_package;
  } else if (IsFrom(m, log_text::kCopyFile)) {
    SplitCopy(m.substr(FixedLength(log_text::kCopyFile)), run);
  } else if (m == log_text::kPassEnd || m == log_text::kFinishEnd) {
    run->ended = true;
  } else if ((IsFrom(m, log_text::kWorkerFailed) || IsFrom(m, log_text::kDialogFailed)) && EndsWith(m, kQuitSuffix)) {
    ++once_counts[4];
    run->outcome = Outcome::kNotStarted;
    run->code = NumberAfter(m, "error ");
    run->cause = IsFrom(m, log_text::kWorkerFailed) ? "no install worker" : "no setup dialog";
  } else if (!StartsWith(m, kStopPrefix)) {
    return;
  } else if (IsFrom(m, log_text::kAlreadyInTemp)) {
    run->in_place = true;
    const size_t open = m.find('<');
    const size_t close = m.rfind(">. Opening it there.");
    if (open != std::string::npos && close != std::string::npos && close > open) {
      run->target = m.substr(open + 1, close - open - 1);
    }
  } else if (IsFrom(m, log_text::kCopyFailed)) {
    ++once_counts[4];
    run->outcome = Outcome::kCopyFailed;
    run->code = NumberAfter(m, "error ");
    run->cause = "CopyFile failed";
  } else if (IsFrom(m, log_text::kShellExecuteFailed)) {
    ++once_counts[4];
    run->outcome = Outcome::kOpenFailed;
    run->code = NumberAfter(m, "result ");
    run->cause = "ShellExecute failed";
  } else if (m == log_text::kAlreadyLatest) {
    ++once_counts[4];
    run->outcome = Outcome::kUpToDate;
  } else if (EndsWith(m, kQuitSuffix)) {
    ++once_counts[4];
    run->outcome = Outcome::kStopped;
    run->cause = "stopped";
    run->next = "read the line: it says why";
    for (const StopKind& s : kStops) {
      if (!IsFrom(m, s.text)) continue;
      run->cause = s.cause;
      run->next = s.next;
      run->code = NumberAfter(m, ", error ");
    }
    // A refused name: the reason follows the name's closing bracket.
    const size_t reason = m.rfind("> ", m.size() - strlen(kQuitSuffix));
    if (IsFrom(m, log_text::kNameRefused) && reason != std::string::npos) {
      run->cause += ": " + m.substr(reason + 2, m.size() - strlen(kQuitSuffix) - reason - 2);
    }
  }
}

// The log's own words for the failure, with the number's meaning.
std::string Named(const LogRun& run) {
  const bool shell = run.outcome == Outcome::kOpenFailed;
  const char* name = shell ? ShellResultName(run.code) : WindowsErrorName(run.code);
  return run.cause + (shell ? ", result <" : ", error <") + std::to_string(run.code) + ">" +
         (*name ? std::string(" (") + name + ")" : "");
}

// What to check next after a failed copy or open.
std::string NextAfterFailure(const LogRun& run) {
  if (run.outcome == Outcome::kCopyFailed) {
    switch (run.code) {
      case 2:
      case 3:
        return "the installer is not where config.ini says: check " + run.source;
      case 5:
      case 32:
      case 33:
        return "an earlier copy at " + run.target +
               " is still running or held (or a scanner holds it): end it, run setup again";
      case 39:
      case 112:
        return "the temporary folder's disk is full";
      default:
        return "look up the error; the copy went from " + run.source + " to " + run.target;
    }
  }
  switch (run.code) {
    case 31:
      return "no program is registered to open the installer's file type: check its extension";
    case 2:
    case 3:
      return "the copy was gone when opened (a scanner may have removed it): check " + run.target;
    case 5:
      return "a policy forbids starting programs from the temporary folder (AppLocker, a scanner)";
    default:
      return "ShellExecute's result names the cause; the copy is at " + run.target;
  }
}

// A run whose lines are mixed with another's: none of its facts is its own.
void MarkMixed(const std::string& next, LogRun* run) {
  run->outcome = Outcome::kInterleaved;
  run->cause.clear();
  run->code = -1;
  run->has_client = run->has_driver = false;
  run->source.clear();
  run->target.clear();
  run->next = next;
}

// The run's outcome from what it logged; `counts` as Classify keeps them.
void Judge(const int* counts, LogRun* run) {
  bool twice = false;
  for (int i = 0; i < 5; ++i) twice = twice || counts[i] > 1;
  if (twice) {
    MarkMixed("two or more runs wrote at once (setup started twice?): their steps cannot be told apart", run);
    return;
  }
  if (run->messages.empty()) {
    run->outcome = Outcome::kEmpty;
    run->next = "the run wrote its banner only: it was ended at once, or its lines could not be written";
    return;
  }
  if (counts[4] == 1) {
    if (run->outcome == Outcome::kCopyFailed || run->outcome == Outcome::kOpenFailed) {
      run->cause = Named(*run);
      run->next = NextAfterFailure(*run);
    } else if (run->outcome == Outcome::kNotStarted) {
      run->cause = Named(*run);
      run->next = "setup could not run its check: a session without a desktop, or the system out of resources";
    } else if (run->outcome == Outcome::kStopped && run->code >= 0) {
      run->cause = Named(*run);
    } else if (run->outcome == Outcome::kUpToDate) {
      run->next =
          "if the machine is older than that, explain its registry with --registry (the 1.10.0 rule, or a "
          "record in the other view)";
    }
    return;
  }
  const bool copied = !run->target.empty() || run->in_place;
  if (copied && run->ended) {
    run->outcome = Outcome::kStarted;
    run->next = "the installer was started from " + run->target + ": its own log tells the rest";
    return;
  }
  run->outcome = Outcome::kIncomplete;
  run->next = run->ended ? "the run ended, but no line says what it did"
                         : "setup stopped after \"" + run->messages.back() +
                               "\": it crashed, was ended, the machine went down, or it still runs";
  if (run->torn > 0) run->next += "; " + std::to_string(run->torn) + " torn line(s) may hide a step";
}

void Close(int* counts, LogRun* run, std::vector<LogRun>* runs) {
  if (run->messages.empty() && run->when.empty() && run->torn == 0) return;
  Judge(counts, run);
  // A run mixed with later ones lost its later lines to them.
  if (run->outcome == Outcome::kInterleaved) {
    for (size_t i = runs->size(); i-- > 0 && (*runs)[i].file == run->file;) {
      LogRun& earlier = (*runs)[i];
      if (earlier.ended || earlier.outcome == Outcome::kInterleaved) break;
      MarkMixed(run->next, &earlier);
    }
  }
  run->index = runs->empty() || runs->back().file != run->file ? 1 : runs->back().index + 1;
  runs->push_back(std::move(*run));
}

}  // namespace

void ReadLogRuns(const std::string& file, const std::string& bytes, std::vector<LogRun>* runs) {
  LogRun run;
  run.file = file;
  int counts[5] = {};
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    size_t stop = end;
    if (stop > start && bytes[stop - 1] == '\r') --stop;
    const char* line = bytes.data() + start;
    const size_t n = stop - start;
    start = end + 1;
    static const char kBanner[] = "\tPathwarden Installer";
    if (n == 0 || (n == 71 && std::string(line, n) == std::string(71, '='))) continue;
    if (n == 19 + sizeof kBanner - 1 && IsStamp(line, n, '\t') && memcmp(line + 19, kBanner, sizeof kBanner - 1) == 0) {
      Close(counts, &run, runs);
      run = LogRun();
      run.file = file;
      run.when = std::string(line, 10) + " " + std::string(line + 11, 8);
      memset(counts, 0, sizeof counts);
    } else if (n >= 21 && IsStamp(line, n, ' ') && line[19] == '\t' && line[20] == ' ') {
      run.messages.emplace_back(line + 21, n - 21);
      Classify(run.messages.back(), &run, counts);
    } else {
      ++run.torn;
    }
  }
  Close(counts, &run, runs);
}

}  // namespace check
