// Legacy 8-bit text on Windows: the system's ANSI code page decodes it.
#include <windows.h>

#include "system/platform.h"
#include "system/win32/wide_text.h"

namespace sys::platform {

std::string AnsiToUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return win32::Narrow(wide);
}

}  // namespace sys::platform
