// Stored-name safety of the archive engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

// True when a stored name (file or folder, "\"-separated) stays inside the
// folder it is extracted to: relative, no drive letter or colon, no UNC or
// leading separator, no "." or ".." component, no "/" (which the file layer
// would take as a separator too), and no part that the platform reserves for
// a device (sys::platform::IsReservedName).
bool IsSafeStoredName(const std::string& name);

}  // namespace archive
