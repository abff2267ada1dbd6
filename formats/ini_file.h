// The initialisation-file reader behind the POSIX stand-in's
// ReadProfileString (platform/profile.h). Portable, no system calls. It
// follows the rules of the Windows reader as observed under Wine:
//  - lines end at CR or LF; white space around names and values is dropped;
//  - section and key names match without regard to ASCII case;
//  - a section header runs from '[' to the last ']' on its line; a line that
//    starts with '[' but has no ']' is ignored;
//  - only the first section of a given name is searched, and in it the first
//    key of the name; a key line without '=' matches but gives the default;
//  - a comment (';') line is just a key whose name starts with ';';
//  - a value enclosed in matching single or double quotes loses them;
//  - a value ends at a zero byte;
//  - UTF-16 files with a byte-order mark are read, and a UTF-8 mark dropped.
#ifndef PATHWARDEN_FORMATS_INI_FILE_H_
#define PATHWARDEN_FORMATS_INI_FILE_H_

#include <stdint.h>

#include <string>

#include "formats/text_encoding.h"

namespace formats {

// Looks up `key` in `section` of the file content `bytes` (raw file bytes; a
// UTF-16 file's text becomes 8-bit text through `to_text`). Returns true and
// sets `*raw_value` (trimmed, quotes still on) when the key exists with a
// value.
bool FindProfileValue(const std::string& bytes, Utf16Converter to_text, const char* section, const char* key,
                      std::string* raw_value);

// Copies a raw value into `buffer` (capacity `size`, at least 1) the way the
// Windows reader does: matching quotes dropped, at most size - 1 bytes, a
// terminating zero. Returns the bytes copied. Like that reader, a quoted
// value whose closing quote falls just past the buffer loses one more byte.
uint32_t CopyProfileValue(const std::string& raw_value, char* buffer, uint32_t size);

}  // namespace formats

#endif  // PATHWARDEN_FORMATS_INI_FILE_H_
