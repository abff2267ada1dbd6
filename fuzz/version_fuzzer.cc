// ParseVersion on any bytes: no undefined behaviour, and the result agrees
// with an independent reading of the same rule in 64-bit arithmetic.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "logic/version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));
  int32_t got = logic::ParseVersion(text.c_str());

  std::string joined;
  for (char c : text) {
    if (c != '.') joined += c;
  }
  size_t i = 0;
  while (i < joined.size() && (joined[i] == ' ' || (joined[i] >= '\t' && joined[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < joined.size() && (joined[i] == '+' || joined[i] == '-')) negative = joined[i++] == '-';
  uint64_t value = 0;
  for (; i < joined.size() && joined[i] >= '0' && joined[i] <= '9'; ++i) {
    value = (value * 10 + static_cast<uint64_t>(joined[i] - '0')) & 0xFFFFFFFFu;
  }
  if (negative) value = (0x100000000u - value) & 0xFFFFFFFFu;
  if (static_cast<uint32_t>(got) != static_cast<uint32_t>(value)) abort();
  return 0;
}
