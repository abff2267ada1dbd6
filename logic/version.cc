#include "logic/version.h"

namespace logic {

int32_t ParseVersion(const char* text) {
  if (!text) return 0;
  const char* p = text;
  // Full stops are dropped wherever they are, even between white space and
  // the sign, so skip them along with everything the conversion skips.
  auto next = [&p]() {
    while (*p == '.') ++p;
    return *p;
  };
  char c = next();
  while (c == ' ' || (c >= '\t' && c <= '\r')) {
    ++p;
    c = next();
  }
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    ++p;
    c = next();
  }
  // Unsigned arithmetic: overflow wraps modulo 2^32 without undefined behaviour.
  uint32_t value = 0;
  while (c >= '0' && c <= '9') {
    value = value * 10u + static_cast<uint32_t>(c - '0');
    ++p;
    c = next();
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

}  // namespace logic
