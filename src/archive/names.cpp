#include "archive/names.h"

#include <algorithm>

#include "system/platform.h"

namespace archive {

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
