// Helpers shared by the POSIX stand-in's files; not part of the boundary.
#ifndef PATHWARDEN_PLATFORM_POSIX_INTERNAL_H_
#define PATHWARDEN_PLATFORM_POSIX_INTERNAL_H_

#include <stdint.h>

#include <string>

namespace platform {
namespace internal {

// The stand-in's Windows error codes where Windows' own are expected.
constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorMoreData = 234;
constexpr uint32_t kErrorInsufficientBuffer = 122;

// Sets the calling thread's last error, which GetLastSystemError reads, and
// returns false: the one writer of it, so that every failure records its own.
bool SetError(uint32_t error);

// The most the stand-in reads of a registry export or config.ini, as the
// check tool of its inputs.
constexpr uint64_t kMaxFileBytes = 256ull << 20;

}  // namespace internal
}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_POSIX_INTERNAL_H_
