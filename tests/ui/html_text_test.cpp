// The page text both toolkits fall back on: what a reader sees of a page.
#include "ui/html_text.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* html;
  const char* text;
};

constexpr Case kCases[] = {
    // Entities: named (case-sensitive), numeric, unknown, and a bare "&".
    {"a&lt;b&gt; &#65;&#x42; &unknown; & x", "a<b> AB &unknown; & x"},
    {"&copy;&#169;&#xA9; &mdash; &AMP; &amp;lt;", "\u00A9\u00A9\u00A9 \u2014 &AMP; &lt;"},
    {"&#0;&#xD800;&#x110000;&#99999999;|&#x;&#12z;", "\uFFFD\uFFFD\uFFFD\uFFFD|&#x;&#12z;"},
    // Tags, comments, a "<" that opens none, a tag cut off.
    {"<!DOCTYPE html><b>bold</b> <!-- <p>hidden</p> --> 1 < 2", "bold 1 < 2"},
    {"unterminated <b", "unterminated"},
    // Script, style and title contents dropped, whatever their case.
    {"<TITLE>T</TITLE><Style>p{}</STYLE>a<script type=x>if (a<b) x();</script>b", "ab"},
    // Line breaks: <br> always, blocks once, paragraphs with one blank line.
    {"<p>Line one<br>Line two</p><p>three<br><br><br><br>four</p>", "Line one\nLine two\n\nthree\n\nfour"},
    {"<div>a</div><div>b</div>\n\n<h1>c</h1>", "a\nb\n\nc"},
    {"<p>Items:</p><ul><li>one</li><li>two <i>too</i></li></ul>after", "Items:\n\n- one\n- two too\n\nafter"},
    // White space collapsed, lines trimmed, nothing blank at the ends.
    {"\n <p>  spaced \t\r\n  out  </p> <br> ", "spaced out"},
    {"", ""},
};

TEST(HtmlToPlainText, ReadsAsTheReaderSeesIt) {
  for (const Case& c : kCases) EXPECT_EQ(ui::HtmlToPlainText(c.html), c.text) << c.html;
}

}  // namespace
