// UTF-8 inside the program, UTF-16 at every Windows call: the two
// conversions the Win32 seam (system/win32 and the Win32 toolkit) uses.
// Invalid input never throws: each bad sequence becomes U+FFFD.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace sys::win32 {

// UTF-8 text as a UTF-16 string for a W call.
inline std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

// UTF-16 text from a W call as UTF-8.
inline std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  if (length > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

// A NUL-terminated UTF-16 buffer filled by a W call, as UTF-8.
inline std::string Narrow(const wchar_t* wide) { return wide ? Narrow(std::wstring_view(wide)) : std::string(); }

}  // namespace sys::win32
