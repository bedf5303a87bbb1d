// The "AACS" block container and the stream classes around it.
//
// A container is a 128-byte ContainerHeader followed by a chain of blocks,
// each a 16-byte BlockHeader and a payload packed with the codec of the
// header's level code (codecs.h); see container_layout.h for the bytes.
// Level code 0 (stored mode) means no header at all: the data stream holds
// the content itself.
//
//   TECLBaseStream            wrapper over a caller's data stream; tracks
//                             whether it was modified; whole-content copies
//   TECLBaseCompressedStream  compressed size, level code, password
//   TECLStream                the block container over a caller's stream
//   TECLAdvCompressedStream   owns an inner TECLStream, forwards to it
//   TECLMemoryStream          ... over an owned MemoryStream
//
// Positions and sizes of a container's content are below 2^31.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "compression/codecs.h"
#include "compression/container_layout.h"
#include "compression/stream.h"

namespace compression {

// Raised by the container classes; what() is one of the texts below. A
// container that does not decode is damaged input unless said otherwise.
class ContainerError : public sys::FailureError {
 public:
  explicit ContainerError(const std::string& message, sys::FailureKind kind = sys::FailureKind::Damaged)
      : FailureError(kind, {}, message) {}
};

// Raised by TECLStream::CheckChain: the block chain is not the one the
// header announces, so the content it yields would be cut short or
// misplaced even when every block it does reach unpacks cleanly.
class DamagedContainer : public ContainerError {
 public:
  using ContainerError::ContainerError;
};

inline constexpr const char* kErrorNoDataStream = "TECLStream.Create - data stream = nil.";
inline constexpr const char* kErrorCreateWrite =
    "TECLStream.Create - error writing to data stream. May be data stream in read only mode.";
inline constexpr const char* kErrorNoStream = "TECLBaseStream.Create - Stream = nil.";
inline constexpr const char* kErrorNoPassword = "TECLStream.LoadHeaders - no password specified.";
inline constexpr const char* kErrorCompression =
    "TECLStream.PrepareBufferForWriting - compression error in PrepareBuffer.";
inline constexpr const char* kErrorDecompression = "TECLStream.LoadBlock - decompression error.";
inline constexpr const char* kErrorInvalidSize = "TECLStream.LoadBlock - decompression error, invalid size.";
inline constexpr const char* kErrorCrc = "TECLStream.LoadBlock - decompression crc error.";
// Content or data stream would pass the container's 2^31 - 1 byte limit.
inline constexpr const char* kErrorTooLarge = "TECLStream.Write - container size limit exceeded.";
inline constexpr const char* kErrorDamagedChain = "TECLStream.LoadHeaders - damaged block chain.";

struct ContainerHeader {
  int32_t blockSize = 0;
  uint32_t passwordCheck = 0;
  int32_t blockCount = 0;
  uint32_t formatVersionBits = layout::kFormatVersionBits;
  uint8_t levelCode = 0;
  uint8_t reserved21 = 0;
  uint8_t isProtected = 0;
  int32_t reservedAreaSize = 0;
  uint8_t reserved27 = 0;
  std::array<uint8_t, layout::kCheckBlockSize> checkBlock{};

  std::array<uint8_t, layout::kHeaderSize> ToBytes() const;
  // Reads the fields of 128 header bytes (the signature is the caller's test).
  static ContainerHeader FromBytes(const uint8_t* bytes);
  // True when `bytes` (at least 4) start with "AACS".
  static bool HasSignature(const uint8_t* bytes);
};

struct BlockHeader {
  int32_t compressedSize = 0;
  int32_t uncompressedSize = 0;
  uint32_t checksum = 0;
  int32_t nextOffset = 0;

  std::array<uint8_t, layout::kBlockHeaderSize> ToBytes() const;
  static BlockHeader FromBytes(const uint8_t* bytes);
};

// Block table of one container: parallel arrays of block headers and the
// data-stream offsets where those headers start.
class TECLHeadersArray {
 public:
  int32_t Count() const { return count_; }
  int32_t Capacity() const { return static_cast<int32_t>(headers_.size()); }
  // Count 0 releases the arrays; growing beyond the capacity enlarges it by
  // a step that starts at 100 and doubles per growth up to 10,000 (at least
  // to `count`). New entries are zero.
  void SetCount(int32_t count);
  BlockHeader& Header(int32_t index) { return headers_[index]; }
  const BlockHeader& Header(int32_t index) const { return headers_[index]; }
  uint32_t& Offset(int32_t index) { return offsets_[index]; }
  uint32_t Offset(int32_t index) const { return offsets_[index]; }

 private:
  int32_t count_ = 0;
  int32_t growStep_ = 100;
  std::vector<BlockHeader> headers_;
  std::vector<uint32_t> offsets_;
};

class TECLBaseStream : public Stream {
 public:
  using ProgressHandler = std::function<void(TECLBaseStream& sender, double percent)>;
  static constexpr int32_t kDefaultCopyBufferSize = 1048576;

  // Wraps `stream` (not owned; must outlive this object). Throws
  // ContainerError("TECLBaseStream.Create - Stream = nil.") for nullptr.
  explicit TECLBaseStream(Stream* stream);

  // Forwarded to the data stream; a Write of more than 0 bytes and SetSize
  // set the modified flag.
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  int64_t Position() override;

  // Writes the whole content to `destination` at its position in chunks of
  // the copy-buffer size; both positions are restored afterwards.
  virtual void SaveToStream(Stream& destination);
  // Replaces the whole content by the whole content of `source`; both
  // positions are restored afterwards.
  virtual void LoadFromStream(Stream& source);

  // Copies `count` bytes from the source's position into this stream in
  // chunks of the copy-buffer size (count 0: rewind the source and copy all
  // of it). Throws "Stream read error"/"Stream write error" on short
  // transfers. Returns the number of bytes copied.
  int64_t CopyFromWithProgress(Stream& source, int64_t count);

  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }
  bool Busy() const { return busy_; }
  int32_t CopyBufferSize() const { return copyBufferSize_; }
  void SetCopyBufferSize(int32_t size) { copyBufferSize_ = size > 0 ? size : kDefaultCopyBufferSize; }

  // Called with a percentage 0-100 during whole-content copies when set.
  ProgressHandler OnProgress;

 protected:
  struct Unchecked {};
  // For derived classes that forward elsewhere; `stream` may be nullptr.
  TECLBaseStream(Stream* stream, Unchecked) : dataStream_(stream) {}

  void ReportProgress(int64_t done, int64_t total);
  // Copies `total` bytes from `from` to `to` in chunks of CopyChunkSize()
  // with the busy flag set, reporting progress.
  void CopyChunks(Stream& from, Stream& to, int64_t total);
  // Bytes per chunk of whole-content copies: the copy-buffer size here.
  virtual int64_t CopyChunkSize() const { return copyBufferSize_; }

  Stream* dataStream_ = nullptr;
  int32_t copyBufferSize_ = kDefaultCopyBufferSize;
  bool modified_ = false;
  bool busy_ = false;
};

class TECLBaseCompressedStream : public TECLBaseStream {
 public:
  // Length of the container in the data stream.
  virtual int64_t CompressedSize() = 0;
  // Wrapper around the data stream holding the container; writing through
  // it makes the container re-read its headers before the next operation.
  virtual TECLBaseStream& DataStream() = 0;
  virtual uint8_t LevelCode() const { return levelCode_; }
  const std::string& Password() const { return password_; }

 protected:
  TECLBaseCompressedStream(Stream* stream, const std::string& password, uint8_t levelCode)
      : TECLBaseStream(stream, Unchecked{}), levelCode_(levelCode), password_(password) {}

  uint8_t levelCode_ = 0;
  std::string password_;
};

class TECLStream : public TECLBaseCompressedStream {
 public:
  // Builds the container over `dataStream` (not owned; must outlive this).
  // With `initialise` the data stream is emptied and, unless levelCode is 0,
  // a fresh 128-byte header (and reservedAreaSize zero bytes after it) is
  // written; without it the existing content is
  // interpreted (a valid header means block mode, anything else stored
  // mode). Throws kErrorNoDataStream, kErrorCreateWrite, kErrorNoPassword.
  TECLStream(Stream* dataStream, const std::string& password, uint8_t levelCode, int32_t reservedAreaSize,
             bool initialise);
  ~TECLStream() override;

  // Reads uncompressed bytes, unpacking the blocks that hold them. Returns
  // fewer bytes at the end or when a block's payload is cut off. Throws
  // kErrorDecompression, kErrorInvalidSize, kErrorCrc for damaged blocks.
  int64_t Read(void* buffer, int64_t count) override;
  // Writes at the position, re-packing every block from the first one
  // touched to the end; all blocks are packed before any is written, so a
  // packing failure (kErrorCompression) leaves the data stream unchanged.
  // A container whose chain is not sound (CheckChain) is not written to:
  // DamagedContainer, as for SetSize.
  int64_t Write(const void* buffer, int64_t count) override;
  // Positions below 0 become 0.
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override;
  // Cuts or zero-extends the content (block mode re-packs the last block).
  void SetSize(int64_t size) override;
  int64_t Position() override;
  void SaveToStream(Stream& destination) override;
  void LoadFromStream(Stream& source) override;
  int64_t CompressedSize() override;
  TECLBaseStream& DataStream() override { return *wrapper_; }

  // Re-reads the header and block table from the data stream. Cuts a chain
  // whose block headers run past the data's end to its complete blocks,
  // rewriting the header. Throws kErrorNoPassword for a protected container.
  // Notes whether the chain it found is sound (see CheckChain).
  void LoadHeaders();
  // Throws DamagedContainer (kErrorDamagedChain) unless the chain read by
  // the last LoadHeaders (run first when the data changed) is sound:
  // exactly the header's block count of blocks, at offsets that only move
  // forward past each block's payload, every payload inside the data and
  // the last one ending where the data ends, every block but the last
  // holding a whole block size and the last one 1 to block size bytes. Its content then has exactly the length the header
  // and block headers declare. Readers of untrusted containers call this
  // before reading, since Read itself, like LoadHeaders, makes do with what
  // a damaged chain holds.
  void CheckChain();
  // Unpacks and verifies block `index` into `output`. Returns false when its
  // payload is missing or cut off; throws for damaged payloads.
  bool LoadBlock(int32_t index, BlockBuffer& output);
  // Packs `length` bytes into a payload and fills the header's sizes and
  // checksum. Throws kErrorCompression when the codec fails. Touches no
  // state of the stream, so blocks may be packed on several threads at once.
  Buffer PrepareBufferForWriting(const uint8_t* bytes, int32_t length, BlockHeader& header) const;

  bool IsStoredMode() const { return levelCode_ == kStoredLevel; }
  const ContainerHeader& Header() const { return header_; }
  const TECLHeadersArray& Headers() const { return headers_; }

 private:
  void ReloadIfModified();
  bool HasUsableBlockSize() const;
  int64_t FirstBlockOffset() const;
  void WriteHeader();
  void RepairChain(int32_t blocksRead, int64_t cutAt);
  // Reads the payload of block `index`; false when it is missing or cut off.
  bool ReadPayload(int32_t index, BlockBuffer& payload);
  // Unpacks and verifies a payload of block `index`; throws for damage.
  // Reads only the block table, so it may run on several threads at once.
  void UnpackPayload(int32_t index, const BlockBuffer& payload, BlockBuffer& output) const;
  // The unpacked block `index`, or nullptr when its payload is missing.
  // With `lastWanted` beyond `index` and several workers, the blocks up to
  // it (at most BlocksInFlight()) are unpacked side by side and kept.
  const BlockBuffer* CachedBlock(int32_t index, int32_t lastWanted = -1);
  const BlockBuffer* ReadAheadBlock(int32_t index);
  void FillReadAhead(int32_t first, int32_t last);
  void ForgetUnpackedBlocks(int32_t fromIndex);
  int64_t CopyChunkSize() const override;
  void RewriteBlocks(int64_t firstBlock, int64_t newSize, const uint8_t* bytes, int64_t at, int64_t count);
  void CheckedSeekData(int64_t offset);

  std::unique_ptr<TECLBaseStream> wrapper_;
  TECLHeadersArray headers_;
  ContainerHeader header_;
  int64_t compressedSize_ = 0;
  int64_t uncompressedSize_ = 0;
  int64_t position_ = 0;
  // Whether the last LoadHeaders found a sound chain (see CheckChain).
  bool chainSound_ = true;
  // The last unpacked block, so that small sequential reads unpack each
  // block once.
  int32_t cachedIndex_ = -1;
  BlockBuffer cachedBlock_;
  // Blocks unpacked side by side for a read that spans several: block
  // readAheadFirst_ + k is readAhead_[k] when readAheadLoaded_[k], its
  // failure is readAheadErrors_[k] when set.
  int32_t readAheadFirst_ = -1;
  std::vector<BlockBuffer> readAhead_;
  std::vector<std::exception_ptr> readAheadErrors_;
  std::vector<uint8_t> readAheadLoaded_;
};

class TECLAdvCompressedStream : public TECLBaseCompressedStream {
 public:
  explicit TECLAdvCompressedStream(std::unique_ptr<TECLStream> inner);

  int64_t Read(void* buffer, int64_t count) override { return inner_->Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override { return inner_->Write(buffer, count); }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return inner_->Seek(offset, origin); }
  int64_t Size() override { return inner_->Size(); }
  void SetSize(int64_t size) override { inner_->SetSize(size); }
  int64_t Position() override { return inner_->Position(); }
  void SaveToStream(Stream& destination) override { inner_->SaveToStream(destination); }
  void LoadFromStream(Stream& source) override { inner_->LoadFromStream(source); }
  int64_t CompressedSize() override { return inner_->CompressedSize(); }
  TECLBaseStream& DataStream() override { return inner_->DataStream(); }
  uint8_t LevelCode() const override { return inner_->LevelCode(); }
  TECLStream& Inner() { return *inner_; }

 protected:
  // Takes ownership of the inner container's data stream as well; it is
  // released after the inner container.
  TECLAdvCompressedStream(std::unique_ptr<Stream> ownedData, const std::string& password, uint8_t levelCode,
                          int32_t reservedAreaSize);

 private:
  std::unique_ptr<Stream> ownedData_;  // declared first: outlives inner_
  std::unique_ptr<TECLStream> inner_;
};

// A fresh container (initialised) in an owned memory stream, whose bytes
// DataStream() gives.
class TECLMemoryStream : public TECLAdvCompressedStream {
 public:
  TECLMemoryStream(const std::string& password, uint8_t levelCode, int32_t reservedAreaSize);
};

}  // namespace compression
