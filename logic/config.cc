#include "logic/config.h"

#include <utility>

#include "logic/text.h"
#include "platform/system.h"
#include "platform/profile.h"

namespace logic {

std::string GetExeDirectory(bool* inexact) {
  platform::PathBuffer path = {};
  uint32_t n = platform::GetExecutablePath(path, platform::kPathBufferSize);
  if (inexact) *inexact = n == 0 && platform::GetLastSystemError() == platform::kErrorNoExactName;
  // A cut path names some other directory: better none than that one.
  if (n == 0 || n > platform::kMaxPathLength) return std::string();
  std::string exe(path, n);
  size_t separator = FindLastSeparator(exe, platform::kPathSeparator);
  if (separator == std::string::npos) return std::string();
  return exe.substr(0, separator + 1);
}

PackageConfig::PackageConfig(std::string path) : path_(std::move(path)) {}

std::string PackageConfig::Read(const char* section, const char* key, bool* inexact) {
  uint32_t n = platform::ReadProfileString(section, key, "", buffer_, platform::kPathBufferSize, path_.c_str());
  if (inexact) *inexact = n == 0 && platform::GetLastSystemError() == platform::kErrorNoExactName;
  if (n > platform::kMaxPathLength) n = platform::kMaxPathLength;
  return std::string(buffer_, n);
}

}  // namespace logic
