// Case folding of ASCII letters only: registry, profile and device names
// compare this way whatever the code page, and no locale is consulted. Also
// the two sets of white space the readers skip, and hexadecimal digits both
// ways: written into names, read from names and exports.
// Portable, no system calls: used by logic/, by both platforms and by the
// readers. The comparisons are inline so that setup.exe carries only what it
// calls.
#ifndef PATHWARDEN_FORMATS_ASCII_H_
#define PATHWARDEN_FORMATS_ASCII_H_

#include <stddef.h>
#include <stdint.h>

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

// Space and tab only, as C's isblank: what regedit skips around the parts of
// an export's line.
inline bool IsAsciiBlank(char c) { return c == ' ' || c == '\t'; }

// Space and \t \n \v \f \r, as C's isspace in the C locale: what the
// profile reader trims and what the version number's conversion skips.
inline bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The lower-case hexadecimal digit of the low four bits of `value`.
inline char HexDigit(unsigned value) { return "0123456789abcdef"[value & 0xF]; }

// The value of hexadecimal digit `c`, either case; -1 when it is none.
inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A digit HexDigit writes: 0-9 or a-f, never A-F.
inline bool IsLowerHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// A temporary file's name: `prefix` and hexadecimal digits drawn from
// `seed`, min(room, 17) characters in all (one digit alone when `room` is 1),
// so that it is never longer than the name it stands beside. Written to
// `out` with a terminating zero (so `out` holds 18 bytes, or room + 1);
// returns the count without it.
inline size_t HexTempName(char prefix, uint32_t seed, size_t room, char* out) {
  size_t digits = room < 17 ? room : 17;
  char* next = out;
  if (digits > 1) {
    *next++ = prefix;
    --digits;
  }
  for (size_t i = 0; i < digits; ++i) {
    *next++ = HexDigit(seed);
    seed = seed >> 4 | seed << 28;
    if (i == 7) seed = seed * 2654435761u + 0x9E3779B9u;  // 16 digits, not the same 8 twice
  }
  *next = '\0';
  return static_cast<size_t>(next - out);
}

// Where the last component of a path begins: the index just past the last
// separator (`a` or `b`; give one twice for one) among the first `length`
// units of `text`, or 0 when there is none. A unit for which `is_lead` holds
// begins a double-byte character whose trail byte may look like a separator
// (0x5C) and is not one. The one search for every path split: narrow and
// wide text, both platforms, the logic and the tool.
template <typename Unit, typename IsLead>
size_t LastComponentStart(const Unit* text, size_t length, Unit a, Unit b, IsLead is_lead) {
  size_t start = 0;
  for (size_t i = 0; i < length; ++i) {
    if (is_lead(text[i]) && i + 1 < length) {
      ++i;
    } else if (text[i] == a || text[i] == b) {
      start = i + 1;
    }
  }
  return start;
}

// The same for text without double-byte characters (UTF-16, UTF-8).
template <typename Unit>
size_t LastComponentStart(const Unit* text, size_t length, Unit a, Unit b) {
  return LastComponentStart(text, length, a, b, [](Unit) { return false; });
}

// `text` with A-Z as a-z.
std::string AsciiLowerCopy(std::string_view text);

}  // namespace formats

#endif  // PATHWARDEN_FORMATS_ASCII_H_
