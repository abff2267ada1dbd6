// The check tool's whole path on any export: bytes -> decision -> JSON
// report, which must parse as JSON and be well-formed UTF-8; and the same
// bytes read as a velsetup.log, under the log explainer's promises.
// The checker below is written from the JSON grammar, not from the writers.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "logic/decision.h"
#include "logic/install.h"
#include "logic/version.h"
#include "tools/check/check.h"
#include "tools/check/log_grammar.h"
#include "tools/check/log_runs.h"

namespace {

// Every sequence decodes to a scalar value in its shortest form.
bool WellFormedUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<uint8_t>(s[i]);
    size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      const auto b = static_cast<uint8_t>(s[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = cp << 6 | (b & 0x3F);
    }
    const uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < shortest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

class JsonChecker {
 public:
  explicit JsonChecker(const std::string& text) : s_(text) {}
  bool Valid() {
    if (!Value(0)) return false;
    Space();
    return i_ == s_.size();
  }

 private:
  char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
  bool Eat(char c) {
    if (Peek() != c) return false;
    ++i_;
    return true;
  }
  void Space() {
    while (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r') ++i_;
  }
  bool Digits() {
    const size_t start = i_;
    while (Peek() >= '0' && Peek() <= '9') ++i_;
    return i_ > start;
  }
  bool Word(const char* w) {
    for (; *w; ++w) {
      if (!Eat(*w)) return false;
    }
    return true;
  }
  bool Number() {
    Eat('-');
    if (!Eat('0') && !Digits()) return false;
    if (Eat('.') && !Digits()) return false;
    if (Eat('e') || Eat('E')) {
      if (!Eat('+')) Eat('-');
      return Digits();
    }
    return true;
  }
  bool String() {
    if (!Eat('"')) return false;
    for (;;) {
      if (i_ >= s_.size()) return false;
      const auto c = static_cast<uint8_t>(s_[i_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') continue;
      const char e = Peek();
      ++i_;
      if (e == 'u') {
        for (int k = 0; k < 4; ++k, ++i_) {
          const char h = Peek();
          if (!((h >= '0' && h <= '9') || (h >= 'a' && h <= 'f') || (h >= 'A' && h <= 'F'))) return false;
        }
      } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
        return false;
      }
    }
  }
  bool Members(int depth, bool object) {
    const char close = object ? '}' : ']';
    Space();
    if (Eat(close)) return true;
    for (;;) {
      Space();
      if (object) {
        if (!String()) return false;
        Space();
        if (!Eat(':')) return false;
      }
      if (!Value(depth + 1)) return false;
      Space();
      if (Eat(close)) return true;
      if (!Eat(',')) return false;
    }
  }
  bool Value(int depth) {
    if (depth > 32) return false;
    Space();
    switch (Peek()) {
      case '{':
        return Eat('{') && Members(depth, true);
      case '[':
        return Eat('[') && Members(depth, false);
      case '"':
        return String();
      case 't':
        return Word("true");
      case 'f':
        return Word("false");
      case 'n':
        return Word("null");
      default:
        return Number();
    }
  }

  const std::string& s_;
  size_t i_ = 0;
};

// What a run says happened, as a line.
std::string Facts(const check::LogRun& r) {
  return r.when + "|" + std::to_string(r.has_client) + std::to_string(r.client_installed) + "/" +
         std::to_string(r.client_package) + "|" + std::to_string(r.has_driver) + std::to_string(r.driver_installed) +
         "/" + std::to_string(r.driver_package) + "|" + r.source + ">" + r.target + r.copy_line + "|" +
         check::OutcomeName(r.outcome) + "|" + r.cause + "|" + std::to_string(r.steps) + "|" + std::to_string(r.torn);
}

std::vector<std::string> AllFacts(const std::vector<check::LogRun>& runs) {
  std::vector<std::string> all;
  for (const check::LogRun& r : runs) all.push_back(Facts(r));
  return all;
}

// Whether two texts are decoded with the same line end.
bool SameLineEnd(const std::string& a, const std::string& b) {
  std::string converted, why;
  std::string_view text;
  check::LogEncoding ea, eb;
  if (!check::DecodeLog(a, &converted, &text, &ea, &why) || !check::DecodeLog(b, &converted, &text, &eb, &why)) {
    return false;
  }
  return std::string_view(ea.line_end) == eb.line_end;
}

// The log explainer's promises on any bytes: a log is read or refused with a
// reason; it reads the same re-saved with a mark or as UTF-16; no step comes
// from a line without its line end; a cut log's verdicts are the whole log's;
// the reports are valid JSON and terminal-safe text.
void CheckLogInvariants(const std::string& bytes, const std::string& head) {
  std::vector<check::LogRun> runs;
  std::string why;
  if (!check::ReadLogRuns(head, bytes, &runs, &why)) {
    if (why.empty() || !runs.empty()) abort();
    return;
  }
  const bool marked = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 || bytes.compare(0, 2, "\xFF\xFE") == 0 ||
                      bytes.compare(0, 2, "\xFE\xFF") == 0;
  if (!marked) {
    std::vector<check::LogRun> again;
    if (!check::ReadLogRuns(head, "\xEF\xBB\xBF" + bytes, &again, &why) || AllFacts(again) != AllFacts(runs)) abort();
    bool ascii = true;
    std::string utf16 = "\xFF\xFE";
    for (const char c : bytes) {
      ascii = ascii && c > 0;
      utf16 += std::string(1, c) + '\0';
    }
    again.clear();
    if (ascii && (!check::ReadLogRuns(head, utf16, &again, &why) || AllFacts(again) != AllFacts(runs))) abort();
  }
  int steps = 0;
  for (const check::LogRun& r : runs) steps += r.steps;
  if (steps > static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n'))) abort();
  // Cut where the input's last byte says: what the cut log decides, the whole one did,
  // when both are read with one line end (the file's line end is decided by all its lines).
  std::vector<check::LogRun> cut;
  const size_t at = bytes.empty() ? 0 : static_cast<uint8_t>(bytes.back()) * bytes.size() / 256;
  if (!marked && SameLineEnd(bytes, bytes.substr(0, at)) && check::ReadLogRuns(head, bytes.substr(0, at), &cut, &why)) {
    for (size_t i = 0; i < cut.size() && i < runs.size(); ++i) {
      const check::Outcome o = cut[i].outcome;
      if (o == check::Outcome::kIncomplete || o == check::Outcome::kEmpty || o == check::Outcome::kInterleaved ||
          runs[i].outcome == check::Outcome::kInterleaved) {
        continue;
      }
      if (o != runs[i].outcome || cut[i].cause != runs[i].cause || cut[i].client_package != runs[i].client_package) {
        abort();
      }
    }
  }
  check::LogSummary summary;
  check::AddToSummary(runs, &summary);
  check::AddToSummary(runs, &summary);  // a second log
  for (const check::LogRun& run : runs) {
    const std::string run_json = check::JsonRun(run);
    if (!WellFormedUtf8(run_json) || !JsonChecker(run_json).Valid()) abort();
    const std::string plain = check::TerminalText(check::PlainRun(run));
    for (const char c : plain) {
      if ((static_cast<uint8_t>(c) < 0x20 && c != '\n') || c == 0x7F) abort();
    }
  }
  const std::string log_json = check::JsonSummary(summary);
  if (!WellFormedUtf8(log_json) || !JsonChecker(log_json).Valid()) abort();
  check::PlainSummary(summary, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // The input's first bytes stand in for the package's texts too: a
  // config.ini or a folder name may hold any bytes as well.
  const std::string head = bytes.substr(0, 24);
  check::Report report;
  check::PackageReport& p = report.package;
  p.folder = head;
  p.config_path = head + "config.ini";
  p.client = {"FL", "version", head, logic::ParseVersion(head.c_str())};
  p.driver = {"driver", "version", "3.0.0", 300};
  p.installer = {"FL", "file", head};
  p.name_problem = logic::InstallerNameProblem(head);
  if (p.name_problem) p.refusal = logic::InstallerNameRefusal(head, p.name_problem);
  check::CheckReleases(check::SplitList(head), &report);
  std::string error;
  const bool decided = check::DecideFromExport({bytes}, {head}, size % 2 == 0, &report, &error);
  if (!decided && error.empty()) abort();  // no decision without a reason
  if (decided != report.has_decision) abort();
  const std::string json = check::JsonReport(report);
  if (!WellFormedUtf8(json) || !JsonChecker(json).Valid()) abort();
  check::PlainReport(report);

  CheckLogInvariants(bytes, head);
  return 0;
}
