#include "tools/check/log_fleet.h"

#include <algorithm>

#include "platform/entry_kind.h"
#include "platform/file_read.h"
#include "platform/staging_tree.h"
#include "platform/system.h"
#include "tools/check/check.h"
#include "tools/check/json_writer.h"
#include "tools/check/log_runs.h"

namespace check {

bool ReadInput(const std::string& path, std::string* bytes, std::string* why) {
  std::string reason;
  switch (platform::ReadWholeFile(path.c_str(), kMaxInputBytes, bytes, &reason)) {
    case platform::FileRead::kRead:
      why->clear();
      return true;
    case platform::FileRead::kCannotOpen:
      *why = "cannot be opened: " + reason;
      break;
    case platform::FileRead::kNotAFile:
      *why = "not a plain file";
      break;
    case platform::FileRead::kTooLarge:
      *why = "larger than 256 MiB, the most the tool reads";
      break;
    case platform::FileRead::kReadError:
      *why = "a read error";
      break;
  }
  return false;
}

namespace {

class Fleet {
 public:
  Fleet(const LogOptions& options, FILE* out, bool details) : options_(options), out_(out), details_(details) {}

  void Input(const std::string& root) {
    std::vector<std::string> pending = {root};
    while (!pending.empty()) {
      const std::string path = std::move(pending.back());
      pending.pop_back();
      const platform::EntryKind kind = platform::GetEntryKind(path.c_str());
      if (kind == platform::EntryKind::kFile) {
        Log(path);
      } else if (kind == platform::EntryKind::kDirectory) {
        Folder(path, &pending);
      } else if (path == root) {
        // Below a folder, links and other entries are passed over, never followed.
        Bad(path, kind == platform::EntryKind::kMissing ? "not found" : "a link, or not a file nor a folder");
      }
    }
  }

  int Finish() {
    const LogSummary& s = summary_;
    if (options_.format == LogFormat::kPlain) {
      const bool summary = s.runs > 1 || s.logs > 1 || !s.bad.empty();
      Emit(TerminalText((summary ? PlainSummary(s, options_.all) : "") + details_text_));
    } else if (options_.format == LogFormat::kJson) {
      // The summary's members follow the runs in the one object.
      line_.clear();
      json_.Close(2);
      WriteJsonSummary(s, &json_, 2);
      json_.Close();
      Emit(line_ + "\n");
    } else {
      JsonLine("summary");
      WriteJsonSummary(s, &json_, JsonWriter::kSameLine);
      EndJsonLine();
    }
    if (!written_ || fflush(out_) != 0) return 2;
    if (s.bad.empty()) return 0;
    return s.logs == 0 ? 2 : 1;
  }

  void Begin() {
    if (options_.format != LogFormat::kJson) return;
    json_.Open().Name("runs", 2).OpenList();
    Emit(line_);
  }

 private:
  void Emit(const std::string& text) {
    written_ = written_ && fwrite(text.data(), 1, text.size(), out_) == text.size();
  }

  void Folder(const std::string& path, std::vector<std::string>* pending) {
    struct Listing {
      std::string folder;
      std::vector<std::string> names;
    } listing;
    listing.folder = path.empty() || path.back() == '/' || path.back() == platform::kPathSeparator
                         ? path
                         : path + platform::kPathSeparator;
    const bool listed = platform::ListDirectory(
        path.c_str(),
        [](void* context, const char* name) {
          auto* l = static_cast<Listing*>(context);
          l->names.push_back(l->folder + name);
        },
        &listing);
    if (!listed) {
      Bad(path, "a folder that cannot be listed");
      return;
    }
    // Taken from the back: the names in order, each folder's before the next name.
    std::sort(listing.names.begin(), listing.names.end());
    for (size_t i = listing.names.size(); i-- > 0;) pending->push_back(std::move(listing.names[i]));
  }

  void Bad(const std::string& path, const std::string& reason) {
    summary_.bad.push_back({path, reason});
    if (options_.format == LogFormat::kJsonLines) {
      JsonLine("unreadable");
      json_.Name("file").Text(path).Name("reason").Text(reason);
      EndJsonLine();
    }
  }

  void Log(const std::string& path) {
    std::string why;
    runs_.clear();
    if (!ReadInput(path, &bytes_, &why) || !ReadLogRuns(path, bytes_, &runs_, &why)) {
      Bad(path, why);
      return;
    }
    AddToSummary(runs_, &summary_);
    for (const LogRun& run : runs_) {
      if (options_.format == LogFormat::kJson) {
        line_.clear();
        json_.Item(4).Open();
        WriteJsonRun(run, &json_);
        json_.Close();
        Emit(line_);
      } else if (options_.format == LogFormat::kJsonLines) {
        JsonLine("run");
        WriteJsonRun(run, &json_);
        EndJsonLine();
      } else if (details_) {
        details_text_ += PlainRun(run);
      }
    }
  }

  // A JSON line of `type`: its object open, the type its first member.
  void JsonLine(const char* type) {
    line_.clear();
    json_.Open().Name("type").Text(type);
  }

  void EndJsonLine() {
    json_.Close();
    line_.push_back('\n');
    Emit(line_);
  }

  const LogOptions& options_;
  FILE* out_;
  bool details_;
  bool written_ = true;
  LogSummary summary_;
  std::string details_text_;
  std::string bytes_;
  std::string line_;         // the JSON of one run or line, its room kept from run to run
  JsonWriter json_{&line_};  // for --json, open across runs: the runs' list, then the summary
  std::vector<LogRun> runs_;
};

}  // namespace

int ExplainLogs(const std::vector<std::string>& paths, const LogOptions& options, FILE* out) {
  // One log given: its runs are what was asked about. A fleet: its summary.
  const bool one_log = paths.size() == 1 && platform::GetEntryKind(paths[0].c_str()) == platform::EntryKind::kFile;
  Fleet fleet(options, out, options.runs || one_log);
  fleet.Begin();
  for (const std::string& path : paths) fleet.Input(path);
  return fleet.Finish();
}

}  // namespace check
