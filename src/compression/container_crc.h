// Block checksum of the "AACS" container.
#pragma once

#include <cstddef>
#include <cstdint>

namespace compression {

// Reflected CRC-32 with polynomial 0xEDB88320, register starting at `crc`
// (0 for a fresh checksum) and no final inversion; this is not the zlib
// CRC-32: "abc" gives 0xCA6598D0. Feeding data in pieces, each call with the
// previous result, gives the same value as one call over the whole.
uint32_t ContainerCrc32(const uint8_t* data, size_t length, uint32_t crc = 0);

}  // namespace compression
