#include "tools/check/log_grammar.h"

#include <string.h>

#include "logic/log_texts.h"
#include "platform/code_page.h"

namespace check {
namespace {

using Type = LogLine::Type;

bool Digit(char c) { return c >= '0' && c <= '9'; }

// The number of conversion `conv` ('d': %d, 'u': %u or %lu) in s[from, to):
// as printf writes it (no sign but a minus for %d, no leading zero), and in
// the range of its 32-bit type.
bool NumberIn(std::string_view s, size_t from, size_t to, char conv, int64_t* out) {
  const bool minus = conv == 'd' && from < to && s[from] == '-';
  const size_t first = from + (minus ? 1 : 0);
  const size_t n = to - first;
  if (to <= first || n > 10 || (s[first] == '0' && n > 1) || (minus && s[first] == '0')) return false;
  int64_t value = 0;
  for (size_t i = first; i < to; ++i) {
    if (!Digit(s[i])) return false;
    value = value * 10 + (s[i] - '0');
  }
  if (minus) value = -value;
  const bool fits = conv == 'd' ? value >= INT32_MIN && value <= INT32_MAX : value <= UINT32_MAX;
  *out = value;
  return fits;
}

// The conversion that ends text[.., end) ('d', 'u', 's') with its length, or 0.
char ConversionBefore(const char* text, size_t end, size_t* length) {
  if (end >= 3 && memcmp(text + end - 3, "%lu", 3) == 0) return *length = 3, 'u';
  if (end >= 2 && text[end - 2] == '%') return *length = 2, text[end - 1];
  return 0;
}

// `line` as made from the printf format `text`: literal pieces exact,
// numbers whole; the one %s (if any) takes what lies between the parts
// before and after it. Numbers go to out->numbers in order.
bool Matches(const char* text, std::string_view line, LogLine* out) {
  int64_t numbers[3] = {};
  int count = 0;
  size_t t = 0;
  size_t i = 0;
  const size_t text_size = strlen(text);
  // Forward to the %s or the end.
  while (t < text_size && !(text[t] == '%' && text[t + 1] == 's')) {
    if (text[t] != '%') {
      if (i >= line.size() || line[i] != text[t]) return false;
      ++t, ++i;
      continue;
    }
    const char conv = text[t + 1] == 'l' ? 'u' : text[t + 1];
    t += text[t + 1] == 'l' ? 3 : 2;
    size_t end = i + (conv == 'd' && i < line.size() && line[i] == '-' ? 1 : 0);
    while (end < line.size() && Digit(line[end])) ++end;
    if (count == 3 || !NumberIn(line, i, end, conv, &numbers[count++])) return false;
    i = end;
  }
  if (t == text_size) {
    if (i != line.size()) return false;
  } else {
    // Backward from the end to the %s.
    const size_t s_at = t;
    size_t te = text_size;
    size_t le = line.size();
    int64_t tail[3] = {};
    int tail_count = 0;
    while (te > s_at + 2) {
      size_t length = 0;
      const char conv = ConversionBefore(text, te, &length);
      if (conv == 'd' || conv == 'u') {
        size_t from = le;
        while (from > i && Digit(line[from - 1])) --from;
        if (conv == 'd' && from > i && line[from - 1] == '-') --from;
        if (count + tail_count == 3 || !NumberIn(line, from, le, conv, &tail[tail_count++])) return false;
        le = from;
        te -= length;
        continue;
      }
      if (le <= i || line[le - 1] != text[te - 1]) return false;
      --te, --le;
    }
    out->text = line.substr(i, le - i);
    if (out->text.find('\r') != std::string_view::npos) return false;
    while (tail_count > 0) numbers[count++] = tail[--tail_count];
  }
  memcpy(out->numbers, numbers, sizeof numbers);
  return true;
}

struct StepText {
  const char* text;
  StepKind kind;
  int rank;
  bool final;
};

// Every step a run writes, with its place in the run's order: a run writes
// OnInitDialog, START, the two version lines, then one of the stops, the
// copy or the "already the latest" line (an elevated run first its folder
// lines), a failure of the copy or the open, and the closing lines.
const StepText kSteps[] = {
    {logic::log_text::kInitDialog, StepKind::kInit, 1, false},
    {logic::log_text::kWorkerFailed, StepKind::kWorkerFailed, 2, true},
    {logic::log_text::kDialogFailed, StepKind::kDialogFailed, 13, true},
    {logic::log_text::kPassStart, StepKind::kPassStart, 2, false},
    {logic::log_text::kClientVersions, StepKind::kClient, 3, false},
    {logic::log_text::kDriverVersions, StepKind::kDriver, 4, false},
    {logic::log_text::kNotAdministratorsOwner, StepKind::kOwnerNote, 6, false},
    {logic::log_text::kEarlierFolders, StepKind::kEarlierFolders, 7, false},
    {logic::log_text::kAlreadyLatest, StepKind::kUpToDate, 8, false},
    {logic::log_text::kOwnPathNotExact, StepKind::kStop, 8, false},
    {logic::log_text::kOwnPathMissing, StepKind::kStop, 8, false},
    {logic::log_text::kPathTooLong, StepKind::kStop, 8, false},
    {logic::log_text::kNoTempDirectory, StepKind::kStop, 8, false},
    {logic::log_text::kNoSystemTemp, StepKind::kStop, 8, false},
    {logic::log_text::kNoAccessLists, StepKind::kStop, 8, false},
    {logic::log_text::kPrivateFolderFailed, StepKind::kStop, 8, false},
    {logic::log_text::kAlreadyInTemp, StepKind::kInPlace, 8, false},
    {logic::log_text::kCopyFailed, StepKind::kCopyFailed, 9, false},
    {logic::log_text::kShellExecuteFailed, StepKind::kOpenFailed, 9, false},
    {logic::log_text::kFinishStart, StepKind::kFinishStart, 10, false},
    {logic::log_text::kFinishEnd, StepKind::kFinishEnd, 11, false},
    {logic::log_text::kPassEnd, StepKind::kPassEnd, 12, true},
};

const char* const kNameReasons[] = {logic::log_text::kNameNotExact, logic::log_text::kNameEmpty,
                                    logic::log_text::kNameAbsolute, logic::log_text::kNameDrive,
                                    logic::log_text::kNameLeaves,   logic::log_text::kNameDotOrSpace,
                                    logic::log_text::kNameDevice};

bool StartsWith(std::string_view s, const char* prefix, size_t n) {
  return s.size() >= n && memcmp(s.data(), prefix, n) == 0;
}

// A refused name: "<name> reason. Quit installation...", the reason one of setup's.
bool ReadNameRefused(std::string_view m, LogLine* out) {
  const size_t fixed = logic::log_text::FixedLength(logic::log_text::kNameRefused);
  if (!StartsWith(m, logic::log_text::kNameRefused, fixed)) return false;
  for (const char* reason : kNameReasons) {
    const std::string tail = std::string("> ") + reason + logic::log_text::kQuitSuffix;
    if (m.size() < fixed + tail.size() || m.substr(m.size() - tail.size()) != tail) continue;
    out->text = m.substr(fixed, m.size() - fixed - tail.size());
    if (out->text.find('\r') != std::string_view::npos) return false;
    out->reason = reason;
    return true;
  }
  return false;
}

bool ReadStep(std::string_view m, LogLine* out) {
  const size_t copy = logic::log_text::FixedLength(logic::log_text::kCopyFile);
  if (StartsWith(m, logic::log_text::kCopyFile, copy)) {
    out->kind = StepKind::kCopy;
    out->rank = 8;
    out->text = m.substr(copy);
    return out->text.find('\r') == std::string_view::npos;
  }
  if (ReadNameRefused(m, out)) {
    out->kind = StepKind::kStop;
    out->stop = logic::log_text::kNameRefused;
    out->rank = 8;
    return true;
  }
  static size_t fixed[sizeof kSteps / sizeof kSteps[0]] = {};
  if (fixed[0] == 0) {
    for (size_t i = 0; i < sizeof kSteps / sizeof kSteps[0]; ++i)
      fixed[i] = logic::log_text::FixedLength(kSteps[i].text);
  }
  for (size_t i = 0; i < sizeof kSteps / sizeof kSteps[0]; ++i) {
    const StepText& s = kSteps[i];
    if (!StartsWith(m, s.text, fixed[i]) || !Matches(s.text, m, out)) continue;
    out->kind = s.kind;
    out->rank = s.rank;
    out->final = s.final;
    if (s.kind == StepKind::kStop) out->stop = s.text;
    return true;
  }
  return false;
}

// "dddd/dd/dd" then `between`, then "dd:dd:dd".
bool IsStamp(std::string_view s, char between) {
  static const char kShape[] = "0000/00/00 00:00:00";
  if (s.size() < sizeof kShape - 1) return false;
  for (size_t i = 0; i < sizeof kShape - 1; ++i) {
    const char want = i == 10 ? between : kShape[i];
    if (want == '0' ? !Digit(s[i]) : s[i] != want) return false;
  }
  return true;
}

int Two(std::string_view s, size_t at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); }

// The stamp's seconds, counted from a fixed day; only differences count.
int64_t Seconds(std::string_view stamp) {
  const int64_t year = Two(stamp, 0) * 100 + Two(stamp, 2);
  const int month = Two(stamp, 5);
  // Days before the month, from March (the leap day last), then the years'.
  const int64_t y = month <= 2 ? year - 1 : year;
  const int64_t days = 365 * y + y / 4 - y / 100 + y / 400 + (153 * ((month + 9) % 12) + 2) / 5 + Two(stamp, 8);
  return ((days * 24 + Two(stamp, 11)) * 60 + Two(stamp, 14)) * 60 + Two(stamp, 17);
}

}  // namespace

LogLine ReadLogLine(std::string_view line) {
  LogLine out;
  static const char kProduct[] = "\tPathwarden Installer";
  if (line.empty()) {
    out.type = Type::kBlank;
  } else if (line.size() == 71 && line.find_first_not_of('=') == std::string_view::npos) {
    out.type = Type::kRule;
  } else if (line.size() == 19 + sizeof kProduct - 1 && IsStamp(line, '\t') &&
             line.substr(19) == std::string_view(kProduct, sizeof kProduct - 1)) {
    out.type = Type::kBanner;
    out.when = std::string(line.substr(0, 10)) + " " + std::string(line.substr(11, 8));
    out.time = Seconds(line);
  } else if (line.size() > 21 && IsStamp(line, ' ') && line[19] == '\t' && line[20] == ' ' &&
             ReadStep(line.substr(21), &out)) {
    out.type = Type::kStep;
    out.time = Seconds(line);
  }
  return out;
}

}  // namespace check
