#include "compression/ppm/ppm_codec.h"

#include "compression/ppm/ppm_model.h"
#include "compression/ppm/ppm_range_coder.h"
#include "compression/ppm/ppm_suballocator.h"
#include "system/byte_order.h"

namespace ppm {

namespace {

// PpmInfoWord bits: 0-3 order - 1, 4-11 memory MB - 1, 12-15 variant, 16-31 zero.
constexpr uint32_t kInfoWordSize = 4;
constexpr uint32_t kVariantG = 6;
constexpr int kMaxMemoryMb = 256;

size_t MemoryBytes(int memoryMb) { return static_cast<size_t>(memoryMb) << 20; }

}  // namespace

uint32_t PpmInfoWord(int order, int memoryMb) {
  return (static_cast<uint32_t>(order - 1) & 0xF) |
         ((static_cast<uint32_t>(memoryMb - 1) & 0xFF) << 4) | (kVariantG << 12);
}

struct Codec::Impl {
  SubAllocator heap;
  Model model{heap};
};

Codec::Codec() : impl_(std::make_unique<Impl>()) {}
Codec::~Codec() = default;

int Codec::LastRestartCount() const { return impl_->model.restarts(); }

size_t Codec::Encode(const uint8_t* input, size_t length, uint8_t* output, size_t capacity,
                     int order, int memoryMb) {
  if (order < kMinOrder || order > kMaxOrder || memoryMb < 1 || memoryMb > kMaxMemoryMb) return 0;
  if (capacity < kInfoWordSize || !impl_->heap.Hold(MemoryBytes(memoryMb))) return 0;
  sys::StoreU32(output, PpmInfoWord(order, memoryMb));

  Model& model = impl_->model;
  RangeEncoder rc(output + kInfoWordSize, output + capacity);
  model.Start(order);
  if (!model.EncodeBlock(rc, input, length)) return 0;
  rc.Flush();
  if (rc.failed()) return 0;
  return static_cast<size_t>(rc.position() - output);
}

ptrdiff_t Codec::Decode(const uint8_t* payload, size_t payloadLength, uint8_t* output,
                        size_t expectedLength) {
  if (payloadLength < kInfoWordSize) return -1;
  const uint32_t word = sys::LoadU32(payload);
  if (word >> 12 != kVariantG) return -1;
  const int order = static_cast<int>(word & 0xF) + 1;
  const int memoryMb = static_cast<int>(word >> 4 & 0xFF) + 1;
  if (order < kMinOrder || !impl_->heap.Hold(MemoryBytes(memoryMb))) return -1;

  Model& model = impl_->model;
  RangeDecoder rc(payload + kInfoWordSize, payload + payloadLength);
  model.Start(order);
  return model.DecodeBlock(rc, output, expectedLength);
}

}  // namespace ppm
