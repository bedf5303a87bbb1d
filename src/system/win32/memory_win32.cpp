#include <windows.h>

#include "system/platform.h"

namespace sys::platform {

std::optional<int64_t> PhysicalMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return std::nullopt;
  return static_cast<int64_t>(status.ullTotalPhys);
}

}  // namespace sys::platform
