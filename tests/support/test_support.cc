#include "tests/support/test_support.h"

namespace test {

std::string Utf16Le(const std::string& ascii, bool bom) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

int32_t JoinedOnes(size_t count) {
  uint32_t v = 0;
  for (size_t i = 0; i < count; ++i) v = v * 10 + 1;
  return static_cast<int32_t>(v);
}

}  // namespace test
