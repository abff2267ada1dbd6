// A whole file read into memory, for the readers that take a file at once:
// the stand-in's registry export and config.ini, the check tool's inputs.
// Implemented by file_read_win.cc and file_read_posix.cc; a file of its own so
// that setup.exe, which reads through the system's own readers, does not
// carry it.
#ifndef PATHWARDEN_PLATFORM_FILE_READ_H_
#define PATHWARDEN_PLATFORM_FILE_READ_H_

#include <stdint.h>

#include <string>

namespace platform {

enum class FileRead { kRead, kCannotOpen, kNotAFile, kTooLarge, kReadError };

// Reads the regular file at `path` into `*out`, replacing what it held.
// Anything else (a folder, a pipe, a device) is refused without a read or a
// wait on it, and so is a file of more than `max_bytes`: before it is read
// when its size says so, else as soon as it has grown past it. On
// kCannotOpen, `*reason` (if given) is the system's own word for why. The
// path's limit is the system's: on Windows a path of kPathBufferSize
// (system.h) characters or more cannot be opened, as the A calls have it
// whatever the machine's long-path setting; POSIX has none.
FileRead ReadWholeFile(const char* path, uint64_t max_bytes, std::string* out, std::string* reason = nullptr);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_FILE_READ_H_
