// Windows side of clearing earlier staging folders: the filtered listing of
// the shared folder, and the clearing of one folder as a single operation on
// held directory handles. Every entry is opened relative to its held parent
// and deleted through its own handle; none is opened through a reparse point.
#include <windows.h>
#include <aclapi.h>
#include <string.h>
#include <winternl.h>

#include "platform/handles_win.h"
#include "platform/names_win.h"
#include "platform/staging_tree.h"
#include "platform/staging_win.h"
#include "platform/system.h"

namespace platform {

namespace {

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

enum class Kind { kNone, kDirectory, kFile, kLink };

Kind KindOfAttributes(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Kind::kLink;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::kDirectory : Kind::kFile;
}

// What the open entry is, read through its handle; `links` its number of
// names, `id` its file id.
Kind KindOf(HANDLE entry, DWORD* attributes, DWORD* links, uint64_t* id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(entry, &info)) return Kind::kNone;
  *attributes = info.dwFileAttributes;
  *links = info.nNumberOfLinks;
  *id = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  return KindOfAttributes(info.dwFileAttributes);
}

// Whose the open folder is, read through its handle: the administrators or
// the system; or the running account where `account_owned`, and then only
// if nobody else may change it and, where this run's own folder carries an
// OWNER RIGHTS entry that holds the owner to reading, it carries one too
// (without it, the owner, the same account's unelevated half included,
// could rewrite the list).
bool OwnedAsOurs(HANDLE dir, bool account_owned) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  ScopedLocalMemory descriptor;
  if (GetSecurityInfo(dir, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &dacl, nullptr, descriptor.receive()) != ERROR_SUCCESS) {
    return false;
  }
  const internal::FolderOwner kind = internal::ClassifyOwner(owner);
  return kind == internal::FolderOwner::kAdministrators ||
         (account_owned && kind == internal::FolderOwner::kAccount && internal::OnlyTrustedMayChange(dacl, owner) &&
          (!internal::g_account_folders_limited || internal::OwnerRightsLimited(dacl)));
}

// Calls `visit(context, entry)` for each entry of the open directory `dir`
// but "." and "..", from its first entry; `visit` returns false to stop. The
// class is one that Vista and 7 have (the full-information class came with
// Windows 8).
using Visit = bool (*)(void* context, const FILE_ID_BOTH_DIR_INFO* entry);
bool ForEachEntry(HANDLE dir, Visit visit, void* context) {
  // Aligned for the records, which hold 8-byte fields; small, since the
  // clean-up holds one per level of the tree.
  alignas(8) BYTE buffer[4096];
  FILE_INFO_BY_HANDLE_CLASS info_class = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(dir, info_class, buffer, sizeof buffer)) {
    info_class = FileIdBothDirectoryInfo;
    for (DWORD offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
      const size_t units = entry->FileNameLength / sizeof(WCHAR);
      const bool dots = entry->FileName[0] == L'.' && (units == 1 || (units == 2 && entry->FileName[1] == L'.'));
      if (!dots && !visit(context, entry)) return true;
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
  return GetLastError() == ERROR_NO_MORE_FILES;
}

enum class Pass { kCheck, kRemove };

struct WalkState {
  HANDLE dir;
  Pass pass;
  int depth;
  bool whole;
};

bool Walk(HANDLE dir, Pass pass, int depth);

// True when the file `name` of the held directory `dir` is in use: a
// running program's image cannot be opened for writing, whatever the
// sharing asked for, and neither can a file someone holds without sharing.
bool FileInUse(HANDLE dir, const wchar_t* name, size_t units) {
  ScopedHandle file(OpenRelative(dir, name, units, FILE_WRITE_DATA, kShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE));
  return !file.valid() && GetLastError() == ERROR_SHARING_VIOLATION;
}

// One entry of a held directory (see Walk). It is opened relative to its
// parent's handle, itself (a link as the link), and acted on only if what
// was opened is what was listed: the same kind and the same file id.
// Swapped for anything else meanwhile, it stays.
bool VisitEntry(void* context, const FILE_ID_BOTH_DIR_INFO* listed) {
  WalkState& state = *static_cast<WalkState*>(context);
  const bool remove = state.pass == Pass::kRemove;
  const Kind listed_kind = KindOfAttributes(listed->FileAttributes);
  const uint64_t listed_id = static_cast<uint64_t>(listed->FileId.QuadPart);
  const size_t units = listed->FileNameLength / sizeof(WCHAR);
  ACCESS_MASK access = FILE_READ_ATTRIBUTES | (remove ? DELETE : 0);
  // A directory is held without write or delete sharing: nobody can make it
  // a mount point, rename or replace it while the walk is below it.
  ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  ULONG options = 0;
  if (listed_kind == Kind::kDirectory) {
    access |= FILE_LIST_DIRECTORY;
    share = FILE_SHARE_READ;
    options = FILE_DIRECTORY_FILE;
  } else if (listed_kind == Kind::kFile) {
    access |= remove ? FILE_WRITE_ATTRIBUTES : 0;
    options = FILE_NON_DIRECTORY_FILE;
  }
  ScopedHandle entry(OpenRelative(state.dir, listed->FileName, units, access, share, FILE_OPEN, options));
  DWORD attributes = 0;
  DWORD links = 0;
  uint64_t id = 0;
  const Kind kind = entry.valid() ? KindOf(entry.get(), &attributes, &links, &id) : Kind::kNone;
  bool ok = kind != Kind::kNone && kind == listed_kind && (listed_id == 0 || id == listed_id);
  // Links (any reparse point) are never entered: they go as links.
  if (ok && kind == Kind::kDirectory) ok = Walk(entry.get(), state.pass, state.depth + 1);
  if (ok && !remove) {
    if (kind == Kind::kFile) ok = !FileInUse(state.dir, listed->FileName, units);
  } else if (ok) {
    if (kind == Kind::kFile && (attributes & FILE_ATTRIBUTE_READONLY) && links == 1) {
      // Attributes belong to the file, not the name: never those of a file
      // with other names elsewhere (its deletion then fails).
      FILE_BASIC_INFO basic = {};
      basic.FileAttributes = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
      if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      SetFileInformationByHandle(entry.get(), FileBasicInfo, &basic, sizeof basic);
    }
    ok = MarkForDeletion(entry.get());
  }
  state.whole = ok && state.whole;
  return state.whole || remove;
}

// One pass over what the held directory `dir` holds. kCheck: true when no
// file below is in use. kRemove: true when everything below is gone.
bool Walk(HANDLE dir, Pass pass, int depth) {
  if (depth >= 32) return false;
  WalkState state{dir, pass, depth, true};
  return ForEachEntry(dir, VisitEntry, &state) && state.whole;
}

// The entry `base` + `name` as one path of at most the system's limit;
// false when longer.
bool JoinPath(const char* base, const char* name, char (&path)[MAX_PATH]) {
  const size_t base_length = strlen(base);
  const size_t name_length = strlen(name);
  if (base_length + name_length > kMaxPathLength) return false;
  memcpy(path, base, base_length);
  memcpy(path + base_length, name, name_length + 1);
  return true;
}

// A link in place of the entry is never opened by path (some systems open
// what it names even when asked not to): its listed attributes must show a
// plain directory first. A swap after this look is caught through the
// handle the caller then opens.
bool ListedAsDirectory(const char* path) {
  const DWORD listed = GetFileAttributesA(path);
  return listed != INVALID_FILE_ATTRIBUTES && KindOfAttributes(listed) == Kind::kDirectory;
}

}  // namespace

bool ListDirectory(const char* path, void (*visit)(void* context, const char* name), void* context) {
  // Listed through a handle of its own, shared with everyone, opened without
  // following a reparse point; each name handed on as it is read, if it has
  // an exact ANSI form (rule 1) and fits in a path.
  ScopedHandle dir(
      OpenNoFollow(path, FILE_LIST_DIRECTORY | SYNCHRONIZE, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
  if (!dir.valid()) return false;
  struct Forward {
    void (*visit)(void* context, const char* name);
    void* context;
    static bool Call(void* forward, const FILE_ID_BOTH_DIR_INFO* entry) {
      auto* f = static_cast<Forward*>(forward);
      char name[MAX_PATH];
      if (ExactAnsiName(CP_ACP, entry->FileName, entry->FileNameLength / sizeof(WCHAR), name, sizeof name) != 0) {
        f->visit(f->context, name);
      }
      return true;
    }
  } forward{visit, context};
  return ForEachEntry(dir.get(), Forward::Call, &forward);
}

bool OwnedLikeStagingFolder(const char* base, const char* name, bool account_owned) {
  char path[MAX_PATH];
  if (!JoinPath(base, name, path) || !ListedAsDirectory(path)) return false;
  // Attributes and owner only: no access to data, so no sharing taken from
  // anyone, and no run's hold is disturbed.
  ScopedHandle entry(
      OpenNoFollow(path, READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
  DWORD attributes = 0;
  DWORD links = 0;
  uint64_t id = 0;
  return entry.valid() && KindOf(entry.get(), &attributes, &links, &id) == Kind::kDirectory &&
         OwnedAsOurs(entry.get(), account_owned);
}

ClearOutcome ClearStagingFolder(const char* base, const char* name, bool account_owned) {
  char path[MAX_PATH];
  wchar_t wide[MAX_PATH + 1];
  const int units = WidenAnsi(name, -1, wide, MAX_PATH + 1);
  if (units < 2 || !JoinPath(base, name, path) || !ListedAsDirectory(path)) return ClearOutcome::kNotOurs;
  // The shared folder is the system's; the entry is opened relative to it.
  ScopedHandle parent(OpenNoFollow(base, FILE_LIST_DIRECTORY, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
  if (!parent.valid()) return ClearOutcome::kNotOurs;
  // Delete access without delete sharing conflicts with a run's own hold,
  // which does not share deletion, both ways round: a held folder is in use.
  ScopedHandle top(OpenRelative(parent.get(), wide, static_cast<size_t>(units) - 1,
                                DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL, FILE_SHARE_READ,
                                FILE_OPEN, FILE_DIRECTORY_FILE));
  if (!top.valid()) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? ClearOutcome::kInUse : ClearOutcome::kNotOurs;
  }
  DWORD attributes = 0;
  DWORD links = 0;
  uint64_t id = 0;
  // What it is and whose, read through the same handle that removes it.
  if (KindOf(top.get(), &attributes, &links, &id) != Kind::kDirectory || !OwnedAsOurs(top.get(), account_owned)) {
    return ClearOutcome::kNotOurs;
  }
  if (!Walk(top.get(), Pass::kCheck, 0) || !Walk(top.get(), Pass::kRemove, 0) || !MarkForDeletion(top.get())) {
    return ClearOutcome::kInUse;
  }
  return ClearOutcome::kRemoved;
}

}  // namespace platform
