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

RegValue Version(bool view64, const std::string& key, const std::string& text) {
  return TypedVersion(view64, key, kRegSz, text + std::string(1, '\0'));
}

RegValue TypedVersion(bool view64, const std::string& key, uint32_t type, const std::string& data) {
  return RegValue{view64, key, "Version", type, data};
}

RegValue EmptyKey(bool view64, const std::string& key) { return RegValue{view64, key, "", 0, ""}; }

}  // namespace test
