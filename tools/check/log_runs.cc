#include "tools/check/log_runs.h"

#include "tools/check/log_grammar.h"
#include "tools/check/log_judge.h"

namespace check {
namespace {

// An unfinished run is taken as ended once this many later runs have
// started, or once it has written nothing for kQuietSeconds (setup writes
// all its lines within seconds, but a long copy): it takes no more steps.
const size_t kMostOpen = 16;
const int64_t kQuietSeconds = 600;

class Reader {
 public:
  Reader(const std::string& file, std::vector<LogRun>* runs) : file_(file), runs_(runs), first_(runs->size()) {}

  void Line(std::string_view content, bool whole) {
    const LogLine line = whole ? ReadLogLine(content) : LogLine();
    switch (line.type) {
      case LogLine::Type::kBlank:
      case LogLine::Type::kRule:
        return;
      case LogLine::Type::kBanner:
        Banner(line);
        return;
      case LogLine::Type::kStep:
        Step(line, line.message);
        return;
      case LogLine::Type::kDamage:
        Damage(content);
        return;
    }
  }

  void Finish() {
    for (size_t i = first_; i < runs_->size(); ++i) Judge(&(*runs_)[i]);
  }

 private:
  LogRun& Run(size_t i) { return (*runs_)[i]; }

  size_t NewRun(const std::string& when) {
    LogRun run;
    run.file = file_;
    run.when = when;
    run.index = static_cast<int>(runs_->size() - first_ + 1);
    runs_->push_back(std::move(run));
    open_.push_back(runs_->size() - 1);
    return runs_->size() - 1;
  }

  void Banner(const LogLine& line) {
    // Torn lines before the first banner, and no step: nothing to take more.
    if (open_.size() == 1 && Run(open_[0]).when.empty() && Run(open_[0]).steps == 0) open_.clear();
    if (open_.size() == kMostOpen) open_.erase(open_.begin());
    Run(NewRun(line.when)).last_time = line.time;
  }

  void Damage(std::string_view content) {
    if (runs_->size() == first_) NewRun("");
    LogRun& run = runs_->back();
    ++run.torn;
    if (run.damage.size() < kDamageShown) run.damage.emplace_back(content.substr(0, 200));
  }

  // Could `run` have written `step` next: unfinished, the step later in its
  // order, and not quiet for longer than a run takes.
  bool Accepts(const LogRun& run, const LogLine& step) {
    return !run.closed && step.rank > run.rank &&
           (run.steps == 0 && run.when.empty() ? true : step.time <= run.last_time + kQuietSeconds);
  }

  void Step(const LogLine& step, std::string_view message) {
    std::vector<size_t>& can = candidates_;
    can.clear();
    for (size_t i : open_) {
      if (Accepts(Run(i), step)) can.push_back(i);
    }
    if (can.empty() && runs_->size() == first_) can.push_back(NewRun(""));  // the log's start is missing
    if (can.empty()) {
      // No run can have written it: a writer whose banner is missing, whose
      // other lines any run writing at the time may hold.
      for (size_t i = runs_->size(); i-- > first_ && runs_->size() - i <= kMostOpen;) {
        if (Run(i).last_time + kQuietSeconds >= step.time) Run(i).mixed = true;
      }
      Damage(std::string("(in no run's order) ") + std::string(message));
      return;
    }
    // Of several, the one furthest behind takes it; all are mixed, and keep
    // the lowest place among them, so that each still takes what any of
    // them may write.
    size_t to = can.front();
    for (size_t i : can) {
      if (Run(i).rank <= Run(to).rank) to = i;
    }
    if (can.size() > 1) {
      for (size_t i : can) {
        Run(i).mixed = true;
        Run(i).rank = Run(to).rank;
      }
    }
    ApplyStep(step, message, &Run(to));
    Run(to).last_time = step.time;
    if (Run(to).closed) {
      for (size_t k = 0; k < open_.size(); ++k) {
        if (open_[k] == to) open_.erase(open_.begin() + static_cast<long>(k));
      }
    }
  }

  const std::string& file_;
  std::vector<LogRun>* runs_;
  size_t first_;
  std::vector<size_t> open_;  // runs not finished, oldest first
  std::vector<size_t> candidates_;
};

}  // namespace

bool ReadLogRuns(const std::string& file, const std::string& bytes, std::vector<LogRun>* runs, std::string* why) {
  std::string converted;
  std::string_view text;
  LogEncoding encoding;
  if (!DecodeLog(bytes, &converted, &text, &encoding, why)) return false;
  Reader reader(file, runs);
  ForEachLine(
      text, encoding,
      [](void* context, std::string_view content, bool whole) { static_cast<Reader*>(context)->Line(content, whole); },
      &reader);
  reader.Finish();
  return true;
}

}  // namespace check
