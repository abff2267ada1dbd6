#include "logic/text.h"

#include <stdarg.h>
#include <stdint.h>

#include "formats/ascii.h"
#include "platform/system.h"

namespace logic {

std::string StringPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int n = platform::FormatText(nullptr, 0, format, measure);
  va_end(measure);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    if (platform::FormatText(&out[0], out.size(), format, args) == n) {
      out.resize(static_cast<size_t>(n));
    } else {
      out.clear();
    }
  }
  va_end(args);
  return out;
}

size_t FindLastSeparator(const std::string& text, char separator) {
  const size_t start = formats::LastComponentStart(text.data(), text.size(), separator, separator, [](char c) {
    return platform::IsLeadByte(static_cast<uint8_t>(c));
  });
  return start == 0 ? std::string::npos : start - 1;
}

namespace {

// The next comparison unit at `*i`, advancing `*i` past it.
uint32_t NextUnit(const std::string& s, size_t* i) {
  uint8_t c = static_cast<uint8_t>(s[*i]);
  if (platform::IsLeadByte(c) && *i + 1 < s.size()) {
    uint16_t unit = static_cast<uint16_t>(c << 8 | static_cast<uint8_t>(s[*i + 1]));
    *i += 2;
    return platform::UpperDoubleByte(unit);
  }
  ++*i;
  return static_cast<uint8_t>(formats::AsciiLower(static_cast<char>(c)));
}

}  // namespace

int CompareNoCase(const std::string& a, const std::string& b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    uint32_t ua = NextUnit(a, &i);
    uint32_t ub = NextUnit(b, &j);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::string RandomHex() {
  uint8_t bytes[8];
  if (!platform::RandomBytes(bytes, sizeof bytes)) return std::string();
  char hex[2 * sizeof bytes];
  for (size_t i = 0; i < sizeof bytes; ++i) {
    hex[2 * i] = formats::HexDigit(bytes[i] >> 4);
    hex[2 * i + 1] = formats::HexDigit(bytes[i]);
  }
  return std::string(hex, sizeof hex);
}

}  // namespace logic
