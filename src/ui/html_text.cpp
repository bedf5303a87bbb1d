#include "ui/html_text.h"

#include <charconv>
#include <string_view>
#include <utility>
#include <vector>

#include "system/legacy_text.h"
#include "system/text.h"

namespace ui {

namespace {

// Where a tag breaks the text: nowhere, onto a new line, or with a blank
// line in between (the margins a browser draws around paragraphs).
enum class Break { None, Line, Paragraph };

Break BreakOf(std::string_view name) {
  static constexpr std::string_view kLines[] = {"div", "li", "tr", "dt", "dd", "dl"};
  static constexpr std::string_view kParagraphs[] = {"p",  "h1", "h2", "h3",    "h4",         "h5", "h6",
                                                     "ul", "ol", "table", "blockquote", "pre", "hr"};
  for (std::string_view line : kLines) {
    if (name == line) return Break::Line;
  }
  for (std::string_view paragraph : kParagraphs) {
    if (name == paragraph) return Break::Paragraph;
  }
  return Break::None;
}

// Named entities a licence or page commonly holds (names are case-sensitive).
constexpr std::pair<std::string_view, std::string_view> kNamedEntities[] = {
    {"nbsp", " "},          {"lt", "<"},            {"gt", ">"},            {"quot", "\""},
    {"apos", "'"},          {"amp", "&"},           {"copy", "\u00A9"},     {"reg", "\u00AE"},
    {"trade", "\u2122"},    {"mdash", "\u2014"},    {"ndash", "\u2013"},    {"hellip", "\u2026"},
    {"lsquo", "\u2018"},    {"rsquo", "\u2019"},    {"ldquo", "\u201C"},    {"rdquo", "\u201D"},
    {"bull", "\u2022"},     {"middot", "\u00B7"},   {"euro", "\u20AC"},     {"sect", "\u00A7"}};

// The longest entity name looked at: a "&" further from its ";" is text.
constexpr size_t kLongestEntity = 10;

// The text of the entity at html[at] ('&') and its length, or nothing when
// it is none this decoder knows.
std::pair<std::string, size_t> DecodeEntity(std::string_view html, size_t at) {
  const size_t semicolon = html.find(';', at);
  if (semicolon == std::string_view::npos || semicolon - at > kLongestEntity) return {};
  const std::string_view name = html.substr(at + 1, semicolon - at - 1);
  const size_t length = semicolon - at + 1;
  if (name.size() > 1 && name[0] == '#') {
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    uint32_t code = 0;
    const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
    if (digits.empty() || stop != digits.data() + digits.size()) return {};
    // A reference to no character (0, a surrogate, past the last code
    // point, or too large to read) reads as the replacement character.
    if (error != std::errc() || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    std::string text;
    sys::AppendUtf8(text, code);
    return {text, length};
  }
  for (const auto& [entity, text] : kNamedEntities) {
    if (name == entity) return {std::string(text), length};
  }
  return {};
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Builds the text: collapses white space as it comes, and breaks lines so
// that a run of breaks leaves at most one blank line.
class PlainText {
 public:
  void Add(std::string_view text) {
    for (char c : text) {
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        pendingSpace_ = true;
        continue;
      }
      if (pendingSpace_ && !text_.empty() && text_.back() != '\n') text_ += ' ';
      pendingSpace_ = false;
      text_ += c;
    }
  }
  // <br>: always a new line, so that two of them leave a blank one.
  void ForceLine() {
    if (!text_.empty()) text_ += '\n';
    pendingSpace_ = false;
  }
  void BreakAt(Break kind) {
    // An inline tag ("<i>") leaves the space before it standing.
    if (kind == Break::None) return;
    pendingSpace_ = false;
    if (text_.empty()) return;
    const size_t wanted = kind == Break::Paragraph ? 2 : 1;
    size_t ends = 0;
    while (ends < text_.size() && ends < wanted && text_[text_.size() - 1 - ends] == '\n') ++ends;
    text_.append(wanted - ends, '\n');
  }
  std::string Finish() {
    // Never two blank lines in a row (forced lines may leave more), none
    // at the end.
    std::string out;
    for (char c : text_) {
      if (c == '\n' && out.size() >= 2 && out.ends_with("\n\n")) continue;
      out += c;
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }

 private:
  std::string text_;
  bool pendingSpace_ = false;
};

}  // namespace

std::string HtmlToPlainText(const std::string& html) {
  const std::string lower = sys::LowerAscii(html);
  PlainText text;
  size_t at = 0;
  while (at < html.size()) {
    const char c = html[at];
    if (c == '&') {
      if (auto [decoded, length] = DecodeEntity(html, at); length > 0) {
        text.Add(decoded);
        at += length;
      } else {
        text.Add("&");
        ++at;
      }
      continue;
    }
    const char next = at + 1 < html.size() ? html[at + 1] : '\0';
    if (c != '<' || !(IsAsciiLetter(next) || next == '/' || next == '!' || next == '?')) {
      text.Add(std::string_view(&html[at], 1));
      ++at;
      continue;
    }
    if (html.compare(at, 4, "<!--") == 0) {
      const size_t end = html.find("-->", at + 4);
      at = end == std::string::npos ? html.size() : end + 3;
      continue;
    }
    const size_t end = html.find('>', at);
    if (end == std::string::npos) break;  // a tag cut off: the page ends there
    const bool closing = next == '/';
    const size_t nameStart = at + (closing ? 2 : 1);
    const size_t nameEnd = std::min(lower.find_first_of(" \t\r\n/>", nameStart), end);
    const std::string_view name = std::string_view(lower).substr(nameStart, nameEnd - nameStart);
    at = end + 1;
    if (!closing && (name == "script" || name == "style" || name == "title")) {
      const size_t close = lower.find("</" + std::string(name), at);
      const size_t closeEnd = close == std::string::npos ? std::string::npos : html.find('>', close);
      at = closeEnd == std::string::npos ? html.size() : closeEnd + 1;
      continue;
    }
    if (name == "br") {
      text.ForceLine();
      continue;
    }
    text.BreakAt(BreakOf(name));
    if (!closing && name == "li") text.Add("- ");
  }
  return text.Finish();
}

}  // namespace ui
