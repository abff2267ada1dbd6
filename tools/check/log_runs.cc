#include "tools/check/log_runs.h"

#include "tools/check/log_grammar.h"
#include "tools/check/log_judge.h"

namespace check {
namespace {

// An unfinished run is taken as ended once this many later runs have
// started: it no longer takes steps, nor mixes with those runs.
const size_t kMostOpen = 16;

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
        Banner(line.when);
        return;
      case LogLine::Type::kStep:
        Step(line, content.substr(21));
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

  void Banner(const std::string& when) {
    for (size_t i : open_) Run(i).live = false;
    if (open_.size() == kMostOpen) open_.erase(open_.begin());
    NewRun(when);
  }

  void Damage(std::string_view content) {
    if (runs_->size() == first_) NewRun("");
    LogRun& run = runs_->back();
    ++run.torn;
    if (run.damage.size() < kDamageShown) run.damage.emplace_back(content.substr(0, 200));
  }

  bool Accepts(size_t i, const LogLine& step) { return !Run(i).closed && step.rank > Run(i).rank; }

  void Mix(size_t i) { Run(i).mixed = true; }

  // Of `candidates`, the run furthest behind (the newest of those): mixed
  // runs then each keep one writer's order.
  size_t Behind(const std::vector<size_t>& candidates) {
    size_t best = candidates.front();
    for (size_t i : candidates) {
      if (Run(i).rank <= Run(best).rank) best = i;
    }
    return best;
  }

  void Step(const LogLine& step, std::string_view message) {
    std::vector<size_t>& live = candidates_;
    live.clear();
    for (size_t i : open_) {
      if (Run(i).live && Accepts(i, step)) live.push_back(i);
    }
    if (live.empty()) {
      // An earlier, unfinished run writes again: it ran at the same time as
      // the later ones, which may hold steps it wrote.
      for (size_t i : open_) {
        if (!Run(i).live && Accepts(i, step)) live.push_back(i);
      }
      for (size_t d : live) {
        Run(d).live = true;
        for (size_t later = d + 1; later < runs_->size(); ++later) {
          if (Run(later).rank > Run(d).rank) {
            Mix(d);
            Mix(later);
          }
        }
      }
    }
    if (live.empty()) {
      if (runs_->size() == first_) {
        live.push_back(NewRun(""));  // the log's start is missing
      } else {
        // No run can write this step: a writer whose banner is missing.
        bool still_writing = false;
        for (size_t i : open_) {
          if (Run(i).live) Mix(i), still_writing = true;
        }
        if (!still_writing) Damage(std::string("(out of any run's order) ") + std::string(message));
        return;
      }
    }
    if (live.size() > 1) {
      for (size_t i : live) Mix(i);
    }
    const size_t to = Behind(live);
    ApplyStep(step, message, &Run(to));
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
  std::string text;
  LogEncoding encoding;
  if (!DecodeLog(bytes, &text, &encoding, why)) return false;
  Reader reader(file, runs);
  ForEachLine(
      text, encoding,
      [](void* context, std::string_view content, bool whole) { static_cast<Reader*>(context)->Line(content, whole); },
      &reader);
  reader.Finish();
  return true;
}

}  // namespace check
