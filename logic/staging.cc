#include "logic/staging.h"

#include <stdint.h>

#include <string>
#include <vector>

#include "logic/install.h"
#include "logic/log.h"
#include "logic/text.h"

namespace {

// Paths are held to the system's limit (MAX_PATH, with its zero).
constexpr size_t kPathLimit = 260;

constexpr char kPrefix[] = "pathwarden-";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;

void Log(const std::string& message) { WriteLog(g_szLogPath, message.c_str()); }

void CollectName(void* context, const char* name) { static_cast<std::vector<std::string>*>(context)->push_back(name); }

bool List(const std::string& path, std::vector<std::string>* names) {
  return platform::ListDirectory(path.c_str(), CollectName, names);
}

// True when any file below `dir` (no separator at its end) is in use.
// Links are not followed; what cannot be listed counts as in use.
bool TreeInUse(const std::string& dir) {
  std::vector<std::string> names;
  if (!List(dir, &names)) return true;
  for (const std::string& name : names) {
    std::string path = dir;
    path += platform::kPathSeparator;
    path += name;
    if (path.size() >= kPathLimit) return true;
    platform::EntryKind kind = platform::GetEntryKind(path.c_str());
    if (kind == platform::EntryKind::kDirectory ? TreeInUse(path) : platform::IsFileInUse(path.c_str())) return true;
  }
  return false;
}

// Removes what `dir` (no separator at its end) holds: links as links, files
// with their read-only attribute cleared, subdirectories with their
// contents. False if anything stays.
bool RemoveContents(const std::string& dir) {
  std::vector<std::string> names;
  if (!List(dir, &names)) return false;
  bool whole = true;
  for (const std::string& name : names) {
    std::string path = dir;
    path += platform::kPathSeparator;
    path += name;
    if (path.size() >= kPathLimit) {
      whole = false;
    } else if (platform::GetEntryKind(path.c_str()) == platform::EntryKind::kDirectory) {
      whole = RemoveContents(path) && platform::RemoveDirectoryAt(path.c_str()) && whole;
    } else {
      whole = platform::RemoveEntry(path.c_str()) && whole;
    }
  }
  return whole;
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
  std::vector<std::string> names;
  if (!List(base, &names)) return result;
  for (const std::string& name : names) {
    if (!IsStagingFolderName(name) || name == own_name) continue;
    const std::string path = base + name;
    // The base is shared: anyone may have made an entry of this name. Only
    // a plain directory of the administrators' (checked by name, then by
    // handle) is ours; a link in its place is not followed.
    const platform::FolderOwner owner = platform::GetEntryKind(path.c_str()) == platform::EntryKind::kDirectory
                                            ? platform::GetFolderOwner(path.c_str())
                                            : platform::FolderOwner::kNotAFolder;
    if (path.size() >= kPathLimit || !(owner == platform::FolderOwner::kAdministrators ||
                                       (account_owned && owner == platform::FolderOwner::kAccount))) {
      ++result.left_alone;
      continue;
    }
    // Held while it is checked and removed, so that no run can take it as
    // its new folder meanwhile; a run's own hold makes this fail.
    platform::DirectoryHold hold;
    if (!platform::HoldForRemoval(path.c_str(), &hold) || TreeInUse(path) || !RemoveContents(path) ||
        !platform::RemoveHeldDirectory(path.c_str(), &hold)) {
      ++result.in_use;
    } else {
      ++result.removed;
    }
  }
  return result;
}

bool PreparePrivateStaging(std::string* staging, platform::DirectoryHold* hold) {
  char buffer[kPathLimit + 1] = {};
  const uint32_t n = platform::GetSystemTempDirectory(kPathLimit, buffer);
  if (n == 0 || n >= kPathLimit) {
    Log("CSetupDlg::InstallPackage - No usable system temporary directory for the private folder. "
        "Quit installation...");
    return false;
  }
  const std::string base(buffer, n);
  if (!platform::KeepsAccessLists(base.c_str())) {
    Log("CSetupDlg::InstallPackage - The file system of <" + base +
        "> keeps no access lists: no private folder can be made there. Quit installation...");
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
    if (random.empty() || staging->size() >= kPathLimit) break;
    created = platform::CreatePrivateDirectory(staging->c_str(), hold, &owned_by_account);
  }
  if (!created) {
    Log(
        StringPrintf("CSetupDlg::InstallPackage - Could not create the private folder <%s>, error <%u>. "
                     "Quit installation...",
                     staging->c_str(), platform::GetLastSystemError()));
    return false;
  }
  if (owned_by_account) {
    Log("CSetupDlg::InstallPackage - The system did not make the administrators the owner of <" + *staging +
        ">: it belongs to the running account.");
  }
  const StagingCleanup cleanup = RemoveEarlierStagingFolders(base, name, owned_by_account);
  if (cleanup.removed || cleanup.in_use || cleanup.left_alone) {
    Log(
        StringPrintf("CSetupDlg::InstallPackage - Earlier private folders in %s: %d removed, %d in use kept, "
                     "%d not ours left alone.",
                     base.c_str(), cleanup.removed, cleanup.in_use, cleanup.left_alone));
  }
  return true;
}
