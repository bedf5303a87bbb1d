#include "system/process.h"

namespace sys {

// The dynamic loader searches its configured paths, not the program's
// folder or the current one, so there is no search order to narrow.
void HardenProcess() {}

}  // namespace sys
