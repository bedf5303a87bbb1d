// Arbitrary bytes as a block payload, unpacked under every codec family with
// an expected length taken from the input's first two bytes (at most 4 KiB:
// a real block's 1.5 MiB only makes every run slower, the PPM decoder's
// above all, whose time grows with every byte it produces). For the PPM family
// the payload's info word gets a model memory of 1 MB, so that the codec
// keeps one model from run to run instead of setting up one of up to 256 MB
// per input. Failure is a result; crashes and overruns are bugs.
#include <cstddef>
#include <cstdint>

#include "compression/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace compression;
  if (size < 2) return 0;
  const int64_t expected = 1 + (int64_t(data[0] & 0x0F) << 8 | data[1]);
  const Buffer payload(data + 2, data + size);
  Buffer ppmPayload = payload;
  if (ppmPayload.size() >= 2) ppmPayload[0] &= 0x0F, ppmPayload[1] &= 0xF0;
  Buffer output;
  // One level per codec family (the PPM levels differ only when packing:
  // the payload's own info word sets the model), and one without a codec.
  for (int level : {0, 1, 3, 7, 10}) {
    const Buffer& bytes = level == 3 ? ppmPayload : payload;
    if (UnpackBuffer(bytes.data(), bytes.size(), uint8_t(level), expected, output) && level != 0 &&
        int64_t(output.size()) > expected) {
      __builtin_trap();
    }
  }
  return 0;
}
