// Case folding of ASCII letters only: registry, profile and device names
// compare this way whatever the code page, and no locale is consulted.
// Portable: used by logic/ and by both platforms.
#ifndef PATHWARDEN_PLATFORM_ASCII_H_
#define PATHWARDEN_PLATFORM_ASCII_H_

#include <string>
#include <string_view>

namespace platform {

// A-Z as a-z; every other byte unchanged.
char AsciiLower(char c);

// `text` with A-Z as a-z.
std::string AsciiLowerCopy(std::string_view text);

// Equal lengths and equal bytes once A-Z are folded. Both texts are read to
// their length only, never past it.
bool EqualsNoCase(std::string_view a, std::string_view b);

// `text` begins with `prefix`, A-Z folded.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_ASCII_H_
