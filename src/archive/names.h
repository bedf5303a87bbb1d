// Small text and byte helpers of the archive engine: letter case, the bar
// separated directory items, little-endian integers, stored-name safety.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

// ASCII lower case (other bytes unchanged).
std::string LowerAscii(std::string text);
// Equality ignoring ASCII letter case.
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

// Splits on "|": "||" yields an empty item, a trailing "|" adds none, ""
// yields no items.
std::vector<std::string> SplitOnBar(const std::string& text);

// A path as the file layer opens it: every "\" becomes "/", which both
// platforms accept, so that stored names (always with "\") and folder paths
// from Windows scripts work on Linux too.
std::string NativePath(const std::string& path);

// True when a stored name (file or folder, "\"-separated) stays inside the
// folder it is extracted to: relative, no drive letter or colon, no UNC or
// leading separator, no "." or ".." component, no "/" (which the file layer
// would take as a separator too), and no part that the platform reserves for
// a device (sys::platform::IsReservedName).
bool IsSafeStoredName(const std::string& name);

}  // namespace archive
