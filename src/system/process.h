// Process-wide defences taken before the program does anything else.
#pragma once

namespace sys {

// Hardens the process; call it first thing in main(), before any library is
// loaded on demand. Windows: DLLs are loaded only from the system folder,
// never from the program's or the current folder (a downloaded installer
// sits beside whatever else was downloaded). Elsewhere libraries are found
// through the loader's own fixed paths, and there is nothing to do.
void HardenProcess();

}  // namespace sys
