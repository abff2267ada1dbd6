// Windows side of the private staging folder: the system's temporary
// directory, the folder made with its owner and access list and checked
// through a handle, and the hold that marks it in use.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <string.h>

#include "platform/handles_win.h"
#include "platform/names_win.h"
#include "platform/staging.h"
#include "platform/staging_win.h"

namespace platform {

using internal::ClassifyOwner;
using internal::FolderOwner;
using internal::OnlyTrustedMayChange;
using internal::OwnerRightsLimited;

namespace {

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

// Rights that change a folder or what is in it: anyone granted one of these
// could replace the installer copy or plant a DLL beside it.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool IsRunningAccount(PSID sid) {
  TokenUserBuffer user;
  return QueryProcessToken(TokenUser, user.bytes, sizeof user.bytes) && EqualSid(user.sid(), sid);
}

bool IsAdministratorsOrSystem(PSID sid) {
  return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid);
}

// Checks the open folder: a plain directory, owned by the administrators or
// the system (or the running account, reported), changed by no one else.
// When the system refused the administrators as owner (`fallback`), the
// account's folder must carry the OWNER RIGHTS entry, or it is refused:
// otherwise an owner, the same account's unelevated half included, could
// rewrite its list. Returns 0 or the reason.
DWORD CheckPrivate(HANDLE dir, bool fallback, bool* owned_by_account) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(dir, &info)) return GetLastError();
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return ERROR_DIRECTORY;
  }
  PSID owner = nullptr;
  PACL dacl = nullptr;
  ScopedLocalMemory descriptor;
  DWORD error = GetSecurityInfo(dir, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                nullptr, &dacl, nullptr, descriptor.receive());
  if (error != ERROR_SUCCESS) return error;
  FolderOwner kind = ClassifyOwner(owner);
  if (kind == FolderOwner::kAccount) {
    *owned_by_account = true;
    internal::g_account_folders_limited = OwnerRightsLimited(dacl);
    if (fallback && !internal::g_account_folders_limited) error = ERROR_INVALID_OWNER;
  } else if (kind != FolderOwner::kAdministrators) {
    error = ERROR_INVALID_OWNER;
  }
  if (error == ERROR_SUCCESS && !OnlyTrustedMayChange(dacl, owner)) error = ERROR_INVALID_SECURITY_DESCR;
  return error;
}

BOOL CreateWithDescriptor(const char* path, const char* sddl) {
  ScopedLocalMemory descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, descriptor.receive(), nullptr)) {
    return FALSE;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
  BOOL created = CreateDirectoryA(path, &attributes);
  DWORD error = GetLastError();
  descriptor.reset();
  SetLastError(error);
  return created;
}

}  // namespace

namespace internal {

bool g_account_folders_limited = false;

bool OwnerRightsLimited(PACL dacl) {
  ACL_SIZE_INFORMATION size = {};
  if (!dacl || !GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) return false;
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(dacl, i, &raw)) return false;
    const ACE_HEADER* header = static_cast<ACE_HEADER*>(raw);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
    PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(raw)->SidStart;
    if (IsWellKnownSid(sid, WinCreatorOwnerRightsSid)) return true;
  }
  return false;
}

FolderOwner ClassifyOwner(PSID owner) {
  if (!owner || !IsValidSid(owner)) return FolderOwner::kOther;
  if (IsAdministratorsOrSystem(owner)) return FolderOwner::kAdministrators;
  return IsRunningAccount(owner) ? FolderOwner::kAccount : FolderOwner::kOther;
}

bool OnlyTrustedMayChange(PACL dacl, PSID owner) {
  if (!dacl) return false;
  ACL_SIZE_INFORMATION size = {};
  if (!GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) return false;
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(dacl, i, &raw)) return false;
    const ACE_HEADER* header = static_cast<ACE_HEADER*>(raw);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    PSID sid = const_cast<DWORD*>(&ace->SidStart);
    if ((ace->Mask & kChangeRights) && !IsAdministratorsOrSystem(sid) && !EqualSid(sid, owner)) return false;
  }
  return true;
}

}  // namespace internal

uint32_t GetSystemTempDirectory(char* buffer, uint32_t size) {
  // The system's Windows folder, shared by every session; not the user's.
  // Asked for in UTF-16 and kept only if its ANSI form is exact (rule 1).
  wchar_t wide[MAX_PATH + 1];
  UINT units = GetSystemWindowsDirectoryW(wide, MAX_PATH);
  if (units == 0) units = GetWindowsDirectoryW(wide, MAX_PATH);
  if (units == 0) return 0;
  if (units >= MAX_PATH) return units + 6 > size ? units + 6 : size;
  char windows[4 * MAX_PATH + 1];
  const uint32_t n = ExactAnsiName(CP_ACP, wide, units, windows, sizeof windows);
  if (n == 0) return 0;
  const bool root = n == 3 && windows[1] == ':';  // "C:\" ends with its separator
  const uint32_t needed = n + (root ? 0 : 1) + 5;
  if (needed + 1 > size) return needed + 1;
  memcpy(buffer, windows, n);
  if (!root) buffer[n] = '\\';
  memcpy(buffer + n + (root ? 0 : 1), "Temp\\", 6);
  DWORD attributes = GetFileAttributesA(buffer);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    buffer[0] = '\0';
    return 0;
  }
  return needed;
}

bool KeepsAccessLists(const char* directory) {
  char root[MAX_PATH + 1];
  DWORD flags = 0;
  if (!GetVolumePathNameA(directory, root, MAX_PATH) ||
      !GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    return false;
  }
  return (flags & FILE_PERSISTENT_ACLS) != 0;
}

void DirectoryHold::Release() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

bool CreatePrivateDirectory(const char* path, DirectoryHold* hold, bool* owned_by_account) {
  *owned_by_account = false;
  // Owned by the administrators, not the account: an elevated administrator's
  // unelevated half is the same account, and an owner may always rewrite
  // the list, unless an OWNER RIGHTS entry says otherwise. Full control for
  // the system and administrators, read and execute for whoever owns it,
  // nothing inherited from the shared folder, and nothing for users: the
  // installer runs with the administrators' or the system's rights, and a
  // user who could open the folder could keep it in use for ever.
  static const char kDescriptor[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;OW)";
  BOOL created = CreateWithDescriptor(path, kDescriptor);
  const bool fallback = !created && GetLastError() == ERROR_INVALID_OWNER;
  if (fallback) {
    // A token that may not name the administrators as owner: the token's
    // own default owner, held to read and execute by the OWNER RIGHTS
    // entry; the check below refuses the folder without it.
    created = CreateWithDescriptor(path, kDescriptor + 4);
  }
  if (!created) return false;
  // Holding the folder with read access and no delete sharing keeps other
  // runs from taking it for an earlier one and removing it. Write sharing
  // stays: moving the copy into place opens the folder for writing. Only the
  // administrators and the system may write to it.
  // Delete access: a folder that fails the checks goes through this handle.
  ScopedHandle dir(OpenNoFollow(path, FILE_LIST_DIRECTORY | READ_CONTROL | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
  // If another run clearing earlier folders took it between the two calls,
  // this open fails (the folder is gone, or held for deletion).
  if (!dir.valid()) return false;
  DWORD error = CheckPrivate(dir.get(), fallback, owned_by_account);
  if (error != ERROR_SUCCESS) {
    MarkForDeletion(dir.get());
    return Fail(error);
  }
  hold->Release();
  *hold->receive() = reinterpret_cast<intptr_t>(dir.release());
  return true;
}

}  // namespace platform
