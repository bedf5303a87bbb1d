// Arbitrary bytes as a block payload, unpacked under every codec family with
// an expected length taken from the input's first two bytes (capped, as
// block sizes are). Failure is a result; crashes and overruns are bugs.
#include <cstddef>
#include <cstdint>

#include "compression/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace compression;
  if (size < 2) return 0;
  const int64_t expected = 1 + ((int64_t(data[0]) << 8 | data[1]) << 4);  // up to ~1 MiB
  Buffer output;
  // One level per codec family (the PPM levels differ only when packing:
  // the payload's own info word sets the model), and one without a codec.
  for (int level : {0, 1, 3, 7, 10}) {
    if (UnpackBuffer(data + 2, size - 2, uint8_t(level), expected, output) && level != 0 &&
        int64_t(output.size()) > expected) {
      __builtin_trap();
    }
  }
  return 0;
}
