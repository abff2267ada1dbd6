// A log's encoding and line ends, decided once per file. setup writes ANSI
// text with CR LF; logs reach support re-saved (Notepad's UTF-8 with its
// mark, its "Unicode": UTF-16 with a mark), passed through a text-mode copy
// (CR CR LF) or converted (LF). Each is read exactly; what cannot be, is
// refused with its reason rather than read as torn lines.
#include <stdint.h>

#include "platform/code_page.h"
#include "tools/check/log_grammar.h"

namespace check {
namespace {

bool StartsWith(const std::string& s, const char* mark, size_t n) { return s.compare(0, n, mark, n) == 0; }

// UTF-16 of `bytes` from `from`, as the system's A calls would give it.
bool FromUtf16(const std::string& bytes, size_t from, bool big_endian, std::string* text, std::string* why) {
  if ((bytes.size() - from) % 2 != 0) {
    *why = "UTF-16 cut inside a character (an odd number of bytes)";
    return false;
  }
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data()) + from;
  const size_t units = (bytes.size() - from) / 2;
  for (size_t i = 0; i < units; ++i) {
    const unsigned unit = big_endian ? data[2 * i] << 8 | data[2 * i + 1] : data[2 * i + 1] << 8 | data[2 * i];
    const auto next = [&](size_t k) {
      return big_endian ? data[2 * k] << 8 | data[2 * k + 1] : data[2 * k + 1] << 8 | data[2 * k];
    };
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (low || (high && (i + 1 == units || next(i + 1) < 0xDC00 || next(i + 1) > 0xDFFF))) {
      *why = "UTF-16 with a broken character (a lone surrogate)";
      return false;
    }
    if (high) ++i;
  }
  text->clear();
  platform::AppendUtf16AsAnsi(data, units, big_endian, text);
  return true;
}

// True when the first bytes look like UTF-16 text: NUL in every other byte.
bool LooksLikeUtf16(const std::string& bytes) {
  const size_t n = bytes.size() < 256 ? bytes.size() : 256;
  int zeros[2] = {};
  for (size_t i = 0; i < n; ++i) zeros[i % 2] += bytes[i] == '\0';
  return n >= 8 && (zeros[0] * 2 >= static_cast<int>(n) - 1 || zeros[1] * 2 >= static_cast<int>(n) - 1);
}

}  // namespace

bool DecodeLog(const std::string& bytes, std::string* converted, std::string_view* text, LogEncoding* encoding,
               std::string* why) {
  if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) {
    encoding->name = "UTF-8 with its mark";
    *text = bytes;
    text->remove_prefix(3);
  } else if (StartsWith(bytes, "\xFF\xFE", 2) || StartsWith(bytes, "\xFE\xFF", 2)) {
    const bool big_endian = bytes[0] == '\xFE';
    encoding->name = big_endian ? "UTF-16 BE" : "UTF-16 LE";
    if (!FromUtf16(bytes, 2, big_endian, converted, why)) return false;
    *text = *converted;
  } else if (LooksLikeUtf16(bytes)) {
    *why = "UTF-16 without its byte-order mark: save it again with one (Notepad: \"Unicode\")";
    return false;
  } else {
    encoding->name = "UTF-8";
    *text = bytes;
  }
  // The line end most lines have is the file's.
  size_t counts[3] = {};  // LF, CR LF, CR CR LF
  size_t bare_cr = 0;
  const std::string_view t = *text;
  // One pass over the bytes: find_first_of searches its set at every byte.
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] != '\r' && t[i] != '\n') continue;
    if (t[i] == '\n') {
      const bool cr = i > 0 && t[i - 1] == '\r';
      ++counts[cr ? (i > 1 && t[i - 2] == '\r' ? 2 : 1) : 0];
    } else if (i + 1 < t.size() && t[i + 1] != '\n' && t[i + 1] != '\r') {
      ++bare_cr;
    }
  }
  if (bare_cr > counts[0] + counts[1] + counts[2]) {
    *why = "its lines end in CR alone (a converted copy): not a velsetup.log as setup writes it";
    return false;
  }
  const int end = counts[2] > counts[1] && counts[2] >= counts[0] ? 2 : counts[0] > counts[1] ? 0 : 1;
  static const char* const kEnds[] = {"LF", "CR LF", "CR CR LF"};
  encoding->line_end = kEnds[end];
  return true;
}

void ForEachLine(std::string_view text, const LogEncoding& encoding,
                 void (*line)(void* context, std::string_view content, bool whole), void* context) {
  const size_t crs = encoding.line_end[0] == 'L' ? 0 : encoding.line_end[3] == 'C' ? 2 : 1;
  const std::string_view all = text;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    const bool ended = end != std::string_view::npos;
    if (!ended) end = all.size();
    std::string_view content = all.substr(start, end - start);
    start = end + 1;
    // Exactly the file's CRs before the LF; none more.
    size_t have = 0;
    while (have < content.size() && content[content.size() - 1 - have] == '\r') ++have;
    const bool whole = ended && have == crs;
    content.remove_suffix(have);
    line(context, content, whole);
  }
}

}  // namespace check
