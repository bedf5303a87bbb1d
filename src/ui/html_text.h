// The readable text of an HTML page, for a toolkit that cannot show the page
// itself: the terminal, or a window where no browser control is available.
#pragma once

#include <string>

namespace ui {

// What a reader of the page sees, as lines joined with "\n" (no line end
// after the last):
//  - tags and comments removed; the contents of script, style and title
//    dropped;
//  - a line break at <br> and where a block (div, table row, ...) starts or
//    ends, one blank line around paragraphs, headings, lists, tables and
//    rules; each list item starts a line with "- ";
//  - named entities a licence commonly holds and numeric references decoded
//    as UTF-8 (a reference to no character gives U+FFFD); an unknown entity
//    stays as written, as does a "<" that opens no tag;
//  - white space collapsed to single spaces, lines trimmed, no blank lines at
//    either end and never two in a row.
// Text inside is UTF-8; the page's bytes are taken as they are.
std::string HtmlToPlainText(const std::string& html);

}  // namespace ui
