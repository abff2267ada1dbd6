// The install log: one timestamped line per step, appended to velsetup.log in
// the temporary directory, with a banner before the first line of each run.
#ifndef PATHWARDEN_LOGIC_LOG_H_
#define PATHWARDEN_LOGIC_LOG_H_

#include <stdint.h>

#include "platform/system.h"

namespace logic {

// Full path of the log file; empty until SetLogPathFromTempDirectory fills it,
// and left empty when no complete path fits, so that nothing is written
// rather than written somewhere unintended.
constexpr unsigned kLogPathSize = platform::kPathBufferSize;
extern char g_szLogPath[kLogPathSize];

// 1 until the first message of this process reaches the file, then 0.
extern int g_bFirstLog;

// The log file's name inside the temporary directory.
extern const char kLogFileName[];

// Fills g_szLogPath with the temporary directory followed by kLogFileName.
// Returns false (and leaves it empty) when there is no temporary directory or
// the joined path does not fit.
bool SetLogPathFromTempDirectory();

// Appends `message` (zero-terminated, any length, written as given: never
// used as a format) to the log file at `path`, preceded by the run banner if
// it is this process's first message to reach the file. The whole text goes
// to the file in one write. An empty path or a file that cannot be opened
// drops the message silently.
void WriteLog(const char* path, const char* message);

// Stands a clock of the tests' own in for the system's (null restores it),
// so that a test can tell one reading of the time from two.
void SetLogClockForTesting(int64_t (*clock)());

}  // namespace logic

#endif  // PATHWARDEN_LOGIC_LOG_H_
