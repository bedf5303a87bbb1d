#include "system/posix/theme_icon_posix.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sys::platform::desktop {
namespace {

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr int kLargestSide = 1024;

uint32_t Byte(const std::string& bytes, size_t at) { return static_cast<unsigned char>(bytes[at]); }
uint32_t Big32(const std::string& b, size_t at) { return Byte(b, at) << 24 | Byte(b, at + 1) << 16 | Byte(b, at + 2) << 8 | Byte(b, at + 3); }
uint32_t Little16(const std::string& b, size_t at) { return Byte(b, at) | Byte(b, at + 1) << 8; }
uint32_t Little32(const std::string& b, size_t at) { return Little16(b, at) | Little16(b, at + 2) << 16; }

void PutBig32(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xff);
}

// The side of a square PNG image; 0 for anything else.
int PngSide(const std::string& png) {
  if (png.size() < 24 || !png.starts_with(kPngSignature)) return 0;
  const uint32_t width = Big32(png, 16), height = Big32(png, 20);
  return width == height && width > 0 && width <= kLargestSide ? static_cast<int>(width) : 0;
}

uint32_t Crc32(std::string_view bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xffffffffu;
  for (char ch : bytes) crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xff] ^ (crc >> 8);
  return crc ^ 0xffffffffu;
}

uint32_t Adler32(std::string_view bytes) {
  uint32_t a = 1, b = 0;
  for (char ch : bytes) {
    a = (a + static_cast<unsigned char>(ch)) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
  PutBig32(png, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  PutBig32(png, Crc32(body));
}

// An RGBA image (rows top to bottom) as a PNG file. Icons are small: the
// pixels go into stored (uncompressed) deflate blocks.
std::string EncodePng(int side, const std::vector<uint8_t>& rgba) {
  std::string raw;
  for (int y = 0; y < side; ++y) {
    raw += '\0';  // no filter
    raw.append(reinterpret_cast<const char*>(rgba.data()) + static_cast<size_t>(y) * side * 4,
               static_cast<size_t>(side) * 4);
  }
  std::string zlib = "\x78\x01";
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const size_t length = std::min<size_t>(65535, raw.size() - at);
    zlib += static_cast<char>(at + length >= raw.size() ? 1 : 0);
    zlib += static_cast<char>(length & 0xff);
    zlib += static_cast<char>(length >> 8);
    zlib += static_cast<char>(~length & 0xff);
    zlib += static_cast<char>((~length >> 8) & 0xff);
    zlib.append(raw, at, length);
    if (raw.empty()) break;
  }
  PutBig32(zlib, Adler32(raw));
  std::string header;
  PutBig32(header, static_cast<uint32_t>(side));
  PutBig32(header, static_cast<uint32_t>(side));
  header += "\x08\x06";      // 8 bits per channel, RGBA
  header += std::string(3, '\0');  // deflate, adaptive filters, no interlace
  std::string png(kPngSignature);
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", "");
  return png;
}

// A square 24- or 32-bit icon bitmap (header, colours bottom-up, then the
// 1-bit transparency mask) as RGBA rows top to bottom; empty when it is
// another kind.
std::vector<uint8_t> DecodeBitmap(const std::string& bmp, int& side) {
  if (bmp.size() < 40 || Little32(bmp, 0) < 40) return {};
  const int width = static_cast<int>(Little32(bmp, 4));
  const int height = static_cast<int>(Little32(bmp, 8)) / 2;  // colours and mask
  const uint32_t bits = Little16(bmp, 14), compression = Little32(bmp, 16);
  if (width <= 0 || width != height || width > kLargestSide || compression != 0 || (bits != 24 && bits != 32))
    return {};
  const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
  const size_t colours = Little32(bmp, 0), mask = colours + stride * height;
  if (bmp.size() < mask + maskStride * height) return {};
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  bool anyAlpha = false;
  for (int y = 0; y < height; ++y) {
    const size_t row = colours + stride * (height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const size_t pixel = row + static_cast<size_t>(x) * (bits / 8);
      uint8_t* out = &rgba[(static_cast<size_t>(y) * width + x) * 4];
      out[0] = static_cast<uint8_t>(Byte(bmp, pixel + 2));
      out[1] = static_cast<uint8_t>(Byte(bmp, pixel + 1));
      out[2] = static_cast<uint8_t>(Byte(bmp, pixel));
      out[3] = bits == 32 ? static_cast<uint8_t>(Byte(bmp, pixel + 3)) : 0;
      anyAlpha = anyAlpha || out[3] != 0;
    }
  }
  // Without alpha values the mask says which pixels show.
  if (!anyAlpha) {
    for (int y = 0; y < height; ++y) {
      const size_t row = mask + maskStride * (height - 1 - y);
      for (int x = 0; x < width; ++x) {
        const bool transparent = (Byte(bmp, row + x / 8) >> (7 - x % 8)) & 1;
        rgba[(static_cast<size_t>(y) * width + x) * 4 + 3] = transparent ? 0 : 255;
      }
    }
  }
  side = width;
  return rgba;
}

// The largest image of an ICO file that the theme can take.
std::optional<ThemeImage> FromIco(const std::string& ico) {
  if (ico.size() < 6 || Little16(ico, 0) != 0 || Little16(ico, 2) != 1) return std::nullopt;
  std::optional<ThemeImage> best;
  const size_t count = Little16(ico, 4);
  for (size_t i = 0; i < count && 6 + 16 * (i + 1) <= ico.size(); ++i) {
    const uint32_t size = Little32(ico, 6 + 16 * i + 8), offset = Little32(ico, 6 + 16 * i + 12);
    if (offset >= ico.size() || size > ico.size() - offset) continue;
    const std::string image = ico.substr(offset, size);
    ThemeImage candidate;
    if ((candidate.size = PngSide(image))) {
      candidate.png = image;
    } else {
      const std::vector<uint8_t> rgba = DecodeBitmap(image, candidate.size);
      if (rgba.empty()) continue;
      candidate.png = EncodePng(candidate.size, rgba);
    }
    if (!best || candidate.size > best->size) best = std::move(candidate);
  }
  return best;
}

}  // namespace

std::optional<ThemeImage> ThemeImageOf(const std::string& content) {
  if (const int side = PngSide(content)) return ThemeImage{side, content};
  return FromIco(content);
}

}  // namespace sys::platform::desktop
