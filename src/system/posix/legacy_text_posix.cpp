// POSIX side of the legacy-text and permission functions of the platform
// seam. Windows-1252, the page most legacy archive names were written in,
// is decoded here; other code pages go through the C library's iconv.
#include <iconv.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "system/legacy_text.h"
#include "system/platform.h"

namespace sys::platform {

namespace {

constexpr int kWindows1252 = 1252;

// Windows-1252 bytes 0x80..0x9F; the rest of the upper half is Latin-1. The
// holes (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the
// same value, as Windows maps them.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string DecodeWindows1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char byte : bytes) {
    const auto b = static_cast<unsigned char>(byte);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char32_t{b});
  }
  return out;
}

std::string IconvName(int codePage) { return "CP" + std::to_string(codePage); }

}  // namespace

// POSIX has no ANSI code page: legacy text is taken as Windows-1252.
std::string AnsiToUtf8(std::string_view text) { return DecodeWindows1252(text); }

std::optional<uint32_t> GetPermissions(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  struct stat st {};
  if (stat(p.c_str(), &st) != 0) return std::nullopt;
  return static_cast<uint32_t>(st.st_mode & 07777);
}

bool SupportsCodePage(int codePage) {
  if (codePage == 0 || codePage == kWindows1252) return true;
  if (codePage < 0) return false;
  const iconv_t converter = iconv_open("UTF-8", IconvName(codePage).c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(converter);
  return true;
}

std::string DecodeLegacyText(std::string_view bytes, int codePage) {
  if (codePage == 0 || codePage == kWindows1252) return DecodeWindows1252(bytes);
  const iconv_t converter = iconv_open("UTF-8", IconvName(codePage).c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return DecodeWindows1252(bytes);
  std::string out;
  std::string input(bytes);
  char* in = input.data();
  size_t inLeft = input.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte (or an incomplete sequence at the end) the page does not define.
      out += "\xEF\xBF\xBD";
      ++in;
      --inLeft;
    }
  }
  iconv_close(converter);
  return out;
}

}  // namespace sys::platform
