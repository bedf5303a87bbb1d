// PPM codec: prediction by partial matching, variant G, with its own
// sub-allocator and carry-less range coder.
//
// A payload is a 4-byte little-endian info word (order - 1 in bits 0-3,
// memory MB - 1 in bits 4-11, variant 6 in bits 12-15, zero above) followed
// by the range coder's bytes. The coded bytes depend on the exact model and
// sub-allocator behaviour, including the moment the model memory runs out and
// the model restarts, so both directions must follow the variant exactly.
//
// A Codec owns its model memory and keeps it between calls of the same size;
// separate Codec objects may be used from separate threads at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace ppm {

// Info word for the given order (1-16) and model memory in MB (1-256).
uint32_t PpmInfoWord(int order, int memoryMb);

class Codec {
 public:
  Codec();
  ~Codec();
  Codec(const Codec&) = delete;
  Codec& operator=(const Codec&) = delete;

  // Packs `length` bytes of `input` into `output` (at most `capacity` bytes).
  // Returns the payload length, or 0 when the model memory cannot be had or
  // the payload would not fit in `capacity`.
  size_t Encode(const uint8_t* input, size_t length, uint8_t* output, size_t capacity,
                int order, int memoryMb);

  // Unpacks `payload` into `output`, which holds `expectedLength` bytes.
  // Returns the number of bytes produced, or -1 when the info word does not
  // name variant G (or an unsupported order), the model memory cannot be had,
  // or the data would produce more than `expectedLength` bytes.
  ptrdiff_t Decode(const uint8_t* payload, size_t payloadLength, uint8_t* output,
                   size_t expectedLength);

  // How often the model memory ran out, and the model started again, during
  // the last Encode or Decode.
  int LastRestartCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ppm
