#include "compression/stream_callbacks.h"

#include <algorithm>
#include <array>

#include "compression/codecs.h"
#include "compression/container_layout.h"
#include "compression/container_streams.h"
#include "system/byte_order.h"

namespace compression {

namespace {

constexpr int64_t kLengthPrefixSize = 8;
// Level used instead of stored mode for content that would be read back as
// a container (see StoredBytesLookLikeContainer).
constexpr uint8_t kFallbackLevel = 1;

// Stored content has no header, so content that itself starts with "AACS"
// and holds a whole header would be taken for a container on expanding.
bool StoredBytesLookLikeContainer(Stream& source) {
  const int64_t position = source.Position();
  std::array<uint8_t, layout::kSignature.size()> start{};
  source.Seek(0, SeekOrigin::Beginning);
  const bool looksLikeOne = source.Size() >= int64_t(layout::kHeaderSize) &&
                            source.Read(start.data(), int64_t(start.size())) == int64_t(start.size()) &&
                            ContainerHeader::HasSignature(start.data());
  source.Seek(position, SeekOrigin::Beginning);
  return looksLikeOne;
}

// Whether the `length` bytes at the source's position start with a whole
// container header, which is what makes the container read them as blocks
// rather than as stored content. The position is kept.
bool RecordHoldsContainer(Stream& source, int64_t length) {
  if (length < int64_t(layout::kHeaderSize)) return false;
  const int64_t position = source.Position();
  std::array<uint8_t, layout::kSignature.size()> start{};
  const bool holds = source.Read(start.data(), int64_t(start.size())) == int64_t(start.size()) &&
                     ContainerHeader::HasSignature(start.data());
  source.Seek(position, SeekOrigin::Beginning);
  return holds;
}

void WriteLengthPrefix(Stream& destination, int64_t length) {
  std::array<uint8_t, kLengthPrefixSize> bytes{};
  sys::StoreI64(bytes.data(), length);
  destination.WriteExact(bytes.data(), int64_t(bytes.size()));
}

int64_t ReadLengthPrefix(Stream& source) {
  std::array<uint8_t, kLengthPrefixSize> bytes{};
  source.ReadExact(bytes.data(), int64_t(bytes.size()));
  return sys::LoadI64(bytes.data());
}

}  // namespace

int64_t CompressStreamCallback(Stream& source, Stream& destination, const std::string& modeName) {
  uint8_t level = CompressionLevelFromName(modeName);
  if (level == kStoredLevel && StoredBytesLookLikeContainer(source)) level = kFallbackLevel;
  TECLMemoryStream container("", level, 0);
  container.LoadFromStream(source);
  const int64_t length = container.CompressedSize();
  WriteLengthPrefix(destination, length);
  container.Seek(0, SeekOrigin::Beginning);
  TECLBaseStream& data = container.DataStream();
  data.Seek(0, SeekOrigin::Beginning);
  destination.CopyFrom(data, length);
  return length + kLengthPrefixSize;
}

int64_t ExpandStreamCallback(Stream& source, Stream& destination) {
  TECLMemoryStream container("", kStoredLevel, 0);
  const int64_t length = ReadLengthPrefix(source);
  // Check the announced length against what the source holds before taking
  // it in, so a damaged prefix cannot demand gigabytes.
  if (length < 0 || length > source.Size() - source.Position()) {
    // A record longer than what holds it: the input is damaged, not the disk.
    throw StreamError(kStreamReadError, {}, sys::FailureKind::Damaged);
  }
  // Stored content (anything that does not open with a container header) is
  // copied straight through, as the container would hand it back, without
  // taking it into memory first.
  if (!RecordHoldsContainer(source, length)) {
    const int64_t destinationPosition = destination.Position();
    destination.CopyFrom(source, length);
    destination.Seek(destinationPosition, SeekOrigin::Beginning);
    return length;
  }
  container.DataStream().CopyFromWithProgress(source, length);
  container.DataStream().Seek(0, SeekOrigin::Beginning);
  // A chain that loops, ends early or carries impossible sizes would hand
  // back part of the content as if it were all of it.
  container.Inner().CheckChain();
  container.SaveToStream(destination);
  return length;
}

bool RecordIsStored(Stream& source) {
  const int64_t position = source.Position();
  std::array<uint8_t, kLengthPrefixSize> prefix{};
  const bool whole = source.Read(prefix.data(), int64_t(prefix.size())) == int64_t(prefix.size());
  const bool stored = whole && !RecordHoldsContainer(source, sys::LoadI64(prefix.data()));
  source.Seek(position, SeekOrigin::Beginning);
  return stored;
}

int64_t ExpandedSizeBound(Stream& source) {
  const int64_t position = source.Position();
  std::array<uint8_t, kLengthPrefixSize + layout::kHeaderSize> bytes{};
  const int64_t got = source.Read(bytes.data(), int64_t(bytes.size()));
  source.Seek(position, SeekOrigin::Beginning);
  if (got < kLengthPrefixSize) return 0;
  const int64_t length = sys::LoadI64(bytes.data());
  if (length < 0) return 0;
  const uint8_t* container = bytes.data() + kLengthPrefixSize;
  if (length >= int64_t(layout::kHeaderSize) && got == int64_t(bytes.size()) && ContainerHeader::HasSignature(container)) {
    // Every block holds at most the block size (a larger one fails to
    // unpack), and no more blocks than the header counts are read.
    const ContainerHeader header = ContainerHeader::FromBytes(container);
    return int64_t(std::max<int32_t>(header.blockCount, 0)) * std::max<int32_t>(header.blockSize, 0);
  }
  return length;
}

int64_t ExpandedSize(Stream& source) {
  const int64_t position = source.Position();
  std::array<uint8_t, kLengthPrefixSize + layout::kHeaderSize> bytes{};
  const int64_t got = source.Read(bytes.data(), int64_t(bytes.size()));
  // The bytes a short read left out are zeros.
  int64_t length = sys::LoadI64(bytes.data());
  const uint8_t* container = bytes.data() + kLengthPrefixSize;
  if (got < kLengthPrefixSize || length < 0) {
    length = 0;
  } else if (length >= int64_t(layout::kHeaderSize) && got == int64_t(bytes.size()) &&
             ContainerHeader::HasSignature(container)) {
    // The same walk the container makes when it opens: block headers
    // chained by their next offsets, relative to the container's start.
    const ContainerHeader header = ContainerHeader::FromBytes(container);
    const int64_t start = position + kLengthPrefixSize;
    int64_t at = int64_t(layout::kHeaderSize) + std::max<int32_t>(header.reservedAreaSize, 0);
    int64_t total = 0;
    std::array<uint8_t, layout::kBlockHeaderSize> blockBytes{};
    for (int32_t i = 0; i < header.blockCount && length - at >= int64_t(blockBytes.size()); ++i) {
      source.Seek(start + at, SeekOrigin::Beginning);
      if (source.Read(blockBytes.data(), int64_t(blockBytes.size())) != int64_t(blockBytes.size())) break;
      const BlockHeader block = BlockHeader::FromBytes(blockBytes.data());
      total += std::max<int32_t>(block.uncompressedSize, 0);
      if (block.nextOffset < at + int64_t(blockBytes.size())) break;
      at = block.nextOffset;
    }
    length = total;
  }
  source.Seek(position, SeekOrigin::Beginning);
  return length;
}

}  // namespace compression
