// The log file: whole lines appended by any number of writers at once, never
// through a link. Implemented by log_file_win.cc and log_file_posix.cc.
#ifndef PATHWARDEN_PLATFORM_LOG_FILE_H_
#define PATHWARDEN_PLATFORM_LOG_FILE_H_

#include <stddef.h>

namespace platform {

// How WriteTextFile opens the file: as it is, or only one it makes new.
enum class LogOpen { kAppend, kCreateNew };

// Appends `length` bytes to the file `path` as text (line feeds become the
// platform's line ends), creating the file if missing, in a single write so
// that concurrent appenders never tear or overwrite each other's lines. The
// file is opened and closed within the call and shared with everyone.
// Never writes through a link: a symbolic link or other reparse point, a
// file with more than one name, or anything but a regular file is refused
// with nothing written. Waits at most about 200 ms in all for a file held
// without sharing and for other writers (Windows; POSIX never waits).
// Returns false if the file cannot be opened or is refused; write errors are
// not reported. Whether the run is elevated is asked once; an elevated run
// walks the log's folder once and holds it, and later lines open the file
// relative to that folder, never by the path again: a folder put in its
// place later gets none of them.
// With LogOpen::kCreateNew only into a file it makes new at `path`: when an
// entry of that name is there already (anyone's, of any kind) nothing is
// written, the entry is left as it was, and the result is false.
bool WriteTextFile(const char* path, const char* text, size_t length, LogOpen how);

inline bool AppendTextToFile(const char* path, const char* text, size_t length) {
  return WriteTextFile(path, text, length, LogOpen::kAppend);
}

inline bool CreateTextFile(const char* path, const char* text, size_t length) {
  return WriteTextFile(path, text, length, LogOpen::kCreateNew);
}

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_LOG_FILE_H_
