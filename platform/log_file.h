// The log file: whole lines appended by any number of writers at once, never
// through a link. Implemented by log_file_win.cc and log_file_posix.cc.
#ifndef PATHWARDEN_PLATFORM_LOG_FILE_H_
#define PATHWARDEN_PLATFORM_LOG_FILE_H_

#include <stddef.h>

namespace platform {

// Appends `length` bytes to the file `path` as text (line feeds become the
// platform's line ends), creating the file if missing, in a single write so
// that concurrent appenders never tear or overwrite each other's lines. The
// file is opened and closed within the call and shared with everyone.
// Never writes through a link: a symbolic link or other reparse point, a
// file with more than one name, or anything but a regular file is refused
// with nothing written. Waits at most about 200 ms in all for a file held
// without sharing and for other writers (Windows; POSIX never waits).
// Returns false if the file cannot be opened or is refused; write errors are
// not reported.
bool AppendTextToFile(const char* path, const char* text, size_t length);

// As AppendTextToFile, but only into a file it makes new at `path`: when
// an entry of that name is there already (anyone's, of any kind) nothing is
// written, the entry is left as it was, and the result is false.
bool CreateTextFile(const char* path, const char* text, size_t length);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_LOG_FILE_H_
