// Carry-less 32-bit range coder of the PPM codec.
//
// An interval [low count, low count + size) of a total is coded by dividing
// the range by the total (or shifting it right by 14 for the one-symbol
// contexts, whose total is 16384). Normalising emits or consumes one byte
// while the top byte of low is settled or the range has fallen below 2^15
// (then the range is cut to the distance from low to the next 2^15
// boundary). All arithmetic is unsigned modulo 2^32.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ppm {

inline constexpr uint32_t kRangeTop = 1u << 24;
inline constexpr uint32_t kRangeBottom = 1u << 15;
inline constexpr uint32_t kBinTotalBits = 14;
inline constexpr uint32_t kBinTotal = 1u << kBinTotalBits;

class RangeEncoder {
 public:
  RangeEncoder(uint8_t* out, uint8_t* end) : out_(out), end_(end) {}

  void Encode(uint32_t lowCount, uint32_t size, uint32_t total) {
    range_ /= total;
    low_ += lowCount * range_;
    range_ *= size;
  }
  void EncodeBin(uint32_t lowCount, uint32_t size) {
    range_ >>= kBinTotalBits;
    low_ += lowCount * range_;
    range_ *= size;
  }
  void Normalize() {
    while ((low_ ^ (low_ + range_)) < kRangeTop ||
           (range_ < kRangeBottom && ((range_ = (0u - low_) & (kRangeBottom - 1)), true))) {
      Put(static_cast<uint8_t>(low_ >> 24));
      low_ <<= 8;
      range_ <<= 8;
      if (range_ == 0) {  // an empty interval was coded; the model is broken
        overflow_ = true;
        return;
      }
    }
  }
  void Flush() {
    for (int i = 0; i < 4; ++i) {
      Put(static_cast<uint8_t>(low_ >> 24));
      low_ <<= 8;
    }
  }
  // True when output would have passed the end of the buffer (nothing was
  // written past it) or the coder could not go on.
  bool failed() const { return overflow_; }
  uint8_t* position() const { return out_; }

 private:
  void Put(uint8_t byte) {
    if (out_ == end_) {
      overflow_ = true;
      return;
    }
    *out_++ = byte;
  }

  uint32_t low_ = 0;
  uint32_t range_ = 0xFFFFFFFFu;
  uint8_t* out_;
  uint8_t* end_;
  bool overflow_ = false;
};

class RangeDecoder {
 public:
  // Loads the code register from the first four bytes of `in`.
  RangeDecoder(const uint8_t* in, const uint8_t* end) : in_(in), end_(end) {
    for (int i = 0; i < 4; ++i) ShiftIn();
  }

  // Count of the coded value within `total`. Sets the broken flag (and
  // returns 0) when the range cannot be divided by the total.
  uint32_t GetCount(uint32_t total) {
    range_ /= total;
    if (range_ == 0) {
      broken_ = true;
      range_ = 1;
    }
    return (code_ - low_) / range_;
  }
  // Scale and ScaleBin divide the range by the total (ScaleBin by the
  // one-symbol contexts' 16384), and Below(c) then tells whether the count
  // GetCount would return is below c,
  // by comparing the code with c times the range: a multiplication in
  // place of the second division, which lies on the decoder's critical
  // path. The product is taken in 64 bits, so the answer equals the
  // division's for any c, even one past the total in a broken model.
  void Scale(uint32_t total) {
    range_ /= total;
    if (range_ == 0) {
      broken_ = true;
      range_ = 1;
    }
  }
  void ScaleBin() { range_ >>= kBinTotalBits; }
  // The count within the total after Scale, as GetCount returns it.
  uint32_t Count() const { return (code_ - low_) / range_; }
  bool Below(uint32_t count) const {
    return code_ - low_ < static_cast<uint64_t>(count) * range_;
  }
  void Decode(uint32_t lowCount, uint32_t size) {
    low_ += lowCount * range_;
    range_ *= size;
  }
  void Normalize() {
    while ((low_ ^ (low_ + range_)) < kRangeTop ||
           (range_ < kRangeBottom && ((range_ = (0u - low_) & (kRangeBottom - 1)), true))) {
      ShiftIn();
      low_ <<= 8;
      range_ <<= 8;
      if (range_ == 0) {
        broken_ = true;
        range_ = 0xFFFFFFFFu;
        return;
      }
    }
  }
  // True when the data drove the coder into a state no encoder produces.
  bool broken() const { return broken_; }

 private:
  // Reading past the end of the payload makes the whole code register
  // 0xFFFFFFFF, as the format's reference decoder does.
  void ShiftIn() {
    if (in_ < end_) {
      code_ = (code_ << 8) | *in_++;
    } else {
      code_ = 0xFFFFFFFFu;
    }
  }

  uint32_t low_ = 0;
  uint32_t range_ = 0xFFFFFFFFu;
  uint32_t code_ = 0;
  const uint8_t* in_;
  const uint8_t* end_;
  bool broken_ = false;
};

}  // namespace ppm
