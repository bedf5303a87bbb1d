// The two callbacks through which the archive engine compresses one file into
// a length-prefixed container and expands it again.
//
// Record layout written by CompressStreamCallback and read by
// ExpandStreamCallback, at the destination's/source's position:
//   8 bytes  n, little-endian signed length of what follows
//   n bytes  an "AACS" container (or, for the stored mode "none", the file's
//            own bytes)
#pragma once

#include <cstdint>
#include <string>

#include "compression/stream.h"

namespace compression {

// Compresses the whole content of `source` (from its beginning to its end,
// whatever its position; the position is restored) with the mode named
// `modeName` (see CompressionLevelFromName; unknown names store) and writes
// the record at the destination's position. Returns n + 8, the number of
// bytes written. Throws the container's exceptions (e.g.
// "TECLStream.PrepareBufferForWriting - compression error in PrepareBuffer.")
// and StreamError on read/write failures.
int64_t CompressStreamCallback(Stream& source, Stream& destination, const std::string& modeName);

// Reads one record at the source's position (the source is left after it),
// unpacks every block with the codec named in the container's own header,
// checks each block's checksum, and writes the content at the destination's
// position; the destination's position is then set back to its value before
// the call. Returns n, the container length without the 8 length bytes.
// Throws StreamError("Stream read error") when the source holds fewer than
// 8 + n bytes (or n is negative), DamagedContainer when the container's
// block chain is not the one its header announces (TECLStream::CheckChain),
// and the container's "TECLStream.LoadBlock - ..." exceptions when a block
// is damaged.
int64_t ExpandStreamCallback(Stream& source, Stream& destination);

// True when the record at the source's position holds stored content,
// which ExpandStreamCallback copies through as it stands. The position is
// kept.
bool RecordIsStored(Stream& source);

// The most bytes ExpandStreamCallback can write for the record at the
// source's position, as the record announces it: the block count times the
// block size of its container's header, or the length of stored content.
// Reads at most the length prefix and a container header; the position is
// kept. A record cut short gives 0 (expanding it fails at once).
int64_t ExpandedSizeBound(Stream& source);

// The number of bytes ExpandStreamCallback writes for the record at the
// source's position, as the container's block headers declare them (the
// length of stored content): no block is unpacked. Walks at most the blocks
// the header counts and only while they lie inside the record, so a
// damaged or hostile record costs reads of its own bytes at most. The
// position is kept; a record cut short gives 0.
int64_t ExpandedSize(Stream& source);

// Signatures of the two callbacks, for storing them as function pointers.
using CompressCallback = int64_t (*)(Stream& source, Stream& destination, const std::string& modeName);
using ExpandCallback = int64_t (*)(Stream& source, Stream& destination);

}  // namespace compression
