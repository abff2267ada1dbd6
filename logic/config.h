// The package configuration: config.ini beside the executable.
#ifndef PATHWARDEN_LOGIC_CONFIG_H_
#define PATHWARDEN_LOGIC_CONFIG_H_

#include <string>

#include "logic/names.h"
#include "platform/system.h"

namespace logic {

// The running executable's directory up to and including its last separator
// (found character by character, so a double-byte character's trail byte is
// never taken for one); empty if the path cannot be had or has none.
// `*inexact` (if given) tells that the path had no exact form in the ANSI
// code page: it would have named another folder.
std::string GetExeDirectory(bool* inexact = nullptr);

// Reads values of one initialisation file through the platform's reader into
// one platform::PathBuffer, zeroed once and reused. A missing file, section
// or key reads as the empty text; values are cut at platform::kMaxPathLength
// characters. A value without an exact form in the ANSI code page reads as
// the empty text too, and sets `*inexact` (if given): its look-alike would
// name another file.
class PackageConfig {
 public:
  explicit PackageConfig(std::string path);

  const std::string& path() const { return path_; }
  std::string Read(const char* section, const char* key, bool* inexact = nullptr);

 private:
  std::string path_;
  platform::PathBuffer buffer_ = {};
};

}  // namespace logic

#endif  // PATHWARDEN_LOGIC_CONFIG_H_
