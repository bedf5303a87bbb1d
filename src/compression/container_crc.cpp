#include "compression/container_crc.h"

#include <array>

#include "system/byte_order.h"

namespace compression {

namespace {

// Slicing-by-8: table k advances the register by one byte followed by k zero
// bytes, so eight bytes are folded with eight independent look-ups.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeTables() {
  CrcTables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    tables[0][i] = value;
  }
  for (size_t k = 1; k < 8; ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t previous = tables[k - 1][i];
      tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr CrcTables kTables = MakeTables();


}  // namespace

uint32_t ContainerCrc32(const uint8_t* data, size_t length, uint32_t crc) {
  const auto& t = kTables;
  while (length >= 8) {
    const uint32_t one = crc ^ sys::LoadU32(data);
    const uint32_t two = sys::LoadU32(data + 4);
    crc = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^ t[5][(one >> 16) & 0xFF] ^ t[4][one >> 24] ^
          t[3][two & 0xFF] ^ t[2][(two >> 8) & 0xFF] ^ t[1][(two >> 16) & 0xFF] ^ t[0][two >> 24];
    data += 8;
    length -= 8;
  }
  while (length-- > 0) crc = t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
  return crc;
}

}  // namespace compression
