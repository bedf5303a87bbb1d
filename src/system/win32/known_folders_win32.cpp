// Folder keywords on Windows: the shell's special folders, the Windows
// directory and the temporary-files path.
#include <windows.h>
#include <shlobj.h>

#include <stdexcept>

#include "system/platform.h"

namespace sys::platform {
namespace {

// Paths are read into a buffer of this size, offering the call a little less
// so that a terminating zero always fits.
constexpr DWORD kPathBufferSize = 1024;
constexpr DWORD kPathOffered = 1020;

int CsidlOf(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::CommonPrograms: return CSIDL_COMMON_PROGRAMS;
    case KnownFolder::CommonStartMenu: return CSIDL_COMMON_STARTMENU;
    case KnownFolder::CommonStartup: return CSIDL_COMMON_STARTUP;
    case KnownFolder::Fonts: return CSIDL_FONTS;
    case KnownFolder::CommonAppData: return CSIDL_COMMON_APPDATA;
    case KnownFolder::Desktop: return CSIDL_DESKTOPDIRECTORY;
    case KnownFolder::Programs: return CSIDL_PROGRAMS;
    case KnownFolder::StartMenu: return CSIDL_STARTMENU;
    case KnownFolder::Startup: return CSIDL_STARTUP;
    case KnownFolder::Documents: return CSIDL_PERSONAL;
    case KnownFolder::AppData: return CSIDL_APPDATA;
    default: return -1;
  }
}

// The shell's identifier lists obtained during one lookup, freed with the
// shell's allocator when the lookup ends.
class IdListHolder {
 public:
  ~IdListHolder() {
    if (lists_[0] == nullptr && lists_[1] == nullptr) return;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
      for (LPITEMIDLIST list : lists_)
        if (list) allocator->Free(list);
      allocator->Release();
    }
  }
  // The folder's path through its identifier list ("" when the shell has none).
  std::string PathOf(int csidl, int slot) {
    char buffer[kPathBufferSize] = {};
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &lists_[slot])) || !lists_[slot])
      return {};
    if (!SHGetPathFromIDListA(lists_[slot], buffer)) return {};
    return buffer;
  }

 private:
  LPITEMIDLIST lists_[2] = {nullptr, nullptr};
};

// The allocator must be available before any identifier list is taken, so
// that a refusal is raised rather than leaking the lists.
void RequireShellAllocator() {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator)
    throw std::runtime_error("SHGetMalloc failed");
  allocator->Release();
}

std::string ShellFolderPath(KnownFolder folder) {
  RequireShellAllocator();
  IdListHolder lists;
  std::string path = lists.PathOf(CsidlOf(folder), 0);
  if (path.empty() && folder == KnownFolder::Desktop) {
    std::string profile = lists.PathOf(CSIDL_PROFILE, 1);
    if (!profile.empty()) path = profile + (profile.back() == '\\' ? "desktop\\" : "\\desktop\\");
  }
  return path;
}

}  // namespace

std::string KnownFolderPath(KnownFolder folder) {
  char buffer[kPathBufferSize] = {};
  switch (folder) {
    case KnownFolder::Windows:
      if (GetWindowsDirectoryA(buffer, kPathOffered) == 0) return {};
      return buffer;
    case KnownFolder::Temp:
      if (GetTempPathA(kPathOffered, buffer) == 0) return {};
      return buffer;
    default:
      return ShellFolderPath(folder);
  }
}

}  // namespace sys::platform
