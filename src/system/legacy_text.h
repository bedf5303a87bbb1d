// Text files that may come from before the program spoke UTF-8: scripts
// written in an editor's UTF-8 (with or without a byte-order mark) and
// scripts saved in the ANSI code page of some Windows machine.
#pragma once

#include <string>
#include <string_view>

namespace sys {

// True when `text` is well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// Appends the code point `c` (at most U+10FFFF) to `out` as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// The text of a file as UTF-8. A leading byte-order mark declares UTF-8:
// it is dropped and any malformed sequence after it becomes U+FFFD. Without
// one, valid UTF-8 is taken as it is and anything else as legacy text in
// the ANSI code page (Windows-1252 where there is none). Pure ASCII is the
// same in every reading.
std::string TextFileToUtf8(std::string_view bytes);

}  // namespace sys
