// Arbitrary bytes as a container's data stream: parse the headers, check
// the chain, read the whole content in uneven pieces, then append to it.
// Any exception of the container or stream classes is a clean failure;
// crashes, leaks, hangs and a sound chain that reads back other than its
// declared length are not.
//
// Sizes are bounded so that every input runs in well under a millisecond:
// block sizes above 64 KiB are folded below it (a real 1.5 MiB block only
// makes each unpack and pack slower, reaching no other code), and the
// model memory named by PPM payloads along the chain is set to 1 MB as in
// the PPM fuzzer. Sizes a reader must refuse (0, negative, beyond its
// limit) are left as they are.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "compression/container_layout.h"
#include "compression/container_streams.h"

namespace {

using namespace compression;
namespace L = compression::layout;

constexpr int32_t kFoldAbove = 64 << 10;
constexpr int32_t kReaderLimit = 64 << 20;  // the largest block size a container reader accepts
constexpr int kChainBlocksBounded = 64;

void BoundSizes(std::vector<uint8_t>& bytes) {
  if (bytes.size() < L::kHeaderSize || !ContainerHeader::HasSignature(bytes.data())) return;
  const int32_t blockSize = L::LoadI32(bytes.data() + L::kBlockSizeOffset);
  if (blockSize > kFoldAbove && blockSize <= kReaderLimit) {
    L::StoreI32(bytes.data() + L::kBlockSizeOffset, 1 + (blockSize & (kFoldAbove - 1)));
  }
  const uint8_t level = bytes[L::kLevelCodeOffset];
  if (level != 3 && level != 4 && level != 6) return;
  // Follow the chain as the reader does, cutting each PPM info word's
  // memory field.
  int64_t position = int64_t(L::kHeaderSize) + std::max<int32_t>(L::LoadI32(bytes.data() + L::kReservedAreaSizeOffset), 0);
  for (int i = 0; i < kChainBlocksBounded; ++i) {
    const int64_t payload = position + int64_t(L::kBlockHeaderSize);
    if (payload + 2 > int64_t(bytes.size())) break;
    bytes[size_t(payload)] &= 0x0F;
    bytes[size_t(payload) + 1] &= 0xF0;
    const int64_t next = L::LoadI32(bytes.data() + position + L::kNextOffsetOffset);
    if (next < payload) break;
    position = next;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (64 << 10)) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  BoundSizes(bytes);
  MemoryStream stream(std::move(bytes));
  try {
    TECLStream container(&stream, "", 0, 0, false);
    bool sound = true;
    try {
      container.CheckChain();
    } catch (const DamagedContainer&) {
      sound = false;
    }
    const int64_t total = container.Size();
    std::vector<uint8_t> piece(4096 + 17);
    int64_t delivered = 0;
    for (int64_t n; (n = container.Read(piece.data(), int64_t(piece.size()))) > 0;) delivered += n;
    if (delivered > total) __builtin_trap();
    // A sound chain holds every byte it declares: a read stops short only
    // by throwing for a damaged block, never quietly.
    if (sound && !container.IsStoredMode() && delivered != total) __builtin_trap();
    // Appending must also hold up on whatever was parsed.
    if (!container.IsStoredMode()) {
      container.Seek(0, SeekOrigin::End);
      container.Write("tail", 4);
    }
  } catch (const std::exception&) {
  }
  return 0;
}
