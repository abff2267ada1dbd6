// What a directory entry is, for readers that only look (the check tool's
// package and log folders). Implemented by entry_kind_win.cc and entry_kind_posix.cc; a
// file of its own so that setup.exe, which never asks, does not carry it.
#ifndef PATHWARDEN_PLATFORM_ENTRY_KIND_H_
#define PATHWARDEN_PLATFORM_ENTRY_KIND_H_

#include <stdint.h>

#include <string>

namespace platform {

// Read without following the entry. By rule 2 (platform/README.md) nothing
// may act on a path because of what this said.
enum class EntryKind { kMissing, kFile, kDirectory, kLink };
EntryKind GetEntryKind(const char* path);

// What `path` names with links followed (kFile or kDirectory) and, for a
// file, its size in bytes past 2 GiB too; false when it names nothing.
bool ExaminePath(const char* path, EntryKind* kind, int64_t* size);

// `path` as an absolute path, for a tool that reports the paths it read.
// Links are resolved on POSIX (realpath), not on Windows, whose full path is
// a path's text made absolute (GetFullPathNameA); false when it cannot be
// named (on POSIX also when it does not exist).
bool GetAbsolutePath(const char* path, std::string* out);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_ENTRY_KIND_H_
