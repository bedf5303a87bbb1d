// The few parts of a Windows executable (PE image) that concern an installer
// carrying its package: a code signature appends a certificate table after
// the package and rewrites two header fields of the stub.
//
//   offset 0               "MZ"
//   offset 0x3C            e_lfanew (uint32): where "PE\0\0" stands
//   e_lfanew + 4           COFF header, 20 bytes; +16 SizeOfOptionalHeader
//   e_lfanew + 24          optional header, magic 0x10B (PE32) or 0x20B (PE32+)
//     + 64                 CheckSum (uint32)
//     + 92  / + 108        NumberOfRvaAndSizes (PE32 / PE32+)
//     + 96  / + 112        data directories, 8 bytes each; entry 4 is the
//                          certificate table: file offset, size (uint32 each)
//
// The certificate table starts on an 8-byte boundary; a signing tool pads
// the file with zero bytes up to it.
#pragma once

#include <cstdint>
#include <optional>

#include "compression/stream.h"

namespace archive::pe {

inline constexpr int64_t kNewHeaderPointer = 0x3C;
inline constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
inline constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
inline constexpr int64_t kCoffHeaderOffset = 4;       // after the signature
inline constexpr int64_t kCoffOptionalHeaderSize = 16;
inline constexpr int64_t kOptionalHeaderOffset = 24;  // from the signature
inline constexpr uint16_t kMagicPe32 = 0x10B;
inline constexpr uint16_t kMagicPe32Plus = 0x20B;
inline constexpr int64_t kCheckSumOffset = 64;        // in the optional header
inline constexpr int64_t kRvaCountOffsetPe32 = 92;
inline constexpr int64_t kRvaCountOffsetPe32Plus = 108;
inline constexpr int64_t kDirectoriesOffsetPe32 = 96;
inline constexpr int64_t kDirectoriesOffsetPe32Plus = 112;
inline constexpr int64_t kDirectoryEntrySize = 8;
inline constexpr uint32_t kCertificateDirectory = 4;
inline constexpr int64_t kCertificateAlignment = 8;
inline constexpr int64_t kCheckSumSize = 4;

// Where the signature-related fields of an image lie, and what they hold.
struct ImageHeaders {
  int64_t checkSumField = 0;        // file offset of CheckSum
  int64_t certificateEntry = -1;    // file offset of data directory 4; -1 when the image has fewer directories
  int64_t certificateOffset = 0;    // the entry's values (0, 0 when unsigned)
  int64_t certificateSize = 0;
};

// Reads the headers of the image at the start of `file` (of `fileSize`
// bytes). Every offset is checked against the file before it is used, so
// any bytes at all give an answer: nullopt when they do not begin with a
// DOS header pointing at a PE signature and a PE32 or PE32+ optional header
// large enough to hold CheckSum.
std::optional<ImageHeaders> ReadImageHeaders(compression::Stream& file, int64_t fileSize);

// True when the headers' certificate table is sound and is the last thing in
// a file of `fileSize` bytes: aligned, after the headers, ending at the end.
bool CertificateTableEndsFile(const ImageHeaders& headers, int64_t fileSize);

// The number of bytes after the headers' certificate table in a file of
// `fileSize` bytes when the table is otherwise sound (aligned, after the
// headers, inside the file): 0 when it ends the file, more when something
// was appended to the file after signing. -1 when there is no sound table.
int64_t BytesAfterCertificateTable(const ImageHeaders& headers, int64_t fileSize);

// The image checksum of the first `size` bytes of `file`: 16-bit
// little-endian words (an odd last byte padded with 0) added with the carry
// folded back, plus `size`. CheckSum and the certificate entry are counted
// as zero, so the result is that of the image before it was signed.
uint32_t UnsignedImageChecksum(compression::Stream& file, int64_t size, const ImageHeaders& headers);

// Writes, into a copy of the image that begins at `imageStart` in `output`,
// the header fields of an unsigned image: no certificate table, and
// `checkSum`. The output's position is left at its end.
void WriteUnsignedFields(compression::Stream& output, int64_t imageStart, const ImageHeaders& headers,
                         uint32_t checkSum);

}  // namespace archive::pe
