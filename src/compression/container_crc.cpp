#include "compression/container_crc.h"

#include <zlib.h>

namespace compression {

// zlib's CRC-32 is the same register with the bits inverted before and
// after: this one is that with both inversions undone. zlib's code is two
// to three times faster than a portable slicing loop, and the block
// checksum runs over every byte that is packed or unpacked.
uint32_t ContainerCrc32(const uint8_t* data, size_t length, uint32_t crc) {
  // zlib answers a null buffer with its starting value, not with `crc`.
  if (length == 0) return crc;
  return ~static_cast<uint32_t>(crc32_z(~crc & 0xFFFFFFFFu, data, length));
}

}  // namespace compression
