#include "logic/staging.h"

#include <stdint.h>

#include <string>
#include <vector>

#include "logic/log.h"
#include "logic/log_texts.h"
#include "logic/text.h"
#include "platform/staging_tree.h"
#include "platform/system.h"

namespace {

// Paths are held to the system's limit (MAX_PATH, with its zero).

constexpr char kPrefix[] = "pathwarden-";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;

void Log(const std::string& message) { WriteLog(g_szLogPath, message.c_str()); }

// At most this many earlier folders are considered in one run: anyone may
// make entries in the shared folder, as many as they like, and memory that
// runs out ends the process without a line. Later runs take the rest.
constexpr size_t kMaxEarlierFolders = 64;

struct Candidates {
  const std::string* own_name;
  std::vector<std::string> names;
};

// Keeps, as the listing reads them, only names of ours but the run's own.
void CollectCandidate(void* context, const char* name) {
  auto* candidates = static_cast<Candidates*>(context);
  if (candidates->names.size() < kMaxEarlierFolders && IsStagingFolderName(name) && *candidates->own_name != name) {
    candidates->names.emplace_back(name);
  }
}

// Sixteen random hexadecimal digits; empty if the system has no randomness.
std::string RandomHex() {
  uint8_t bytes[8];
  if (!platform::RandomBytes(bytes, sizeof bytes)) return std::string();
  std::string hex;
  for (uint8_t b : bytes) hex += StringPrintf("%02x", b);
  return hex;
}

}  // namespace

// Appended to one copy of `temp_dir`: the least code in setup.exe.
std::string StagingDirectory(const std::string& temp_dir, bool elevated, const std::string& random_hex) {
  std::string dir = temp_dir;
  if (elevated) {
    dir += kPrefix;
    dir += random_hex;
    dir += platform::kPathSeparator;
  }
  return dir;
}

bool IsStagingFolderName(const std::string& name) {
  if (name.size() != kPrefixLength + 16 || name.compare(0, kPrefixLength, kPrefix) != 0) return false;
  for (size_t i = kPrefixLength; i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

StagingCleanup RemoveEarlierStagingFolders(const std::string& base, const std::string& own_name, bool account_owned) {
  StagingCleanup result;
  Candidates candidates{&own_name, {}};
  candidates.names.reserve(kMaxEarlierFolders);
  if (!platform::ListDirectory(base.c_str(), CollectCandidate, &candidates)) return result;
  for (const std::string& name : candidates.names) {
    // The base is shared: anyone may have made an entry of this name. The
    // whole check and removal happens behind the boundary, on held handles.
    switch (platform::ClearStagingFolder(base.c_str(), name.c_str(), account_owned)) {
      case platform::ClearOutcome::kRemoved:
        ++result.removed;
        break;
      case platform::ClearOutcome::kInUse:
        ++result.in_use;
        break;
      case platform::ClearOutcome::kNotOurs:
        ++result.left_alone;
        break;
    }
  }
  return result;
}

bool PreparePrivateStaging(std::string* staging, platform::DirectoryHold* hold) {
  char buffer[platform::kPathBufferSize + 1] = {};
  const uint32_t n = platform::GetSystemTempDirectory(platform::kPathBufferSize, buffer);
  if (n == 0 || n > platform::kMaxPathLength) {
    Log(log_text::kNoSystemTemp);
    return false;
  }
  const std::string base(buffer, n);
  if (!platform::KeepsAccessLists(base.c_str())) {
    Log(StringPrintf(log_text::kNoAccessLists, base.c_str()));
    return false;
  }
  std::string name;
  bool owned_by_account = false;
  bool created = false;
  // Made (and held) before the clean-up, so that the clean-up knows whom the
  // system makes our folders' owner; nothing is copied until after it. A run
  // clearing earlier folders at the same moment may take a folder before its
  // maker holds it: then try another name, a few times.
  for (int attempt = 0; attempt < 4 && !created; ++attempt) {
    const std::string random = RandomHex();
    name = kPrefix + random;
    *staging = StagingDirectory(base, true, random);
    if (random.empty() || staging->size() > platform::kMaxPathLength) break;
    created = platform::CreatePrivateDirectory(staging->c_str(), hold, &owned_by_account);
  }
  if (!created) {
    Log(StringPrintf(log_text::kPrivateFolderFailed, staging->c_str(), platform::GetLastSystemError()));
    return false;
  }
  if (owned_by_account) {
    Log(StringPrintf(log_text::kNotAdministratorsOwner, staging->c_str()));
  }
  const StagingCleanup cleanup = RemoveEarlierStagingFolders(base, name, owned_by_account);
  if (cleanup.removed || cleanup.in_use || cleanup.left_alone) {
    Log(StringPrintf(log_text::kEarlierFolders, base.c_str(), cleanup.removed, cleanup.in_use, cleanup.left_alone));
  }
  return true;
}
