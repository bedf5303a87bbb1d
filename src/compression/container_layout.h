// Byte layout of the "AACS" container, shared by its reader and writer.
// All integers little-endian.
//
//  Container header, 128 bytes at offset 0:
//    0  4  signature "AACS"           20  1  level code
//    4  4  block size (int32)          21  1  reserved (0)
//    8  4  password check (0)          22  1  protected flag
//   12  4  block count (int32)         23  4  reserved area size (int32)
//   16  4  format version (float 3.6)  27  1  reserved (0)
//                                      28 100 check block (zeros)
//  Blocks start at 128 + reserved area size and are chained by next offset.
//  Block header, 16 bytes, followed by its payload:
//    0  4  compressed size (int32)      8  4  checksum (ContainerCrc32)
//    4  4  uncompressed size (int32)   12  4  next offset (int32, absolute)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "system/byte_order.h"

namespace compression::layout {

inline constexpr size_t kHeaderSize = 128;
inline constexpr size_t kSignatureOffset = 0;
inline constexpr size_t kBlockSizeOffset = 4;
inline constexpr size_t kPasswordCheckOffset = 8;
inline constexpr size_t kBlockCountOffset = 12;
inline constexpr size_t kFormatVersionOffset = 16;
inline constexpr size_t kLevelCodeOffset = 20;
inline constexpr size_t kProtectedOffset = 22;
inline constexpr size_t kReservedAreaSizeOffset = 23;
inline constexpr size_t kCheckBlockOffset = 28;
inline constexpr size_t kCheckBlockSize = 100;

inline constexpr std::array<uint8_t, 4> kSignature = {'A', 'A', 'C', 'S'};
// IEEE-754 single 3.6, as written on creation (never examined).
inline constexpr uint32_t kFormatVersionBits = 0x40666666;

inline constexpr size_t kBlockHeaderSize = 16;
inline constexpr size_t kCompressedSizeOffset = 0;
inline constexpr size_t kUncompressedSizeOffset = 4;
inline constexpr size_t kChecksumOffset = 8;
inline constexpr size_t kNextOffsetOffset = 12;

using sys::LoadI32;
using sys::LoadU32;
using sys::StoreI32;
using sys::StoreU32;

}  // namespace compression::layout
