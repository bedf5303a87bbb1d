#include <unistd.h>

#include "system/platform.h"

namespace sys::platform {

std::optional<int64_t> PhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return std::nullopt;
  return static_cast<int64_t>(pages) * pageSize;
}

}  // namespace sys::platform
