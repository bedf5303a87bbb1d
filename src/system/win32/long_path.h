// Paths for the file-system W calls. A path at or beyond the classic limit
// (MAX_PATH, less room for an 8.3 name as CreateDirectory demands) is given
// in its extended form, "\\?\C:\..." or "\\?\UNC\server\share\...", which
// the W calls accept up to 32767 characters on every Windows version,
// without the manifest's long-path setting and the registry switch it needs.
// Shorter paths pass unchanged, so device names, relative paths and the
// system's own normalisation keep working as they always did.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "system/win32/wide_text.h"

namespace sys::win32 {

// Paths shorter than this many UTF-16 units need no extended form.
inline constexpr size_t kLongPathFrom = MAX_PATH - 12;

// `path` (UTF-8) as a UTF-16 path that the file-system W calls accept
// whatever its length.
inline std::wstring LongPath(std::string_view path) {
  std::wstring wide = Widen(path);
  if (wide.size() < kLongPathFrom || wide.starts_with(L"\\\\?\\")) return wide;
  // The extended form is taken literally by the system: "/" separators,
  // "." and ".." levels and relative parts are resolved here first.
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return wide;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return wide;
  full.resize(length);
  if (full.starts_with(L"\\\\.\\")) return wide;  // a device path stays as it is
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace sys::win32
