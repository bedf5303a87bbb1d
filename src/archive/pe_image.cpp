#include "archive/pe_image.h"

#include <algorithm>
#include <vector>

#include "system/byte_order.h"

namespace archive::pe {

using compression::SeekOrigin;
using compression::Stream;

namespace {

// Reads `count` (at most 4) little-endian bytes at `offset`; nullopt when
// they do not lie wholly inside the file.
std::optional<uint32_t> ReadUnsigned(Stream& file, int64_t fileSize, int64_t offset, int count) {
  if (offset < 0 || offset > fileSize - count) return std::nullopt;
  uint8_t bytes[4] = {0, 0, 0, 0};
  file.Seek(offset, SeekOrigin::Beginning);
  file.ReadExact(bytes, count);
  return sys::LoadU32(bytes);
}

uint32_t Fold(uint64_t sum) {
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum);
}

}  // namespace

std::optional<ImageHeaders> ReadImageHeaders(Stream& file, int64_t fileSize) {
  const auto magic = ReadUnsigned(file, fileSize, 0, 2);
  if (!magic || *magic != kDosMagic) return std::nullopt;
  const auto newHeader = ReadUnsigned(file, fileSize, kNewHeaderPointer, 4);
  if (!newHeader) return std::nullopt;
  const int64_t signature = *newHeader;
  const auto peSignature = ReadUnsigned(file, fileSize, signature, 4);
  if (!peSignature || *peSignature != kPeSignature) return std::nullopt;
  const auto optionalSize = ReadUnsigned(file, fileSize, signature + kCoffHeaderOffset + kCoffOptionalHeaderSize, 2);
  const int64_t optional = signature + kOptionalHeaderOffset;
  const auto optionalMagic = ReadUnsigned(file, fileSize, optional, 2);
  if (!optionalSize || !optionalMagic) return std::nullopt;
  const bool plus = *optionalMagic == kMagicPe32Plus;
  if (!plus && *optionalMagic != kMagicPe32) return std::nullopt;
  // CheckSum must lie inside the optional header the COFF header declares,
  // and that header inside the file.
  if (*optionalSize < kCheckSumOffset + kCheckSumSize || optional + *optionalSize > fileSize) return std::nullopt;

  ImageHeaders headers;
  headers.checkSumField = optional + kCheckSumOffset;
  const int64_t rvaCountOffset = plus ? kRvaCountOffsetPe32Plus : kRvaCountOffsetPe32;
  const int64_t entry = optional + (plus ? kDirectoriesOffsetPe32Plus : kDirectoriesOffsetPe32) +
                        kCertificateDirectory * kDirectoryEntrySize;
  const auto rvaCount = ReadUnsigned(file, fileSize, optional + rvaCountOffset, 4);
  // The directory exists only when the image counts it and its optional
  // header holds it.
  if (rvaCount && *rvaCount > kCertificateDirectory && entry + kDirectoryEntrySize <= optional + *optionalSize) {
    headers.certificateEntry = entry;
    headers.certificateOffset = *ReadUnsigned(file, fileSize, entry, 4);
    headers.certificateSize = *ReadUnsigned(file, fileSize, entry + 4, 4);
  }
  return headers;
}

bool CertificateTableEndsFile(const ImageHeaders& headers, int64_t fileSize) {
  return BytesAfterCertificateTable(headers, fileSize) == 0;
}

int64_t BytesAfterCertificateTable(const ImageHeaders& headers, int64_t fileSize) {
  if (headers.certificateEntry < 0 || headers.certificateSize == 0) return -1;
  // Offsets and sizes are 32-bit values held in 64 bits: the sum cannot
  // overflow.
  const int64_t tableEnd = headers.certificateOffset + headers.certificateSize;
  if (headers.certificateOffset % kCertificateAlignment != 0 ||
      headers.certificateOffset < headers.certificateEntry + kDirectoryEntrySize || tableEnd > fileSize) {
    return -1;
  }
  return fileSize - tableEnd;
}

uint32_t UnsignedImageChecksum(Stream& file, int64_t size, const ImageHeaders& headers) {
  constexpr size_t kChunk = 64 << 10;  // even, so words never straddle reads
  std::vector<uint8_t> buffer(kChunk);
  uint64_t sum = 0;
  file.Seek(0, SeekOrigin::Beginning);
  for (int64_t position = 0; position < size;) {
    const int64_t count = std::min<int64_t>(size - position, static_cast<int64_t>(buffer.size()));
    file.ReadExact(buffer.data(), count);
    // The fields a signature rewrites count as zero.
    for (const auto& [field, length] : {std::pair{headers.checkSumField, kCheckSumSize},
                                        std::pair{headers.certificateEntry, kDirectoryEntrySize}}) {
      if (field < 0) continue;
      for (int64_t p = std::max(field, position); p < std::min(field + length, position + count); ++p) {
        buffer[static_cast<size_t>(p - position)] = 0;
      }
    }
    for (int64_t i = 0; i + 1 < count; i += 2) {
      sum += sys::LoadU16(&buffer[static_cast<size_t>(i)]);
    }
    if (count % 2) sum += buffer[static_cast<size_t>(count - 1)];
    sum = Fold(sum);
    position += count;
  }
  return Fold(sum) + static_cast<uint32_t>(size);
}

void WriteUnsignedFields(Stream& output, int64_t imageStart, const ImageHeaders& headers, uint32_t checkSum) {
  uint8_t bytes[kDirectoryEntrySize] = {};
  if (headers.certificateEntry >= 0) {
    output.Seek(imageStart + headers.certificateEntry, SeekOrigin::Beginning);
    output.WriteExact(bytes, kDirectoryEntrySize);
  }
  sys::StoreU32(bytes, checkSum);
  output.Seek(imageStart + headers.checkSumField, SeekOrigin::Beginning);
  output.WriteExact(bytes, kCheckSumSize);
  output.Seek(0, SeekOrigin::End);
}

}  // namespace archive::pe
