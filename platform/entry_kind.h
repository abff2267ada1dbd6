// What a directory entry is, for readers that only look (the check tool's
// log folders). Implemented by entry_kind_win.cc and entry_kind_posix.cc; a
// file of its own so that setup.exe, which never asks, does not carry it.
#ifndef PATHWARDEN_PLATFORM_ENTRY_KIND_H_
#define PATHWARDEN_PLATFORM_ENTRY_KIND_H_

namespace platform {

// Read without following the entry. By rule 2 (platform/README.md) nothing
// may act on a path because of what this said.
enum class EntryKind { kMissing, kFile, kDirectory, kLink };
EntryKind GetEntryKind(const char* path);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_ENTRY_KIND_H_
