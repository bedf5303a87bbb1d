// Sub-allocator of the PPM model memory.
//
// The block is cut into 12-byte units. Contexts (one unit) come from the top
// of the memory downwards, state arrays from just above a 196,608-byte
// reserve upwards, and freed blocks go to one of 38 free lists by size class.
// When the two areas meet, the reserve is cut into blocks of 128 units once,
// and requests are served by splitting larger free blocks. Free blocks are
// never merged. The exact moment an allocation fails is part of the coded
// format, so this follows the published variant exactly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "compression/ppm/ppm_layout.h"

namespace ppm {

namespace detail {

inline constexpr int kSizeClasses = 38;
inline constexpr uint32_t kMaxUnits = 128;

// Units per size class: 1, 2, 3, 4, 6, 8, 10, 12, 15, 18, 21, 24, 28..128 by 4.
constexpr std::array<uint8_t, kSizeClasses> MakeClassUnits() {
  std::array<uint8_t, kSizeClasses> units{};
  const uint8_t small[] = {1, 2, 3, 4, 6, 8, 10, 12, 15, 18, 21, 24};
  int i = 0;
  for (uint8_t u : small) units[i++] = u;
  for (int u = 28; u <= 128; u += 4) units[i++] = static_cast<uint8_t>(u);
  return units;
}
inline constexpr auto kClassUnits = MakeClassUnits();

// Smallest size class holding n units, indexed by n - 1.
constexpr std::array<uint8_t, kMaxUnits> MakeUnitsToClass() {
  std::array<uint8_t, kMaxUnits> classes{};
  uint8_t c = 0;
  for (uint32_t units = 1; units <= kMaxUnits; ++units) {
    if (kClassUnits[c] < units) ++c;
    classes[units - 1] = c;
  }
  return classes;
}
inline constexpr auto kUnitsToClass = MakeUnitsToClass();

}  // namespace detail

class SubAllocator {
 public:
  static constexpr int kSizeClasses = detail::kSizeClasses;
  static constexpr uint32_t kReserveBytes = 196608;
  static constexpr uint32_t kMaxUnits = detail::kMaxUnits;

  // Holds a model memory of `bytes` (keeping the current block when it has
  // that size already). Returns false when the memory cannot be had.
  bool Hold(size_t bytes);
  // Empties the free lists and restores both areas and the reserve.
  void Reset();

  uint8_t* base() const { return base_; }

  // Each returns a reference to the block, or 0 when the memory is
  // exhausted. Unit counts are 1-128.
  layout::Ref AllocUnits(uint32_t units);
  layout::Ref AllocContext();
  // Grows a block of `oldUnits` to oldUnits + 1 units, moving it when the
  // size class changes. On failure the old block stays valid.
  layout::Ref ExpandUnits(layout::Ref block, uint32_t oldUnits);
  // Shrinks a block; never fails.
  layout::Ref ShrinkUnits(layout::Ref block, uint32_t oldUnits, uint32_t newUnits);
  void FreeUnits(layout::Ref block, uint32_t units);

  static uint32_t ClassOf(uint32_t units) { return detail::kUnitsToClass[units - 1]; }
  static uint32_t UnitsOf(uint32_t sizeClass) { return detail::kClassUnits[sizeClass]; }

 private:

  void InsertNode(layout::Ref block, uint32_t sizeClass);
  layout::Ref RemoveNode(uint32_t sizeClass);
  layout::Ref AllocUnitsRare(uint32_t sizeClass);
  void SplitBlock(layout::Ref block, uint32_t oldClass, uint32_t newClass);
  void CutReserve();

  std::unique_ptr<uint8_t[]> memory_;
  size_t size_ = 0;
  uint8_t* base_ = nullptr;
  layout::Ref heapStart_ = 0;
  layout::Ref low_ = 0;   // end of the upward (state array) area
  layout::Ref high_ = 0;  // start of the downward (context) area
  bool reserveCut_ = false;
  layout::Ref freeList_[kSizeClasses] = {};
};

}  // namespace ppm
