#include "tools/check/log_judge.h"

#include "logic/log_texts.h"

namespace check {
namespace {

// Why setup stopped, from a line of the form "... - <why>. Quit installation...".
struct StopKind {
  const char* text;  // the log text the line is made from
  const char* cause;
  const char* next;
};
const StopKind kStops[] = {
    {logic::log_text::kNameRefused, "installer name refused",
     "fix [FL] file in config.ini: a plain name relative to the package folder (the reason is in the line)"},
    {logic::log_text::kOwnPathMissing, "own path missing or too long",
     "unpack the package to a shorter folder and run setup from there"},
    {logic::log_text::kOwnPathNotExact, "own path has no exact form in the code page",
     "rename the package folder: its path has a character the system's code page lacks"},
    {logic::log_text::kPathTooLong, "path too long", "unpack to a shorter folder, or shorten the installer's name"},
    {logic::log_text::kNoTempDirectory, "no temporary folder", "check TEMP and TMP of the account that ran setup"},
    {logic::log_text::kNoSystemTemp, "no system temporary folder",
     "check %SystemRoot%\\Temp: it must exist and its path be short"},
    {logic::log_text::kNoAccessLists, "no access lists on the system temporary folder",
     "the system's temporary folder is on FAT: move it to NTFS"},
    {logic::log_text::kPrivateFolderFailed, "private folder not made",
     "see the error; 1307, 1338 or 267: something else controls %SystemRoot%\\Temp"},
};

void Decide(Outcome outcome, const char* cause, int64_t code, LogRun* run) {
  run->decided = true;
  run->outcome = outcome;
  run->cause = cause;
  run->code = code;
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

}  // namespace

void ApplyStep(const LogLine& step, std::string_view message, LogRun* run) {
  ++run->steps;
  run->last_step.assign(message);
  run->rank = step.rank;
  run->closed = step.final;
  switch (step.kind) {
    case StepKind::kClient:
      run->has_client = true;
      run->client_installed = static_cast<int32_t>(step.numbers[0]);
      run->client_package = static_cast<int32_t>(step.numbers[1]);
      break;
    case StepKind::kDriver:
      run->has_driver = true;
      run->driver_installed = static_cast<int32_t>(step.numbers[0]);
      run->driver_package = static_cast<int32_t>(step.numbers[1]);
      break;
    case StepKind::kCopy:
      if (!SplitCopyPaths(step.text, &run->source, &run->target)) run->copy_line.assign(step.text);
      break;
    case StepKind::kInPlace:
      run->in_place = true;
      run->target.assign(step.text);
      break;
    case StepKind::kCopyFailed:
      Decide(Outcome::kCopyFailed, "CopyFile failed", step.numbers[0], run);
      break;
    case StepKind::kOpenFailed:
      Decide(Outcome::kOpenFailed, "ShellExecute failed", step.numbers[0], run);
      break;
    case StepKind::kUpToDate:
      Decide(Outcome::kUpToDate, "", -1, run);
      break;
    case StepKind::kWorkerFailed:
      Decide(Outcome::kNotStarted, "no install worker", step.numbers[0], run);
      break;
    case StepKind::kDialogFailed:
      Decide(Outcome::kNotStarted, "no setup dialog", step.numbers[0], run);
      break;
    case StepKind::kStop:
      for (const StopKind& s : kStops) {
        if (s.text != step.stop) continue;
        Decide(Outcome::kStopped, s.cause, s.text == logic::log_text::kPrivateFolderFailed ? step.numbers[0] : -1, run);
        run->next = s.next;
        if (*step.reason) run->cause += std::string(": ") + step.reason;
      }
      break;
    case StepKind::kPassEnd:
    case StepKind::kFinishEnd:
      run->ended = true;
      break;
    default:
      break;
  }
}

void Judge(LogRun* run) {
  if (run->mixed) {
    const int torn = run->torn;
    const std::vector<std::string> damage = run->damage;
    LogRun bare;
    bare.file = run->file;
    bare.index = run->index;
    bare.when = run->when;
    bare.steps = run->steps;
    bare.torn = torn;
    bare.damage = damage;
    bare.mixed = true;
    bare.closed = run->closed;
    bare.outcome = Outcome::kInterleaved;
    bare.next = "two or more runs wrote at once (setup started twice?): their steps cannot be told apart";
    *run = bare;
    return;
  }
  if (run->steps == 0) {
    run->outcome = Outcome::kEmpty;
    run->next = run->when.empty()
                    ? "no banner and no whole line: the log's start is lost, or it is not setup's log"
                    : "the run wrote its banner only: it was ended at once, or its lines could not be written";
    return;
  }
  if (run->decided) {
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
  const bool copied = !run->target.empty() || !run->copy_line.empty() || run->in_place;
  if (copied && run->ended) {
    run->outcome = Outcome::kStarted;
    run->next = run->copy_line.empty()
                    ? "the installer was started from " + run->target + ": its own log tells the rest"
                    : "the installer was started; its path is in the copy's line";
    return;
  }
  run->outcome = Outcome::kIncomplete;
  run->next = run->ended ? "the run ended, but no line says what it did"
                         : "setup stopped after \"" + run->last_step +
                               "\": it crashed, was ended, the machine went down, or it still runs";
  if (run->torn > 0) run->next += "; " + std::to_string(run->torn) + " torn line(s) may hide a step";
}

}  // namespace check
