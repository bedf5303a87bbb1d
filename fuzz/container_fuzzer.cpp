// Arbitrary bytes as a container's data stream: parse the headers, then read
// the whole content in uneven pieces. Any exception of the container or
// stream classes is a clean failure; crashes, leaks and hangs are not.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "compression/container_streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace compression;
  // The harness's own cap: a container of a few megabytes is enough to reach
  // every path, and keeps hostile inputs quick.
  if (size > (4 << 20)) return 0;
  MemoryStream stream(std::vector<uint8_t>(data, data + size));
  try {
    TECLStream container(&stream, "", 0, 0, false);
    const int64_t total = container.Size();
    std::vector<uint8_t> piece(65536 + 17);
    int64_t delivered = 0;
    for (int64_t n; (n = container.Read(piece.data(), int64_t(piece.size()))) > 0;) delivered += n;
    if (delivered > total) __builtin_trap();
    // Appending must also hold up on whatever was parsed.
    if (!container.IsStoredMode() && total < (8 << 20)) {
      container.Seek(0, SeekOrigin::End);
      container.Write("tail", 4);
    }
  } catch (const std::exception&) {
  }
  return 0;
}
