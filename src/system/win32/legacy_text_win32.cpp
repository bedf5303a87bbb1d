// Windows side of the legacy-text and permission functions of the platform
// seam: legacy names are read with the ANSI code page (or the one asked
// for) through the system's own conversion.
#include <windows.h>

#include <string>

#include "system/platform.h"
#include "system/win32/wide_text.h"

namespace sys::platform {

std::optional<uint32_t> GetPermissions(const std::string&) { return std::nullopt; }

bool SupportsCodePage(int codePage) {
  return codePage == 0 || (codePage > 0 && IsValidCodePage(static_cast<UINT>(codePage)) != 0);
}

std::string DecodeLegacyText(std::string_view bytes, int codePage) {
  if (bytes.empty()) return {};
  const UINT page = codePage == 0 ? CP_ACP : static_cast<UINT>(codePage);
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(page, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) return std::string(bytes);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(page, 0, bytes.data(), size, wide.data(), length);
  return sys::win32::Narrow(wide);
}

}  // namespace sys::platform
