// Level codes and the per-block codecs of the "AACS" container.
//
// Level code (byte 20 of a container header) -> codec and block size:
//   0 stored (no header at all)  1 MiB     5 zlib level 9        1.5 MiB
//   1 zlib level 1             512 KiB     6 PPM order 2, 10 MB  512 KiB
//   2 zlib level 5               1 MiB     7 bzip2 factor 2      512 KiB
//   3 PPM order 5, 25 MB         1 MiB     8 bzip2 factor 6        1 MiB
//   4 PPM order 13, 100 MB     1.5 MiB     9 bzip2 factor 9      1.5 MiB
//   10-255: no codec, packing and unpacking fail; block size 1 MiB.
//
// The functions are pure over caller-owned buffers and safe to call from
// several threads at once (the PPM model memory is kept per thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace compression {

using Buffer = std::vector<uint8_t>;

// Grows without zero-filling: a codec overwrites every byte it reports as
// produced, and clearing a block's room first cost a tenth of an unpack.
template <typename T>
struct GrowUninitialised : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = GrowUninitialised<U>;
  };
  GrowUninitialised() = default;
  template <typename U>
  GrowUninitialised(const GrowUninitialised<U>&) noexcept {}
  template <typename U>
  void construct(U* place) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(place)) U;
  }
  template <typename U, typename... Args>
  void construct(U* place, Args&&... args) {
    ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
  }
};

// An unpacked block.
using BlockBuffer = std::vector<uint8_t, GrowUninitialised<uint8_t>>;

inline constexpr uint8_t kStoredLevel = 0;
inline constexpr uint8_t kMaxLevelCode = 9;

// Level code for a mode name. The name is compared after turning A-Z into
// lower case; names outside the table (the empty name included) give 0.
uint8_t CompressionLevelFromName(const std::string& name);
// True when `name` (any letter case) is in the table of mode names.
bool IsCompressionModeName(const std::string& name);
// Every mode name of the table, ", "-separated, in table order.
std::string CompressionModeNames();

// Uncompressed bytes per container block for a level code.
int32_t BlockSizeForLevel(uint8_t level);

// Packs `length` bytes with the codec of `level` into `payload`. Returns
// false (with `payload` empty) when length is 0, the level has no codec, or
// the codec fails; true means a payload of at least one byte.
bool PrepareBuffer(const uint8_t* bytes, size_t length, uint8_t level, Buffer& payload);

// Unpacks a payload of the codec family of `level` into `output`, which is
// resized to the number of bytes produced. Fails (false, `output` empty)
// when expectedLength < 1, level > 9, the data is damaged, stops making
// progress, or would produce more than expectedLength bytes. Fewer bytes
// than expected is not a failure here; the caller compares the length.
bool UnpackBuffer(const uint8_t* payload, size_t payloadLength, uint8_t level,
                  int64_t expectedLength, BlockBuffer& output);
bool UnpackBuffer(const uint8_t* payload, size_t payloadLength, uint8_t level,
                  int64_t expectedLength, Buffer& output);

}  // namespace compression
