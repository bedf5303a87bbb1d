#include "archive/names.h"

#include <algorithm>

#include "system/platform.h"

namespace archive {

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

std::vector<std::string> SplitOnBar(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start < text.size()) {
    const size_t bar = text.find('|', start);
    if (bar == std::string::npos) {
      items.push_back(text.substr(start));
      break;
    }
    items.push_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  return items;
}

std::string NativePath(const std::string& path) {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

bool IsSafeStoredName(const std::string& name) {
  if (name.empty()) return true;  // the folder itself
  if (name.front() == '\\' || name.find('/') != std::string::npos || name.find(':') != std::string::npos ||
      name.find('\0') != std::string::npos) {
    return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('\\', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    // "." and ".." and, for Windows, which drops trailing dots and spaces,
    // any part made of dots and spaces alone.
    if (!part.empty() && part.find_first_not_of(". ") == std::string::npos) return false;
    // A device name ("CON", "aux.txt" on Windows) would send the bytes to the
    // device instead of a file in the target.
    if (sys::platform::IsReservedName(part)) return false;
    // An empty part inside a name ("a\\b") is harmless only at the very end
    // (a folder's trailing "\").
    if (part.empty() && end != name.size()) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace archive
