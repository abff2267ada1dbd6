// Windows side of clearing earlier staging folders: the filtered listing of
// the shared folder, and the clearing of one folder as a single operation on
// held directory handles, none of which follows a reparse point.
#include <windows.h>
#include <aclapi.h>
#include <string.h>

#include "platform/handles_win.h"
#include "platform/names_win.h"
#include "platform/staging_tree.h"
#include "platform/system.h"
#include "platform/staging_win.h"

namespace platform {

namespace {

// Opens the entry `path` itself, never what a reparse point names. Without
// delete sharing: while it is open nobody can rename, replace or delete it,
// so the path of everything below stays the one checked (rule 2).
HANDLE OpenHeld(const char* path, DWORD access) {
  return OpenNoFollow(path, access | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS);
}

enum class Kind { kNone, kDirectory, kFile, kLink };

Kind KindOfAttributes(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Kind::kLink;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::kDirectory : Kind::kFile;
}

// What the open entry is, read through its handle; `links` its number of
// names, `id` its file id.
Kind KindOf(HANDLE entry, DWORD* attributes, DWORD* links, uint64_t* id = nullptr) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(entry, &info)) return Kind::kNone;
  *attributes = info.dwFileAttributes;
  *links = info.nNumberOfLinks;
  if (id) *id = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Kind::kLink;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::kDirectory : Kind::kFile;
}

bool MarkForDeletion(HANDLE entry) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// Calls `visit(context, name)` for each entry of the open directory `dir`
// but "." and "..", from its first entry. Names without an exact ANSI form
// (rule 1) or too long to be named by path set `*unnamed`. The class is one
// that Vista and 7 have (the full-information class came with Windows 8).
// `visit` returns false to stop.
using Visit = bool (*)(void* context, const char* name, DWORD attributes, uint64_t id);
bool ForEachEntry(HANDLE dir, bool* unnamed, Visit visit, void* context) {
  // Aligned for the records, which hold 8-byte fields; small, since the
  // clean-up holds one per level of the tree.
  alignas(8) BYTE buffer[4096];
  char name[MAX_PATH];
  FILE_INFO_BY_HANDLE_CLASS info_class = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(dir, info_class, buffer, sizeof buffer)) {
    info_class = FileIdBothDirectoryInfo;
    for (DWORD offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
      const size_t units = entry->FileNameLength / sizeof(WCHAR);
      if (ExactAnsiName(CP_ACP, entry->FileName, units, name, sizeof name) == 0) {
        *unnamed = true;
      } else if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0 &&
                 !visit(context, name, entry->FileAttributes, static_cast<uint64_t>(entry->FileId.QuadPart))) {
        return true;
      }
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
  return GetLastError() == ERROR_NO_MORE_FILES;
}

// True when the file `path`, in a held directory, is in use: a running
// program's image cannot be opened for writing, whatever the sharing asked
// for, and neither can a file someone holds without sharing.
bool FileInUse(const char* path) {
  ScopedHandle file(
      OpenNoFollow(path, FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0));
  if (file.valid()) return false;
  const DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

enum class Pass { kCheck, kRemove };

// The path of the directory being walked, in one buffer for the whole walk:
// each level appends its entry's name and cuts it off again.
struct WalkPath {
  char text[MAX_PATH];
  size_t length;
};

bool Walk(WalkPath* path, HANDLE dir, Pass pass, int depth);

struct WalkState {
  WalkPath* path;
  Pass pass;
  int depth;
  bool whole;
};

// One entry of a held directory (see Walk).
bool VisitChild(WalkState& state, const char* child, DWORD listed_attributes, uint64_t listed_id);

bool WalkEntry(void* context, const char* name, DWORD listed_attributes, uint64_t listed_id) {
  WalkState& state = *static_cast<WalkState*>(context);
  WalkPath* path = state.path;
  const size_t parent_length = path->length;
  const size_t name_length = strlen(name);
  if (parent_length + 1 + name_length > kMaxPathLength) return state.whole = false;
  path->text[parent_length] = '\\';
  memcpy(path->text + parent_length + 1, name, name_length + 1);
  path->length = parent_length + 1 + name_length;
  const char* child = path->text;
  const bool go_on = VisitChild(state, child, listed_attributes, listed_id);
  path->length = parent_length;
  path->text[parent_length] = '\0';
  return go_on;
}

// One entry of a held directory, at `child` (see Walk).
bool VisitChild(WalkState& state, const char* child, DWORD listed_attributes, uint64_t listed_id) {
  const Pass pass = state.pass;
  if (KindOfAttributes(listed_attributes) == Kind::kLink) {
    // A link is never opened (some systems open what it names even when
    // asked not to): its own name goes, in the held parent. Should it have
    // become a plain folder meanwhile, only an empty one goes. A folder link
    // goes as a folder on Windows; some systems take it only as a file.
    if (pass == Pass::kRemove) {
      const bool removed =
          ((listed_attributes & FILE_ATTRIBUTE_DIRECTORY) && RemoveDirectoryA(child)) || DeleteFileA(child);
      state.whole = removed && state.whole;
    }
    return state.whole || pass == Pass::kRemove;
  }
  const DWORD access = pass == Pass::kCheck
                           ? FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY
                           : DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | FILE_LIST_DIRECTORY;
  ScopedHandle entry(OpenHeld(child, access));
  DWORD attributes = 0;
  DWORD links = 0;
  uint64_t id = 0;
  const Kind kind = entry.valid() ? KindOf(entry.get(), &attributes, &links, &id) : Kind::kNone;
  // Acted on only if what was opened is what was listed: swapped for a link
  // or anything else meanwhile, it stays.
  bool ok = kind != Kind::kNone && kind != Kind::kLink && kind == KindOfAttributes(listed_attributes) &&
            (listed_id == 0 || id == listed_id);
  if (ok && kind == Kind::kDirectory) ok = Walk(state.path, entry.get(), pass, state.depth + 1);
  if (ok && pass == Pass::kCheck) {
    if (kind == Kind::kFile) ok = !FileInUse(child);
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
  return state.whole || pass == Pass::kRemove;
}

// One pass over what the held directory `dir` (at `path`, no separator at
// its end) holds. kCheck: true when no file below is in use. kRemove: true
// when everything below is gone. Each entry is opened itself and held; what
// it is, is read through that handle, and a directory is entered only
// through it. Links (any reparse point) are never entered: removed as links.
bool Walk(WalkPath* path, HANDLE dir, Pass pass, int depth) {
  if (depth >= 32) return false;
  WalkState state{path, pass, depth, true};
  bool unnamed = false;
  return ForEachEntry(dir, &unnamed, WalkEntry, &state) && state.whole && !unnamed;
}

}  // namespace

bool ListDirectory(const char* path, void (*visit)(void* context, const char* name), void* context) {
  // Listed through a handle of its own, shared with everyone, opened without
  // following a reparse point; each name handed on as it is read.
  ScopedHandle dir(OpenNoFollow(path, FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS));
  if (!dir.valid()) return false;
  struct Forward {
    void (*visit)(void* context, const char* name);
    void* context;
    static bool Call(void* forward, const char* name, DWORD, uint64_t) {
      auto* f = static_cast<Forward*>(forward);
      f->visit(f->context, name);
      return true;
    }
  } forward{visit, context};
  bool unnamed = false;
  return ForEachEntry(dir.get(), &unnamed, Forward::Call, &forward);
}

ClearOutcome ClearStagingFolder(const char* base, const char* name, bool account_owned) {
  WalkPath path;
  const size_t base_length = strlen(base);
  const size_t name_length = strlen(name);
  if (base_length + name_length > kMaxPathLength) return ClearOutcome::kNotOurs;
  memcpy(path.text, base, base_length);
  memcpy(path.text + base_length, name, name_length + 1);
  path.length = base_length + name_length;
  // Delete access without delete sharing conflicts with a run's own hold,
  // which does not share deletion, both ways round: a held folder is in use.
  // A link in its place is never opened (some systems open what it names
  // even when asked not to); a swap after this look is caught on Windows
  // through the handle below.
  const DWORD listed = GetFileAttributesA(path.text);
  if (listed == INVALID_FILE_ATTRIBUTES || KindOfAttributes(listed) != Kind::kDirectory) return ClearOutcome::kNotOurs;
  ScopedHandle top(OpenHeld(path.text, DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL));
  if (!top.valid()) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? ClearOutcome::kInUse : ClearOutcome::kNotOurs;
  }
  DWORD attributes = 0;
  DWORD links = 0;
  if (KindOf(top.get(), &attributes, &links) != Kind::kDirectory) return ClearOutcome::kNotOurs;
  // Whose it is, read through the same handle. A folder of the running
  // account's is taken only where the system gives our own folders to it,
  // and then only if nobody but the system, the administrators and its
  // owner may change it: what lies below is then removed without following
  // anything, which the account could do itself.
  PSID owner = nullptr;
  PACL dacl = nullptr;
  ScopedLocalMemory descriptor;
  if (GetSecurityInfo(top.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                      nullptr, &dacl, nullptr, descriptor.receive()) != ERROR_SUCCESS) {
    return ClearOutcome::kNotOurs;
  }
  const internal::FolderOwner kind = internal::ClassifyOwner(owner);
  const bool ours =
      kind == internal::FolderOwner::kAdministrators ||
      (account_owned && kind == internal::FolderOwner::kAccount && internal::OnlyTrustedMayChange(dacl, owner));
  descriptor.reset();
  if (!ours) return ClearOutcome::kNotOurs;
  if (!Walk(&path, top.get(), Pass::kCheck, 0) || !Walk(&path, top.get(), Pass::kRemove, 0) ||
      !MarkForDeletion(top.get())) {
    return ClearOutcome::kInUse;
  }
  return ClearOutcome::kRemoved;
}

}  // namespace platform
