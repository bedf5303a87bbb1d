#include "compression/ppm/ppm_suballocator.h"

#include <cstring>
#include <new>

namespace ppm {

using layout::kUnitSize;
using layout::Ref;

static_assert(detail::kClassUnits[37] == 128 && detail::kUnitsToClass[127] == 37);
static_assert(detail::kUnitsToClass[4] == 4 && detail::kUnitsToClass[5] == 4);
// The reserve is 128 blocks of the largest class.
static_assert(SubAllocator::kReserveBytes == 128 * 128 * kUnitSize);

bool SubAllocator::Hold(size_t bytes) {
  if (memory_ && size_ == bytes) return true;
  memory_.reset();
  size_ = 0;
  // One spare unit in front keeps offset 0 free to mean "none"; the tail
  // leaves room for the state searches to read past the last array.
  memory_.reset(new (std::nothrow) uint8_t[bytes + 2 * kUnitSize + layout::kSearchSlack]);
  if (!memory_) return false;
  size_ = bytes;
  base_ = memory_.get();
  heapStart_ = kUnitSize;
  return true;
}

void SubAllocator::Reset() {
  std::memset(freeList_, 0, sizeof freeList_);
  high_ = heapStart_ + static_cast<Ref>(size_ / kUnitSize * kUnitSize);
  low_ = heapStart_ + kReserveBytes;
  reserveCut_ = false;
}

void SubAllocator::InsertNode(Ref block, uint32_t sizeClass) {
  layout::Store32(base_ + block, freeList_[sizeClass]);
  freeList_[sizeClass] = block;
}

Ref SubAllocator::RemoveNode(uint32_t sizeClass) {
  const Ref block = freeList_[sizeClass];
  freeList_[sizeClass] = layout::Load32(base_ + block);
  return block;
}

void SubAllocator::SplitBlock(Ref block, uint32_t oldClass, uint32_t newClass) {
  uint32_t rest = UnitsOf(oldClass) - UnitsOf(newClass);
  Ref p = block + UnitsOf(newClass) * kUnitSize;
  uint32_t c = ClassOf(rest);
  if (UnitsOf(c) != rest) {
    --c;
    InsertNode(p, c);
    p += UnitsOf(c) * kUnitSize;
    rest -= UnitsOf(c);
    c = ClassOf(rest);
  }
  InsertNode(p, c);
}

void SubAllocator::CutReserve() {
  reserveCut_ = true;
  for (uint32_t i = 0; i < 128; ++i) {
    InsertNode(heapStart_ + i * kMaxUnits * kUnitSize, kSizeClasses - 1);
  }
}

Ref SubAllocator::AllocUnitsRare(uint32_t sizeClass) {
  if (!reserveCut_) CutReserve();
  for (uint32_t c = sizeClass + 1; c < kSizeClasses; ++c) {
    if (freeList_[c]) {
      const Ref block = RemoveNode(c);
      SplitBlock(block, c, sizeClass);
      return block;
    }
  }
  return 0;
}

Ref SubAllocator::AllocUnits(uint32_t units) {
  const uint32_t sizeClass = ClassOf(units);
  if (freeList_[sizeClass]) return RemoveNode(sizeClass);
  const uint32_t bytes = UnitsOf(sizeClass) * kUnitSize;
  if (high_ - low_ >= bytes) {
    const Ref block = low_;
    low_ += bytes;
    return block;
  }
  return AllocUnitsRare(sizeClass);
}

Ref SubAllocator::AllocContext() {
  if (high_ != low_) return high_ -= kUnitSize;
  return AllocUnits(1);
}

Ref SubAllocator::ExpandUnits(Ref block, uint32_t oldUnits) {
  const uint32_t oldClass = ClassOf(oldUnits);
  const uint32_t newClass = ClassOf(oldUnits + 1);
  if (oldClass == newClass) return block;
  const Ref grown = AllocUnits(oldUnits + 1);
  if (grown) {
    std::memcpy(base_ + grown, base_ + block, oldUnits * kUnitSize);
    InsertNode(block, oldClass);
  }
  return grown;
}

Ref SubAllocator::ShrinkUnits(Ref block, uint32_t oldUnits, uint32_t newUnits) {
  const uint32_t oldClass = ClassOf(oldUnits);
  const uint32_t newClass = ClassOf(newUnits);
  if (oldClass == newClass) return block;
  if (freeList_[newClass]) {
    const Ref moved = RemoveNode(newClass);
    std::memcpy(base_ + moved, base_ + block, newUnits * kUnitSize);
    InsertNode(block, oldClass);
    return moved;
  }
  SplitBlock(block, oldClass, newClass);
  return block;
}

void SubAllocator::FreeUnits(Ref block, uint32_t units) { InsertNode(block, ClassOf(units)); }

}  // namespace ppm
