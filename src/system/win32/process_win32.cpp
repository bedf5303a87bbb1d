#include <windows.h>

#include "system/process.h"

namespace sys {

void HardenProcess() {
  // Looked up rather than imported: an unpatched Windows 7 lacks the call,
  // and an import it cannot resolve would stop the program from starting.
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto set_directories = reinterpret_cast<SetDirectories>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_directories) set_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace sys
