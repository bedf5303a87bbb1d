// The file-system path of a shell item identifier list (a folder chosen in
// the shell's dialog, a link's target), in UTF-8. The classic call writes
// at most MAX_PATH characters and fails on a longer path; the extended one
// takes the buffer's size, here the longest path the W calls accept.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "system/win32/wide_text.h"

namespace sys::win32 {

// "" when the list names no file-system item.
inline std::string PathOfItemList(PCIDLIST_ABSOLUTE list) {
  std::wstring path(32768, L'\0');
  if (!SHGetPathFromIDListEx(list, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT)) return "";
  path.resize(wcsnlen(path.c_str(), path.size()));
  return Narrow(path);
}

}  // namespace sys::win32
