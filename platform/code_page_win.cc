// Texts of the system's ANSI code page as UTF-8, through the system's own
// conversion: for reports that must be UTF-8 whatever the code page.
#include "platform/code_page.h"

#include <windows.h>

#include <vector>

#include "formats/text_encoding.h"
#include "platform/names_win.h"

namespace platform {
namespace {

// `n` bytes at `p` as UTF-16, or false when they are not text of the code page.
bool ToUtf16(const char* p, int n, std::vector<wchar_t>* wide) {
  const int units = WidenAnsi(p, n, nullptr, 0);
  if (units <= 0) return false;
  wide->resize(static_cast<size_t>(units));
  return WidenAnsi(p, n, wide->data(), units) == units;
}

void AppendWide(const std::vector<wchar_t>& wide, std::string* out) {
  formats::AppendUtf16AsUtf8(reinterpret_cast<const uint8_t*>(wide.data()), wide.size(), false, out);
}

}  // namespace

// As RegQueryValueExA gives a stored string: the system's conversion, with
// its default character for what the code page lacks.
void AppendUtf16AsAnsi(const uint8_t* data, size_t units, bool big_endian, std::string* out) {
  if (units == 0 || units >= 0x7FFFFFFF) return;
  std::vector<wchar_t> wide(units);
  for (size_t i = 0; i < units; ++i) {
    const uint8_t* p = data + 2 * i;
    wide[i] = static_cast<wchar_t>(big_endian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
  }
  const int n = static_cast<int>(units);
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  const size_t at = out->size();
  out->resize(at + static_cast<size_t>(bytes));
  WideCharToMultiByte(CP_ACP, 0, wide.data(), n, &(*out)[at], bytes, nullptr, nullptr);
}

std::string AnsiToUtf8(std::string_view text) {
  std::string out;
  std::vector<wchar_t> wide;
  if (text.empty()) return out;
  if (text.size() < 0x7FFFFFFF && ToUtf16(text.data(), static_cast<int>(text.size()), &wide)) {
    AppendWide(wide, &out);
    return out;
  }
  // Character by character: what does not convert is marked, the rest kept.
  for (size_t i = 0; i < text.size();) {
    const int n = IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
    if (ToUtf16(text.data() + i, n, &wide)) {
      AppendWide(wide, &out);
    } else {
      out += "\xEF\xBF\xBD";  // U+FFFD
    }
    i += static_cast<size_t>(n);
  }
  return out;
}

}  // namespace platform
