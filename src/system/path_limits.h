// The platform's limit on path lengths, apart from the rest of the seam
// because few places need it.
#pragma once

#include <cstddef>

namespace sys::platform {

// The longest full path the platform's path-based calls take (PATH_MAX or
// MAX_PATH, without the closing zero). Files are written relative to held
// folders, which could go deeper; they are kept within this length so that
// every other program, and this one's own removal, can still reach them.
extern const size_t kMaxPathLength;

}  // namespace sys::platform
