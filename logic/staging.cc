#include "logic/staging.h"

#include <stdint.h>

#include <string>
#include <vector>

#include "logic/log.h"
#include "logic/log_texts.h"
#include "logic/text.h"
#include "formats/ascii.h"
#include "platform/staging_tree.h"
#include "platform/system.h"

namespace logic {

namespace {

constexpr char kPrefix[] = "pathwarden-";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;

// At most this many earlier folders are cleared in one run: memory that
// runs out ends the process without a line. Later runs take the rest.
constexpr size_t kMaxEarlierFolders = 64;

struct Candidates {
  const std::string* base;
  const std::string* own_name;
  bool account_owned;
  std::vector<std::string> names;
  size_t seen;     // folders that may be ours, all of the listing's
  int left_alone;  // names of ours on someone else's entries
};

// Which earlier folders a run takes must not depend on names anyone can
// choose: everyone may make entries in the shared folder, as many as they
// like and named to list first. Only folders owned as ours are kept, and of
// those, when there are more than the cap, a uniform random sample of the
// whole listing (reservoir sampling).
void CollectCandidate(void* context, const char* name) {
  auto* c = static_cast<Candidates*>(context);
  if (!IsStagingFolderName(name) || *c->own_name == name) return;
  if (!platform::OwnedLikeStagingFolder(c->base->c_str(), name, c->account_owned)) {
    ++c->left_alone;
    return;
  }
  ++c->seen;
  if (c->names.size() < kMaxEarlierFolders) {
    c->names.emplace_back(name);
    return;
  }
  uint32_t random = 0;
  if (!platform::RandomBytes(reinterpret_cast<uint8_t*>(&random), sizeof random)) return;
  const size_t slot = random % c->seen;
  if (slot < kMaxEarlierFolders) c->names[slot] = name;
}

}  // namespace

// One string, appended to in place: the path is made once, with no
// temporaries to join.
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
    if (!formats::IsLowerHexDigit(name[i])) return false;
  }
  return true;
}

StagingCleanup RemoveEarlierStagingFolders(const std::string& base, const std::string& own_name, bool account_owned) {
  StagingCleanup result;
  Candidates candidates{&base, &own_name, account_owned, {}, 0, 0};
  candidates.names.reserve(kMaxEarlierFolders);
  if (!platform::ListDirectory(base.c_str(), CollectCandidate, &candidates)) return result;
  result.left_alone = candidates.left_alone;
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
  platform::PathBuffer buffer = {};
  const uint32_t n = platform::GetSystemTempDirectory(buffer, platform::kPathBufferSize);
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
    // The folder's path, separator included, is held to the system's limit
    // (MAX_PATH with its zero), so that every call can take it.
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

}  // namespace logic
