// Arbitrary bytes as a PPM payload. The first two bytes give the expected
// length (little-endian, at most 511 to keep runs short: decoding and the
// round trip take time with every byte, and with 1023 this target stayed
// well below the speed of the others), the rest is the
// payload with its info word. The memory field of the info word is set to
// 1 MB, so that the codec keeps one model allocation from run to run (a
// model of another size is allocated and set up afresh, which costs more
// than the decoding itself); every order and variant stays reachable.
// Decoding must fail cleanly or stop within the expected length; whatever it
// produces must survive an encode/decode round trip with the same order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "compression/ppm/ppm_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t expected = data[0] | (static_cast<size_t>(data[1] & 0x01) << 8);
  std::vector<uint8_t> payload(data + 2, data + size);
  if (payload.size() >= 2) payload[0] &= 0x0F, payload[1] &= 0xF0;  // memory 1 MB

  static ppm::Codec codec;
  std::vector<uint8_t> output(expected);
  const ptrdiff_t produced = codec.Decode(payload.data(), payload.size(), output.data(), expected);
  if (produced < 0) return 0;
  if (static_cast<size_t>(produced) > expected) std::abort();

  const int order = (payload[0] & 0xF) + 1;
  const int memoryMb = ((payload[0] >> 4) | (payload[1] & 0xF) << 4) + 1;
  const size_t n = static_cast<size_t>(produced);
  std::vector<uint8_t> packed(n + n / 20 + 50);
  const size_t length = codec.Encode(output.data(), n, packed.data(), packed.size(), order, memoryMb);
  if (length == 0) return 0;  // random data may expand beyond the buffer
  std::vector<uint8_t> again(n);
  if (codec.Decode(packed.data(), length, again.data(), n) != produced) std::abort();
  again.resize(n);
  output.resize(n);
  if (again != output) std::abort();
  return 0;
}
