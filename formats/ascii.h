// Case folding of ASCII letters only: registry, profile and device names
// compare this way whatever the code page, and no locale is consulted.
// Portable, no system calls: used by logic/, by both platforms and by the
// readers. The comparisons are inline so that setup.exe carries only what it
// calls.
#ifndef PATHWARDEN_FORMATS_ASCII_H_
#define PATHWARDEN_FORMATS_ASCII_H_

#include <string>
#include <string_view>

namespace formats {

// A-Z as a-z; every other byte unchanged.
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// Equal lengths and equal bytes once A-Z are folded. Both texts are read to
// their length only, never past it.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// `text` begins with `prefix`, A-Z folded.
inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(std::string_view(text.data(), prefix.size()), prefix);
}

// The lower-case hexadecimal digit of the low four bits of `value`.
inline char HexDigit(unsigned value) { return "0123456789abcdef"[value & 0xF]; }

// `text` with A-Z as a-z.
std::string AsciiLowerCopy(std::string_view text);

}  // namespace formats

#endif  // PATHWARDEN_FORMATS_ASCII_H_
