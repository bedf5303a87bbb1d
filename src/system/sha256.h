// SHA-256 (FIPS 180-4): the digest archives record for each entry's content
// when strong integrity is asked for.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sys {

using Sha256Digest = std::array<uint8_t, 32>;

// Fed in pieces of any size; Finish pads the message and gives its digest.
// Blocks are compressed with the processor's SHA instructions where it has
// them (several times faster than the portable code), else portably.
class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t count);
  Sha256Digest Finish();

 private:
  void Compress(const uint8_t* blocks, size_t count);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> block_{};
  size_t filled_ = 0;    // bytes waiting in block_
  uint64_t length_ = 0;  // message length in bytes
};

Sha256Digest Sha256Of(const void* data, size_t count);

// Whether the processor's SHA instructions are used. Turning them off (they
// are on wherever the processor has them) lets the portable code be checked
// on the same machine.
bool Sha256UsesProcessor();
void SetSha256UsesProcessor(bool use);

// 64 lower-case hexadecimal digits.
std::string HexOf(const Sha256Digest& digest);

}  // namespace sys
