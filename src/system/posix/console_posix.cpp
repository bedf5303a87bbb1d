// POSIX side of AttachParentConsole: a process inherits its standard streams.
#include "system/platform.h"

namespace sys::platform {

void AttachParentConsole() {}

}  // namespace sys::platform
