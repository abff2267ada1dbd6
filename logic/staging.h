// The private staging folder of elevated runs: made fresh for each run under
// the system's temporary directory, where no unelevated user can rename,
// replace or delete another's entries, and earlier folders cleared so that
// copies do not pile up.
#ifndef PATHWARDEN_LOGIC_STAGING_H_
#define PATHWARDEN_LOGIC_STAGING_H_

#include <string>

#include "platform/staging.h"

namespace logic {

// Where the installer copy goes: `temp_dir` itself, or, when the process runs
// elevated or as the system account, a fresh subfolder of it (then the
// system's temporary directory, see PreparePrivateStaging) with a random name
// (`random_hex`) that only administrators and the system may write to, so
// that nobody can plant a DLL beside a copy that runs with those rights.
std::string StagingDirectory(const std::string& temp_dir, bool elevated, const std::string& random_hex);

// True for "pathwarden-" followed by exactly 16 lower-case hexadecimal
// digits: the only names the clean-up considers.
bool IsStagingFolderName(const std::string& name);

struct StagingCleanup {
  int removed = 0;     // earlier folders removed
  int in_use = 0;      // held by a run or with a file in use: kept
  int left_alone = 0;  // a link, a file, or someone else's folder
};

// Removes the staging folders in `base` (ending with the separator) but
// `own_name`, except those in use: held by a run still under way, or with a
// file in use (an installer still running). Only plain directories owned by
// the administrators or the system are touched, or by the running account
// when `account_owned` (where the system gives our own folders to it); links
// are removed as links and never followed.
StagingCleanup RemoveEarlierStagingFolders(const std::string& base, const std::string& own_name, bool account_owned);

// For an elevated run: clears earlier folders and makes this run's private
// folder, kept in use by `hold` until it goes; sets `*staging` to it, ending
// with the separator. Logs and returns false when no private folder can be
// had: no usable system temporary directory, a file system without access
// lists, or the folder could not be made as asked.
bool PreparePrivateStaging(std::string* staging, platform::DirectoryHold* hold);

}  // namespace logic

#endif  // PATHWARDEN_LOGIC_STAGING_H_
