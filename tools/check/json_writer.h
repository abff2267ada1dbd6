// JSON written in order into a string, for every report of the tool: the
// writer puts the brackets, the commas, the names' quotes and the escapes;
// the caller says only where a line breaks.
#ifndef PATHWARDEN_TOOLS_CHECK_JSON_WRITER_H_
#define PATHWARDEN_TOOLS_CHECK_JSON_WRITER_H_

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "tools/check/check.h"

namespace check {

class JsonWriter {
 public:
  // Members and elements follow each other on one line, ", " apart; one
  // given an indent starts a new line with that many spaces instead.
  static constexpr int kSameLine = -1;

  explicit JsonWriter(std::string* out) : out_(out) {}

  // The open object's next member: its name, then its value.
  JsonWriter& Name(std::string_view name, int indent = kSameLine) {
    Next(indent);
    AppendJsonString(name, out_);
    out_->append(": ");
    return *this;
  }
  // The open list's next element.
  JsonWriter& Item(int indent = kSameLine) {
    Next(indent);
    return *this;
  }
  JsonWriter& Open() { return Push('{', '}'); }
  JsonWriter& OpenList() { return Push('[', ']'); }
  // Ends the innermost object or list; given an indent, on a line of its own
  // when it holds anything.
  JsonWriter& Close(int indent = kSameLine) {
    if (open_.empty()) return *this;
    if (indent != kSameLine && filled_.back()) Break(indent);
    out_->push_back(open_.back());
    open_.pop_back();
    filled_.pop_back();
    return *this;
  }
  // Values. Texts are in the ANSI code page, as AppendJsonString takes them.
  JsonWriter& Text(std::string_view text) {
    AppendJsonString(text, out_);
    return *this;
  }
  JsonWriter& Number(int64_t n) {
    out_->append(std::to_string(n));
    return *this;
  }
  JsonWriter& Bool(bool b) {
    out_->append(b ? "true" : "false");
    return *this;
  }
  JsonWriter& TextList(const std::string* texts, size_t count) {
    OpenList();
    for (size_t i = 0; i < count; ++i) Item().Text(texts[i]);
    return Close();
  }

 private:
  JsonWriter& Push(char open, char close) {
    out_->push_back(open);
    open_.push_back(close);
    filled_.push_back(false);
    return *this;
  }

  void Next(int indent) {
    const bool first = filled_.empty() || !filled_.back();
    if (!filled_.empty()) filled_.back() = true;
    if (!first) out_->push_back(',');
    if (indent != kSameLine) {
      Break(indent);
    } else if (!first) {
      out_->push_back(' ');
    }
  }

  void Break(int indent) {
    out_->push_back('\n');
    out_->append(static_cast<size_t>(indent), ' ');
  }

  std::string* out_;
  std::string open_;          // the closing bracket of each container open, innermost last
  std::vector<bool> filled_;  // for each: whether it holds a member or an element yet
};

}  // namespace check

#endif  // PATHWARDEN_TOOLS_CHECK_JSON_WRITER_H_
