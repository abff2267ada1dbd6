// Files: delete, copy, create a folder, tell two names of one file apart.
// Implemented by files_win.cc and files_posix.cc; the boundary's conventions
// and its two rules are in platform/README.md.
#ifndef PATHWARDEN_PLATFORM_FILES_H_
#define PATHWARDEN_PLATFORM_FILES_H_

namespace platform {

// CopyFileTo's temporary copy is named "~" and hexadecimal digits (up to
// 16), in the target's folder, never longer than the target's own name: any
// target the system takes can be copied.
constexpr char kCopyTempPrefix = '~';

// DeleteFileA; SetFileAttributesA(path, NORMAL). False on failure, with the
// reason in GetLastSystemError().
bool DeleteFileByPath(const char* path);
bool SetNormalAttributes(const char* path);

// Copies `source` over `target` as CopyFileA does (keeping the source's
// attributes or permission bits; the data copied by the kernel), but through
// a temporary file beside the target (kCopyTempPrefix) that is renamed onto
// it at the end: the target is always either the old file or the complete
// new one, never half written, even while another process copies to it. A
// source or target longer than kMaxPathLength (platform/system.h) is refused
// before anything is written (ERROR_FILENAME_EXCED_RANGE; ENAMETOOLONG). A
// file copied onto itself is replaced by its own copy. On failure nothing is
// left behind, a read-only temporary file included, and the reason is in
// GetLastSystemError().
bool CopyFileTo(const char* source, const char* target);

// Creates one directory; true if it was created or already exists as a
// plain directory (a link or junction in its place is refused).
bool CreateDirectoryByPath(const char* path);

// True when both paths name one existing file (same volume and file id /
// device and inode).
bool IsSameFile(const char* a, const char* b);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_FILES_H_
