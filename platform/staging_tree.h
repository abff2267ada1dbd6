// Staging's trees: reading a folder's entries, and clearing an earlier
// staging folder and everything below it as one operation under rule 2
// (platform/README.md). Implemented by staging_tree_win.cc and
// staging_tree_posix.cc.
#ifndef PATHWARDEN_PLATFORM_STAGING_TREE_H_
#define PATHWARDEN_PLATFORM_STAGING_TREE_H_

namespace platform {

// Calls `visit(context, name)` for each entry of the directory `path` but "."
// and "..", as it is read, never following links; names longer than the
// system's path limit or without an exact ANSI form (rule 1) are not
// visited. False if the directory cannot be read.
bool ListDirectory(const char* path, void (*visit)(void* context, const char* name), void* context);

// True when the entry `name` of `base` (ending with the separator) looks,
// without being held, like an earlier staging folder this run may clear: a
// plain directory, not a link or reparse point, owned as ClearStagingFolder
// requires. Takes nothing from anyone (no sharing, no lock), so that the
// clean-up can ask for every entry before it picks any; ClearStagingFolder
// checks again through its hold.
bool OwnedLikeStagingFolder(const char* base, const char* name, bool account_owned);

// Clears an earlier staging folder: the entry `name` of `base` (ending with
// the separator) and everything below it, as one operation under rule 2.
// The entry is opened itself and held so that nobody can rename, replace or
// take it meanwhile (a run's own hold makes this fail: kInUse); through that
// hold it must be a plain directory, not a link or reparse point, owned by
// the administrators or the system (root), or by the running account when
// `account_owned` (where the system gives our own folders to it) and then
// changeable by nobody else (Windows: and held to read and execute by an
// OWNER RIGHTS entry where this run's own folder is); otherwise kNotOurs,
// untouched. Below it every directory is entered only through a hold of its
// own that shares neither writing nor deletion, every entry is opened
// relative to its held parent, what it is is read through the handle it is
// removed by, and links (any reparse point) are removed as links, through a
// handle on the link itself that is checked to be the entry listed, never
// entered. Nothing is deleted by path. A read-only file's attribute is
// cleared first unless the file has other names. If any file is in use (a
// running program's image, or open without sharing) nothing is removed:
// kInUse; so too when anything could not be removed.
enum class ClearOutcome { kRemoved, kInUse, kNotOurs };
ClearOutcome ClearStagingFolder(const char* base, const char* name, bool account_owned);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_STAGING_TREE_H_
