// Shared between the two Windows files of the private staging folder: who
// owns a folder, and whether its access list lets anyone else change it.
#ifndef PATHWARDEN_PLATFORM_STAGING_WIN_H_
#define PATHWARDEN_PLATFORM_STAGING_WIN_H_

#include <windows.h>

namespace platform {
namespace internal {

enum class FolderOwner { kAdministrators, kAccount, kOther };

// The administrators or the system; the running account; anyone else.
FolderOwner ClassifyOwner(PSID owner);

// True when only the system, the administrators and `owner` are granted any
// right that changes the folder. A null list grants everyone everything; an
// entry of a kind not understood here counts against it.
bool OnlyTrustedMayChange(PACL dacl, PSID owner);

// True when the list holds an OWNER RIGHTS entry for the folder itself: it
// replaces the rights an owner has implicitly (rewriting the list), so with
// read and execute only, owning the folder gains nothing.
bool OwnerRightsLimited(PACL dacl);

// Set when this run's own folder, given to the running account, carries
// the OWNER RIGHTS limit as read back: the clean-up then takes the account's
// earlier folders only under that limit too. (A system that keeps no such
// entry, as Wine, reports none on any folder.)
extern bool g_account_folders_limited;

}  // namespace internal
}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_STAGING_WIN_H_
