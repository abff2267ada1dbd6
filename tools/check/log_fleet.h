// pathwarden-check --log: logs and folders of them read one log at a time,
// each run written out as it is explained, so that memory holds the
// summary and one log, not the fleet.
#ifndef PATHWARDEN_TOOLS_CHECK_LOG_FLEET_H_
#define PATHWARDEN_TOOLS_CHECK_LOG_FLEET_H_

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace check {

enum class LogFormat { kPlain, kJson, kJsonLines };

struct LogOptions {
  LogFormat format = LogFormat::kPlain;
  bool runs = false;  // every run's details, also for many logs
  bool all = false;   // every machine behind each cause
};

// The largest input read (a log, an export, a list of releases); a larger
// file is named as not read.
inline constexpr uint64_t kMaxInputBytes = 256ull << 20;

// `path`'s bytes; false with the reason in `why` when it cannot be read or
// is larger than kMaxInputBytes.
bool ReadInput(const std::string& path, std::string* bytes, std::string* why);

// Explains the logs at and below `paths` to `out`. Returns the exit status:
// 0 every input read; 1 some could not be (named in the report, the rest
// explained); 2 none could be, or the report could not be written.
int ExplainLogs(const std::vector<std::string>& paths, const LogOptions& options, FILE* out);

}  // namespace check

#endif  // PATHWARDEN_TOOLS_CHECK_LOG_FLEET_H_
