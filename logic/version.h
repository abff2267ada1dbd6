// Version texts and version numbers.
#ifndef PATHWARDEN_LOGIC_VERSION_H_
#define PATHWARDEN_LOGIC_VERSION_H_

#include <stdint.h>

namespace logic {

// The version number of a version text: every '.' removed, the rest read as
// a decimal integer the way atoi reads it (leading white space, one sign,
// digits up to the first non-digit), accumulated modulo 2^32. So 1.2.3 gives
// 123 and 1.10.0 gives 1100: components are joined, not compared one by one.
// Never fails; a null text gives 0.
int32_t ParseVersion(const char* text);

}  // namespace logic

#endif  // PATHWARDEN_LOGIC_VERSION_H_
