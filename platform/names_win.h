// The one point where a name the Windows system gives (the program's path,
// the temporary folders, directory entries) becomes the 8-bit text the logic
// and the log work in.
//
// Rule: a name from the system is used only if it survives unchanged. The
// Windows side asks for every such name with the wide (W) call and converts
// it here, refusing any name whose ANSI form does not convert back to the
// same UTF-16 text. The A calls would instead map a character the code page
// lacks to a look-alike ("C:\pkg<FULLWIDTH A>\" read as "C:\pkgA\"), so the
// path would name another folder. The round trip is the test because it
// holds for every code page: the best-fit flag and its used-default answer
// are invalid for UTF-8 (65001), where they would refuse every name.
#ifndef PATHWARDEN_PLATFORM_NAMES_WIN_H_
#define PATHWARDEN_PLATFORM_NAMES_WIN_H_

#include <stddef.h>
#include <stdint.h>

namespace platform {

// Writes the form of `units` UTF-16 units at `wide` in code page
// `code_page` (CP_ACP = 0 for the ANSI code page) into `buffer` (capacity
// `size` bytes, zero included) and returns its length without the zero.
// Returns 0, with the buffer holding the empty text, when the text is empty,
// longer than MAX_PATH units or does not fit (ERROR_INSUFFICIENT_BUFFER) or does not convert back to the
// same units (kErrorNoExactName, system.h).
uint32_t ExactAnsiName(uint32_t code_page, const wchar_t* wide, size_t units, char* buffer, uint32_t size);

// The other way: `bytes` bytes of 8-bit text at `text` (-1: up to and with
// its zero) in the ANSI code page, as UTF-16 in `wide` (capacity `units`; 0
// only asks for the count). Returns the units written (or needed), or 0 when
// the bytes are not text of the code page or do not fit: an invalid byte is
// refused, never replaced.
int WidenAnsi(const char* text, int bytes, wchar_t* wide, int units);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_NAMES_WIN_H_
