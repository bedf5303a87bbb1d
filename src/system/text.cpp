#include "system/text.h"

namespace sys {

std::string JoinWith(const std::vector<std::string>& parts, std::string_view separator) {
  std::string joined;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) joined += separator;
    joined += parts[i];
  }
  return joined;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
  }
  return lines;
}
namespace {

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string LowerAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = LowerChar(c);
  return result;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}

bool StartsWithAscii(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

size_t FindAscii(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty() || needle.size() > text.size()) return std::string::npos;
  for (size_t i = from; i + needle.size() <= text.size(); ++i)
    if (SameTextAscii(text.substr(i, needle.size()), needle)) return i;
  return std::string::npos;
}

std::string EscapeControls(std::string_view text, std::string_view keep) {
  static const char kHex[] = "0123456789abcdef";
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool c1 = byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c1) {
      const auto code = static_cast<unsigned char>(text[++i]);
      result += "\\u00";
      result += kHex[code >> 4];
      result += kHex[code & 0x0F];
    } else if ((byte < 0x20 || byte == 0x7F) && keep.find(text[i]) == std::string_view::npos) {
      result += "\\x";
      result += kHex[byte >> 4];
      result += kHex[byte & 0x0F];
    } else {
      result += text[i];
    }
  }
  return result;
}

}  // namespace sys
