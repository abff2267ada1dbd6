// Windows' ANSI code pages as tables, for replaying on any system what the A
// calls give on a customer's machine: each UTF-16 unit as
// WideCharToMultiByte(code_page, 0, ...) converts it, best fit included
// (fullwidth digits become ASCII digits in 1252). The tables are generated
// from the system's own call (tools/code_pages/) and held against it by a
// test under Wine; 65001 (UTF-8 as the ANSI code page) needs none. Only the
// check tool links them.
#ifndef PATHWARDEN_FORMATS_CODE_PAGE_TABLES_H_
#define PATHWARDEN_FORMATS_CODE_PAGE_TABLES_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>

namespace formats {

// One unit whose bytes are not "itself below 0x80, else the default
// character": one byte, or a double-byte character as lead << 8 | trail.
struct CodePageEntry {
  uint16_t unit;
  uint16_t bytes;
};

struct CodePageTable {
  uint32_t code_page;
  uint8_t default_char;          // what a unit the code page lacks becomes
  const CodePageEntry* entries;  // sorted by unit; none for 65001
  size_t count;
};

// The table of `code_page`, or null when the tool has none.
const CodePageTable* FindCodePageTable(uint32_t code_page);
// The code pages there are tables for, as "1252, 932 and 65001".
std::string CodePageTableNames();

// Appends `count` UTF-16 units as WideCharToMultiByte(code_page, 0, ...)
// gives them: unit by unit, so a surrogate pair or a lone surrogate gives
// one default character per unit (as the call does). For 65001: UTF-8, a
// lone surrogate as U+FFFD.
void AppendUtf16InCodePage(const CodePageTable& table, const char16_t* units, size_t count, std::string* out);

// `utf8` (text that was UTF-16 before: a regedit export's values as the
// reader hands them over) in the code page. Ill-formed bytes count as U+FFFD,
// which the code pages have no character for, as for a lone surrogate.
std::string Utf8InCodePage(const CodePageTable& table, std::string_view utf8);

// True when `text` is all ASCII, which every ANSI code page keeps as it is.
bool IsAscii(std::string_view text);

}  // namespace formats

#endif  // PATHWARDEN_FORMATS_CODE_PAGE_TABLES_H_
