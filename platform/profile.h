// The initialisation-file reader (config.ini).
#ifndef PATHWARDEN_PLATFORM_PROFILE_H_
#define PATHWARDEN_PLATFORM_PROFILE_H_

#include <stdint.h>

namespace platform {

// Reads `key` of `section` from the initialisation file `path` into `buffer`
// (capacity `size`). Writes the default when the file, section or key is
// missing. Returns the number of bytes written without the terminating zero;
// at most size - 1 (Windows cuts at a character's end); 0 with the empty
// text when `size` < 2. A section, key, default or path longer than
// kPathBufferSize (system.h) characters, or (Windows) not valid in the code
// page, asks for nothing: 0, the empty text and not the default, with the
// conversion's error (ERROR_INSUFFICIENT_BUFFER, ERROR_NO_UNICODE_TRANSLATION).
//
// A value is used only if it survives unchanged: Windows reads it in UTF-16
// (a UTF-16 file holds any character) and keeps it only if its ANSI form
// converts back to the same text. Otherwise it returns 0 with the empty text
// and GetLastSystemError() == kErrorNoExactName (system.h): the A reader
// would map a character the code page lacks to a look-alike and so name
// another file. Any other result leaves the system error at 0 or the
// reader's own.
uint32_t ReadProfileString(const char* section, const char* key, const char* default_value, char* buffer, uint32_t size,
                           const char* path);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_PROFILE_H_
