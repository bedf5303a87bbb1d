// Little-endian loads and stores: every file format the program reads or
// writes (archives, containers, PE images, icons) keeps its numbers low byte
// first, whatever the machine's own order.
#pragma once

#include <cstdint>

namespace sys {

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t LoadU64(const uint8_t* p) { return uint64_t(LoadU32(p)) | uint64_t(LoadU32(p + 4)) << 32; }
inline int32_t LoadI32(const uint8_t* p) { return static_cast<int32_t>(LoadU32(p)); }
inline int64_t LoadI64(const uint8_t* p) { return static_cast<int64_t>(LoadU64(p)); }

inline void StoreU32(uint8_t* p, uint32_t value) {
  p[0] = uint8_t(value);
  p[1] = uint8_t(value >> 8);
  p[2] = uint8_t(value >> 16);
  p[3] = uint8_t(value >> 24);
}
inline void StoreU64(uint8_t* p, uint64_t value) {
  StoreU32(p, uint32_t(value));
  StoreU32(p + 4, uint32_t(value >> 32));
}
inline void StoreI32(uint8_t* p, int32_t value) { StoreU32(p, static_cast<uint32_t>(value)); }
inline void StoreI64(uint8_t* p, int64_t value) { StoreU64(p, static_cast<uint64_t>(value)); }

}  // namespace sys
