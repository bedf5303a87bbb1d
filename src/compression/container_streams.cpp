#include "compression/container_streams.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "compression/block_pool.h"
#include "compression/container_crc.h"

namespace compression {

namespace {

constexpr int64_t kMaxContainerBytes = std::numeric_limits<int32_t>::max();
// Block sizes of real containers are at most 1.5 MiB; a header that names a
// larger one is treated as damaged so that it cannot make us allocate
// gigabytes.
constexpr int32_t kMaxUsableBlockSize = 64 << 20;

}  // namespace

// ---- ContainerHeader / BlockHeader ----

std::array<uint8_t, layout::kHeaderSize> ContainerHeader::ToBytes() const {
  using namespace layout;
  std::array<uint8_t, kHeaderSize> bytes{};
  std::copy(kSignature.begin(), kSignature.end(), bytes.begin() + kSignatureOffset);
  StoreI32(&bytes[kBlockSizeOffset], blockSize);
  StoreU32(&bytes[kPasswordCheckOffset], passwordCheck);
  StoreI32(&bytes[kBlockCountOffset], blockCount);
  StoreU32(&bytes[kFormatVersionOffset], formatVersionBits);
  bytes[kLevelCodeOffset] = levelCode;
  bytes[kLevelCodeOffset + 1] = reserved21;
  bytes[kProtectedOffset] = isProtected;
  StoreI32(&bytes[kReservedAreaSizeOffset], reservedAreaSize);
  bytes[kReservedAreaSizeOffset + 4] = reserved27;
  std::copy(checkBlock.begin(), checkBlock.end(), bytes.begin() + kCheckBlockOffset);
  return bytes;
}

ContainerHeader ContainerHeader::FromBytes(const uint8_t* bytes) {
  using namespace layout;
  ContainerHeader header;
  header.blockSize = LoadI32(bytes + kBlockSizeOffset);
  header.passwordCheck = LoadU32(bytes + kPasswordCheckOffset);
  header.blockCount = LoadI32(bytes + kBlockCountOffset);
  header.formatVersionBits = LoadU32(bytes + kFormatVersionOffset);
  header.levelCode = bytes[kLevelCodeOffset];
  header.reserved21 = bytes[kLevelCodeOffset + 1];
  header.isProtected = bytes[kProtectedOffset];
  header.reservedAreaSize = LoadI32(bytes + kReservedAreaSizeOffset);
  header.reserved27 = bytes[kReservedAreaSizeOffset + 4];
  std::copy(bytes + kCheckBlockOffset, bytes + kCheckBlockOffset + kCheckBlockSize, header.checkBlock.begin());
  return header;
}

bool ContainerHeader::HasSignature(const uint8_t* bytes) {
  return std::equal(layout::kSignature.begin(), layout::kSignature.end(), bytes);
}

std::array<uint8_t, layout::kBlockHeaderSize> BlockHeader::ToBytes() const {
  using namespace layout;
  std::array<uint8_t, kBlockHeaderSize> bytes{};
  StoreI32(&bytes[kCompressedSizeOffset], compressedSize);
  StoreI32(&bytes[kUncompressedSizeOffset], uncompressedSize);
  StoreU32(&bytes[kChecksumOffset], checksum);
  StoreI32(&bytes[kNextOffsetOffset], nextOffset);
  return bytes;
}

BlockHeader BlockHeader::FromBytes(const uint8_t* bytes) {
  using namespace layout;
  BlockHeader header;
  header.compressedSize = LoadI32(bytes + kCompressedSizeOffset);
  header.uncompressedSize = LoadI32(bytes + kUncompressedSizeOffset);
  header.checksum = LoadU32(bytes + kChecksumOffset);
  header.nextOffset = LoadI32(bytes + kNextOffsetOffset);
  return header;
}

// ---- TECLHeadersArray ----

void TECLHeadersArray::SetCount(int32_t count) {
  if (count <= 0) {
    count_ = 0;
    growStep_ = 100;
    std::vector<BlockHeader>().swap(headers_);
    std::vector<uint32_t>().swap(offsets_);
    return;
  }
  if (count > Capacity()) {
    const int64_t capacity = std::max<int64_t>(int64_t(Capacity()) + growStep_, count);
    growStep_ = std::min(growStep_ * 2, 10000);
    headers_.resize(static_cast<size_t>(capacity));
    offsets_.resize(static_cast<size_t>(capacity));
  }
  for (int32_t i = count_; i < count; ++i) {
    headers_[i] = BlockHeader{};
    offsets_[i] = 0;
  }
  count_ = count;
}

// ---- TECLBaseStream ----

TECLBaseStream::TECLBaseStream(Stream* stream) : dataStream_(stream) {
  if (!stream) throw ContainerError(kErrorNoStream);
}

int64_t TECLBaseStream::Read(void* buffer, int64_t count) { return dataStream_->Read(buffer, count); }

int64_t TECLBaseStream::Write(const void* buffer, int64_t count) {
  if (count > 0) modified_ = true;
  return dataStream_->Write(buffer, count);
}

int64_t TECLBaseStream::Seek(int64_t offset, SeekOrigin origin) { return dataStream_->Seek(offset, origin); }

int64_t TECLBaseStream::Size() { return dataStream_->Size(); }

void TECLBaseStream::SetSize(int64_t size) {
  modified_ = true;
  dataStream_->SetSize(size);
}

int64_t TECLBaseStream::Position() { return dataStream_->Position(); }

void TECLBaseStream::ReportProgress(int64_t done, int64_t total) {
  if (OnProgress) OnProgress(*this, total > 0 ? 100.0 * double(done) / double(total) : 100.0);
}

void TECLBaseStream::CopyChunks(Stream& from, Stream& to, int64_t total) {
  struct BusyGuard {
    bool& flag;
    explicit BusyGuard(bool& f) : flag(f) { flag = true; }
    ~BusyGuard() { flag = false; }
  } guard(busy_);
  const int64_t chunkSize = std::max<int64_t>(CopyChunkSize(), 1);
  if (total <= 0) return;
  // Uninitialised: every byte is read before it is written out.
  const std::unique_ptr<uint8_t[]> chunk(new uint8_t[static_cast<size_t>(std::min<int64_t>(chunkSize, total))]);
  for (int64_t done = 0; done < total;) {
    const int64_t part = std::min<int64_t>(chunkSize, total - done);
    from.ReadExact(chunk.get(), part);
    to.WriteExact(chunk.get(), part);
    done += part;
    ReportProgress(done, total);
  }
}

void TECLBaseStream::SaveToStream(Stream& destination) {
  const int64_t ownPosition = Position();
  const int64_t destinationPosition = destination.Position();
  Seek(0, SeekOrigin::Beginning);
  CopyChunks(*this, destination, Size());
  Seek(ownPosition, SeekOrigin::Beginning);
  destination.Seek(destinationPosition, SeekOrigin::Beginning);
}

void TECLBaseStream::LoadFromStream(Stream& source) {
  const int64_t ownPosition = Position();
  const int64_t sourcePosition = source.Position();
  source.Seek(0, SeekOrigin::Beginning);
  const int64_t total = source.Size();
  SetSize(0);
  Seek(0, SeekOrigin::Beginning);
  CopyChunks(source, *this, total);
  Seek(ownPosition, SeekOrigin::Beginning);
  source.Seek(sourcePosition, SeekOrigin::Beginning);
}

int64_t TECLBaseStream::CopyFromWithProgress(Stream& source, int64_t count) {
  if (count == 0) {
    source.Seek(0, SeekOrigin::Beginning);
    count = source.Size();
  }
  CopyChunks(source, *this, count);
  return count;
}

// ---- TECLStream ----

TECLStream::TECLStream(Stream* dataStream, const std::string& password, uint8_t levelCode,
                       int32_t reservedAreaSize, bool initialise)
    : TECLBaseCompressedStream(dataStream, password, levelCode) {
  if (!dataStream) throw ContainerError(kErrorNoDataStream);
  wrapper_ = std::make_unique<TECLBaseStream>(dataStream);
  if (initialise && levelCode != kStoredLevel) {
    header_ = ContainerHeader{};
    header_.blockSize = BlockSizeForLevel(levelCode);
    header_.levelCode = levelCode;
    header_.reservedAreaSize = reservedAreaSize;
    const auto bytes = header_.ToBytes();
    int64_t written = 0;
    try {
      wrapper_->SetSize(0);
      wrapper_->Seek(0, SeekOrigin::Beginning);
      written = wrapper_->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
      // The reserved area lies between the header and the first block.
      if (reservedAreaSize > 0) wrapper_->WriteExact(Buffer(size_t(reservedAreaSize), 0).data(), reservedAreaSize);
    } catch (const StreamError&) {
      written = 0;
    }
    if (written < static_cast<int64_t>(bytes.size())) throw ContainerError(kErrorCreateWrite, sys::FailureKind::Io);
  } else if (initialise) {
    wrapper_->SetSize(0);
  }
  wrapper_->Seek(0, SeekOrigin::Beginning);
  uncompressedSize_ = 0;
  LoadHeaders();
  position_ = 0;
  busy_ = false;
}

TECLStream::~TECLStream() = default;

bool TECLStream::HasUsableBlockSize() const {
  return header_.blockSize > 0 && header_.blockSize <= kMaxUsableBlockSize;
}

int64_t TECLStream::FirstBlockOffset() const {
  return int64_t(layout::kHeaderSize) + std::max<int32_t>(header_.reservedAreaSize, 0);
}

void TECLStream::ReloadIfModified() {
  if (wrapper_->Modified()) LoadHeaders();
}

void TECLStream::WriteHeader() {
  const auto bytes = header_.ToBytes();
  wrapper_->Seek(0, SeekOrigin::Beginning);
  wrapper_->WriteExact(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// The header announced more blocks than the data holds: keep the complete
// ones, cut the data stream after them and record the shorter count. A data
// stream that refuses writes (a file opened for reading) keeps its bytes;
// the shortened table still holds in memory.
void TECLStream::RepairChain(int32_t blocksRead, int64_t cutAt) {
  header_.blockCount = blocksRead;
  headers_.SetCount(blocksRead);
  try {
    if (cutAt < wrapper_->Size()) wrapper_->SetSize(cutAt);
    WriteHeader();
  } catch (const StreamError&) {
  }
}

void TECLStream::LoadHeaders() {
  const int64_t savedPosition = wrapper_->Position();
  compressedSize_ = 0;
  ForgetUnpackedBlocks(0);
  const int64_t dataSize = wrapper_->Size();
  wrapper_->Seek(0, SeekOrigin::Beginning);

  std::array<uint8_t, layout::kHeaderSize> bytes{};
  if (dataSize < int64_t(bytes.size()) || wrapper_->Read(bytes.data(), int64_t(bytes.size())) != int64_t(bytes.size()) ||
      !ContainerHeader::HasSignature(bytes.data())) {
    uncompressedSize_ = dataSize;
    levelCode_ = kStoredLevel;
    chainSound_ = true;
    header_ = ContainerHeader{};
    headers_.SetCount(0);
    wrapper_->Seek(savedPosition, SeekOrigin::Beginning);
    wrapper_->SetModified(false);
    return;
  }
  header_ = ContainerHeader::FromBytes(bytes.data());
  if (header_.isProtected != 0) {
    wrapper_->Seek(savedPosition, SeekOrigin::Beginning);
    wrapper_->SetModified(false);
    throw ContainerError(kErrorNoPassword);
  }
  headers_.SetCount(0);
  levelCode_ = header_.levelCode;
  const int32_t declaredCount = header_.blockCount;
  // Stored content is written without a header, so a header that names the
  // stored level would hand back its own bytes as content, beyond what its
  // blocks declare.
  bool sound = declaredCount >= 0 && header_.reservedAreaSize >= 0 && levelCode_ != kStoredLevel &&
               (declaredCount == 0 || HasUsableBlockSize());
  int64_t uncompressed = 0;
  int64_t position = FirstBlockOffset();
  // Where the chain's content ends: the data must end there too, or the
  // header counts fewer blocks than the data holds.
  int64_t chainEnd = position;
  std::array<uint8_t, layout::kBlockHeaderSize> blockBytes{};
  for (int32_t i = 0; i < declaredCount; ++i) {
    if (dataSize - position < int64_t(blockBytes.size())) {
      sound = false;
      RepairChain(i, position);
      break;
    }
    wrapper_->Seek(position, SeekOrigin::Beginning);
    wrapper_->ReadExact(blockBytes.data(), int64_t(blockBytes.size()));
    const BlockHeader block = BlockHeader::FromBytes(blockBytes.data());
    headers_.SetCount(i + 1);
    headers_.Header(i) = block;
    headers_.Offset(i) = static_cast<uint32_t>(position);
    uncompressed += std::max<int32_t>(block.uncompressedSize, 0);
    compressedSize_ += std::max<int32_t>(block.compressedSize, 0);
    const bool last = i + 1 == declaredCount;
    const int64_t payloadEnd = position + int64_t(blockBytes.size()) + block.compressedSize;
    if (block.compressedSize <= 0 || payloadEnd > dataSize || block.uncompressedSize <= 0 ||
        block.uncompressedSize > header_.blockSize || (!last && block.uncompressedSize != header_.blockSize) ||
        (!last && block.nextOffset < payloadEnd)) {
      sound = false;
    }
    chainEnd = payloadEnd;
    // A next offset that does not move past this header cannot lead to a
    // further block; following it would loop over the same bytes.
    if (block.nextOffset < position + int64_t(blockBytes.size())) {
      if (!last) sound = false;
      break;
    }
    position = block.nextOffset;
  }
  chainSound_ = sound && chainEnd == dataSize && uncompressed <= kMaxContainerBytes;
  uncompressedSize_ = std::min(uncompressed, kMaxContainerBytes);
  if (HasUsableBlockSize()) copyBufferSize_ = header_.blockSize;
  wrapper_->Seek(savedPosition, SeekOrigin::Beginning);
  wrapper_->SetModified(false);
}

void TECLStream::CheckChain() {
  ReloadIfModified();
  if (!chainSound_) throw DamagedContainer(kErrorDamagedChain);
}

bool TECLStream::ReadPayload(int32_t index, BlockBuffer& payload) {
  payload.clear();
  if (index < 0 || index >= headers_.Count()) return false;
  const BlockHeader& block = headers_.Header(index);
  const int64_t payloadStart = int64_t(headers_.Offset(index)) + int64_t(layout::kBlockHeaderSize);
  // Check the claimed size against the bytes present before allocating it.
  if (block.compressedSize <= 0 || payloadStart + block.compressedSize > wrapper_->Size()) return false;
  payload.resize(static_cast<size_t>(block.compressedSize));
  wrapper_->Seek(payloadStart, SeekOrigin::Beginning);
  return wrapper_->Read(payload.data(), block.compressedSize) == block.compressedSize;
}

void TECLStream::UnpackPayload(int32_t index, const BlockBuffer& payload, BlockBuffer& output) const {
  const BlockHeader& block = headers_.Header(index);
  if (!HasUsableBlockSize() || block.uncompressedSize > header_.blockSize ||
      !UnpackBuffer(payload.data(), payload.size(), levelCode_, block.uncompressedSize, output)) {
    BlockBuffer().swap(output);
    throw ContainerError(kErrorDecompression);
  }
  if (static_cast<int64_t>(output.size()) != block.uncompressedSize) {
    BlockBuffer().swap(output);
    throw ContainerError(kErrorInvalidSize);
  }
  if (ContainerCrc32(output.data(), output.size()) != block.checksum) {
    BlockBuffer().swap(output);
    throw ContainerError(kErrorCrc);
  }
}

bool TECLStream::LoadBlock(int32_t index, BlockBuffer& output) {
  output.clear();
  BlockBuffer payload;
  if (!ReadPayload(index, payload)) return false;
  UnpackPayload(index, payload, output);
  return true;
}

void TECLStream::ForgetUnpackedBlocks(int32_t fromIndex) {
  if (cachedIndex_ >= fromIndex) {
    cachedIndex_ = -1;
    BlockBuffer().swap(cachedBlock_);
  }
  if (readAheadFirst_ >= 0 && readAheadFirst_ + int64_t(readAhead_.size()) > fromIndex) {
    readAheadFirst_ = -1;
    std::vector<BlockBuffer>().swap(readAhead_);
    readAheadErrors_.clear();
    readAheadLoaded_.clear();
  }
}

// Payloads are read here in order on the calling thread (the data stream is
// not shared); only the unpacking runs on the workers.
void TECLStream::FillReadAhead(int32_t first, int32_t last) {
  ForgetUnpackedBlocks(0);
  const size_t count = static_cast<size_t>(last - first + 1);
  std::vector<BlockBuffer> payloads(count);
  readAhead_.assign(count, BlockBuffer());
  readAheadErrors_.assign(count, nullptr);
  readAheadLoaded_.assign(count, 0);
  for (size_t k = 0; k < count; ++k) readAheadLoaded_[k] = ReadPayload(first + int32_t(k), payloads[k]);
  RunBlockTasks(count, [&](size_t k) {
    if (!readAheadLoaded_[k]) return;
    try {
      UnpackPayload(first + int32_t(k), payloads[k], readAhead_[k]);
    } catch (...) {
      readAheadErrors_[k] = std::current_exception();
    }
    BlockBuffer().swap(payloads[k]);
  });
  readAheadFirst_ = first;
}

const BlockBuffer* TECLStream::ReadAheadBlock(int32_t index) {
  const size_t k = static_cast<size_t>(index - readAheadFirst_);
  if (readAheadErrors_[k]) std::rethrow_exception(readAheadErrors_[k]);
  return readAheadLoaded_[k] ? &readAhead_[k] : nullptr;
}

const BlockBuffer* TECLStream::CachedBlock(int32_t index, int32_t lastWanted) {
  if (index == cachedIndex_) return &cachedBlock_;
  if (readAheadFirst_ >= 0 && index >= readAheadFirst_ && index < readAheadFirst_ + int64_t(readAhead_.size())) {
    return ReadAheadBlock(index);
  }
  if (lastWanted > index && WorkerCount() > 1) {
    const int64_t last = std::min<int64_t>({lastWanted, int64_t(index) + BlocksInFlight() - 1, headers_.Count() - 1});
    if (last > index) {
      FillReadAhead(index, static_cast<int32_t>(last));
      return ReadAheadBlock(index);
    }
  }
  cachedIndex_ = -1;
  if (!LoadBlock(index, cachedBlock_)) return nullptr;
  cachedIndex_ = index;
  return &cachedBlock_;
}

int64_t TECLStream::CopyChunkSize() const {
  if (levelCode_ == kStoredLevel) return copyBufferSize_;
  // Whole-content copies hand over several blocks per chunk so that they are
  // packed or unpacked side by side.
  return int64_t(copyBufferSize_) * BlocksInFlight();
}

Buffer TECLStream::PrepareBufferForWriting(const uint8_t* bytes, int32_t length, BlockHeader& header) const {
  header.uncompressedSize = length;
  header.checksum = ContainerCrc32(bytes, static_cast<size_t>(std::max<int32_t>(length, 0)));
  Buffer payload;
  if (length <= 0 || !PrepareBuffer(bytes, static_cast<size_t>(length), levelCode_, payload)) {
    throw ContainerError(kErrorCompression);
  }
  header.compressedSize = static_cast<int32_t>(payload.size());
  return payload;
}

// Rebuilds blocks firstBlock.. so that the content holds newSize bytes: each
// block keeps its old bytes (zeros where there were none) with `count` bytes
// of `bytes` laid over at content offset `at`. Every block is packed before
// any is written, so a packing failure leaves the data stream untouched.
void TECLStream::RewriteBlocks(int64_t firstBlock, int64_t newSize, const uint8_t* bytes, int64_t at,
                               int64_t count) {
  const int64_t blockSize = header_.blockSize;
  const int32_t oldCount = headers_.Count();
  firstBlock = std::min<int64_t>(firstBlock, oldCount);
  const int64_t newCount = (newSize + blockSize - 1) / blockSize;

  std::vector<Buffer> payloads(static_cast<size_t>(std::max<int64_t>(newCount - firstBlock, 0)));
  std::vector<BlockHeader> blocks(payloads.size());
  // Blocks are packed a batch at a time, side by side; a batch's contents
  // are put together first because old blocks come from the data stream.
  const int64_t batchSize = BlocksInFlight();
  std::vector<Buffer> contents;
  for (int64_t batchStart = firstBlock; batchStart < newCount; batchStart += batchSize) {
    const int64_t batchEnd = std::min(newCount, batchStart + batchSize);
    contents.resize(static_cast<size_t>(batchEnd - batchStart));
    for (int64_t i = batchStart; i < batchEnd; ++i) {
      const int64_t blockStart = i * blockSize;
      const int64_t length = std::min(blockSize, newSize - blockStart);
      Buffer& content = contents[static_cast<size_t>(i - batchStart)];
      content.assign(static_cast<size_t>(length), 0);
      if (i < oldCount) {
        const BlockBuffer* old = CachedBlock(static_cast<int32_t>(i));
        if (!old) throw ContainerError(kErrorDecompression);
        std::memcpy(content.data(), old->data(), static_cast<size_t>(std::min<int64_t>(int64_t(old->size()), length)));
      }
      const int64_t from = std::max(at, blockStart);
      const int64_t to = std::min(at + count, blockStart + length);
      if (bytes && from < to) {
        std::memcpy(content.data() + (from - blockStart), bytes + (from - at), static_cast<size_t>(to - from));
      }
    }
    RunBlockTasks(contents.size(), [&](size_t k) {
      const size_t slot = static_cast<size_t>(batchStart - firstBlock) + k;
      payloads[slot] = PrepareBufferForWriting(contents[k].data(), static_cast<int32_t>(contents[k].size()), blocks[slot]);
    });
  }

  int64_t offset = FirstBlockOffset();
  if (firstBlock > 0) {
    const BlockHeader& previous = headers_.Header(static_cast<int32_t>(firstBlock - 1));
    const int64_t previousEnd = int64_t(headers_.Offset(static_cast<int32_t>(firstBlock - 1))) +
                                int64_t(layout::kBlockHeaderSize) + std::max<int32_t>(previous.compressedSize, 0);
    offset = std::max<int64_t>(previous.nextOffset, previousEnd);
  }
  // A chain or reserved area that points past the data's end belongs to a
  // damaged container; laying blocks there would grow the data stream by
  // whatever the damaged field says.
  if (offset > wrapper_->Size()) throw StreamError(kStreamWriteError);
  std::vector<int64_t> offsets;
  for (BlockHeader& block : blocks) {
    offsets.push_back(offset);
    offset += int64_t(layout::kBlockHeaderSize) + block.compressedSize;
    if (offset > kMaxContainerBytes) throw ContainerError(kErrorTooLarge);
    block.nextOffset = static_cast<int32_t>(offset);
  }

  for (size_t k = 0; k < blocks.size(); ++k) {
    const auto headerBytes = blocks[k].ToBytes();
    wrapper_->Seek(offsets[k], SeekOrigin::Beginning);
    wrapper_->WriteExact(headerBytes.data(), int64_t(headerBytes.size()));
    wrapper_->WriteExact(payloads[k].data(), int64_t(payloads[k].size()));
  }
  if (wrapper_->Size() > offset) wrapper_->SetSize(offset);

  headers_.SetCount(static_cast<int32_t>(newCount));
  for (size_t k = 0; k < blocks.size(); ++k) {
    const int32_t index = static_cast<int32_t>(firstBlock + int64_t(k));
    headers_.Header(index) = blocks[k];
    headers_.Offset(index) = static_cast<uint32_t>(offsets[k]);
  }
  header_.blockCount = static_cast<int32_t>(newCount);
  WriteHeader();

  compressedSize_ = 0;
  for (int32_t i = 0; i < headers_.Count(); ++i) compressedSize_ += std::max<int32_t>(headers_.Header(i).compressedSize, 0);
  uncompressedSize_ = newSize;
  ForgetUnpackedBlocks(static_cast<int32_t>(firstBlock));
  wrapper_->SetModified(false);
}

int64_t TECLStream::Read(void* buffer, int64_t count) {
  ReloadIfModified();
  if (IsStoredMode()) return wrapper_->Read(buffer, count);
  if (count <= 0 || position_ >= uncompressedSize_) return 0;
  if (!HasUsableBlockSize()) throw ContainerError(kErrorDecompression);
  const int64_t blockSize = header_.blockSize;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t delivered = 0;
  while (position_ < uncompressedSize_ && delivered < count) {
    const int64_t index = position_ / blockSize;
    if (index >= headers_.Count()) break;
    const int64_t lastWanted = (position_ + std::min(count - delivered, uncompressedSize_ - position_) - 1) / blockSize;
    const BlockBuffer* block = CachedBlock(static_cast<int32_t>(index), static_cast<int32_t>(lastWanted));
    if (!block) break;
    const int64_t inBlock = position_ % blockSize;
    const int64_t available = int64_t(block->size()) - inBlock;
    if (available <= 0) break;  // a block shorter than its place in the content
    const int64_t n = std::min({available, count - delivered, uncompressedSize_ - position_});
    std::memcpy(out + delivered, block->data() + inBlock, static_cast<size_t>(n));
    delivered += n;
    position_ += n;
  }
  return delivered;
}

int64_t TECLStream::Write(const void* buffer, int64_t count) {
  ReloadIfModified();
  if (IsStoredMode()) return wrapper_->Write(buffer, count);
  if (count <= 0) return 0;
  if (!HasUsableBlockSize()) throw ContainerError(kErrorCompression);
  // Blocks laid after a damaged chain would be placed by whatever its
  // fields claim: a content length no block count backs could ask for
  // billions of new blocks.
  if (!chainSound_) throw DamagedContainer(kErrorDamagedChain);
  const int64_t end = position_ + count;
  if (end > kMaxContainerBytes) throw ContainerError(kErrorTooLarge);
  const int64_t firstBlock = std::min(position_, uncompressedSize_) / header_.blockSize;
  RewriteBlocks(firstBlock, std::max(uncompressedSize_, end), static_cast<const uint8_t*>(buffer), position_, count);
  position_ = end;
  return count;
}

int64_t TECLStream::Seek(int64_t offset, SeekOrigin origin) {
  ReloadIfModified();
  if (IsStoredMode()) return wrapper_->Seek(offset, origin);
  int64_t base = 0;
  if (origin == SeekOrigin::Current) base = position_;
  if (origin == SeekOrigin::End) base = uncompressedSize_;
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

int64_t TECLStream::Size() {
  ReloadIfModified();
  return IsStoredMode() ? wrapper_->Size() : uncompressedSize_;
}

int64_t TECLStream::Position() {
  ReloadIfModified();
  return IsStoredMode() ? wrapper_->Position() : position_;
}

void TECLStream::SetSize(int64_t size) {
  ReloadIfModified();
  if (IsStoredMode()) {
    wrapper_->SetSize(size);
    return;
  }
  size = std::max<int64_t>(size, 0);
  if (size == uncompressedSize_) return;
  if (size > kMaxContainerBytes) throw ContainerError(kErrorTooLarge);
  if (!HasUsableBlockSize()) throw ContainerError(kErrorCompression);
  if (!chainSound_) throw DamagedContainer(kErrorDamagedChain);
  RewriteBlocks(std::min(size, uncompressedSize_) / header_.blockSize, size, nullptr, 0, 0);
}

int64_t TECLStream::CompressedSize() {
  ReloadIfModified();
  return wrapper_->Size();
}

void TECLStream::SaveToStream(Stream& destination) {
  ReloadIfModified();
  TECLBaseStream::SaveToStream(destination);
}

void TECLStream::LoadFromStream(Stream& source) {
  wrapper_->SetModified(true);
  ReloadIfModified();
  if (IsStoredMode()) {
    // Copy straight into the data stream: going through Write would re-parse
    // after every chunk and could mistake stored bytes for a container
    // half-way through the copy.
    const int64_t ownPosition = wrapper_->Position();
    const int64_t sourcePosition = source.Position();
    source.Seek(0, SeekOrigin::Beginning);
    const int64_t total = source.Size();
    wrapper_->SetSize(0);
    wrapper_->Seek(0, SeekOrigin::Beginning);
    CopyChunks(source, *wrapper_, total);
    wrapper_->Seek(ownPosition, SeekOrigin::Beginning);
    source.Seek(sourcePosition, SeekOrigin::Beginning);
  } else {
    TECLBaseStream::LoadFromStream(source);
  }
  wrapper_->SetModified(true);
}

// ---- TECLAdvCompressedStream / TECLMemoryStream ----

TECLAdvCompressedStream::TECLAdvCompressedStream(std::unique_ptr<TECLStream> inner)
    : TECLBaseCompressedStream(inner.get(), inner ? inner->Password() : std::string(),
                               inner ? inner->LevelCode() : kStoredLevel),
      inner_(std::move(inner)) {
  if (!inner_) throw ContainerError(kErrorNoStream);
}

TECLAdvCompressedStream::TECLAdvCompressedStream(std::unique_ptr<Stream> ownedData, const std::string& password,
                                                 uint8_t levelCode, int32_t reservedAreaSize)
    : TECLBaseCompressedStream(nullptr, password, levelCode), ownedData_(std::move(ownedData)) {
  inner_ = std::make_unique<TECLStream>(ownedData_.get(), password, levelCode, reservedAreaSize, true);
  dataStream_ = inner_.get();
}

TECLMemoryStream::TECLMemoryStream(const std::string& password, uint8_t levelCode, int32_t reservedAreaSize)
    : TECLAdvCompressedStream(std::make_unique<MemoryStream>(), password, levelCode, reservedAreaSize) {}

}  // namespace compression
