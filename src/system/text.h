// Small text helpers shared by the system layer and its callers.
//
// Text is bytes: nothing here re-encodes. "Without letter case" always means
// ASCII letters only (A-Z equal a-z); other bytes compare exactly.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sys {

// The lines of `text`, each ended by CR LF, LF or a lone CR (the ends not
// kept); a last line without an end counts when it is not empty.
std::vector<std::string> SplitLines(std::string_view text);

// `parts` in order with `separator` between them: "a, b, c".
std::string JoinWith(const std::vector<std::string>& parts, std::string_view separator);

// `text` with its ASCII letters A-Z turned into a-z.
std::string LowerAscii(std::string_view text);

// True when `a` and `b` are equal ignoring the letter case of ASCII letters.
bool SameTextAscii(std::string_view a, std::string_view b);

// True when `text` begins with `prefix`, ignoring ASCII letter case.
bool StartsWithAscii(std::string_view text, std::string_view prefix);

// Position of the first occurrence of `needle` in `text` at or after `from`,
// ignoring ASCII letter case; std::string::npos when there is none or when
// `needle` is empty.
size_t FindAscii(std::string_view text, std::string_view needle, size_t from = 0);

// `text` safe to print on a terminal: control characters (bytes below 0x20
// and 0x7F, other than those in `keep`) become "\xNN", and the C1 controls
// U+0080 to U+009F in UTF-8 become "\u00NN", so that a name holding an
// escape sequence is shown, not obeyed. Other bytes stay as they are.
std::string EscapeControls(std::string_view text, std::string_view keep = {});

}  // namespace sys
