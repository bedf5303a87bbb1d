#include "compression/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "system/activity_log.h"

namespace compression {

namespace {

// Chunk size of CopyFrom and buffer size of FileStream: large enough that a
// file passes in few system calls.
constexpr int64_t kCopyChunk = 1 << 20;
constexpr size_t kFileBufferSize = 1 << 20;

}  // namespace

int64_t Stream::Size() {
  const int64_t position = Position();
  const int64_t size = Seek(0, SeekOrigin::End);
  Seek(position, SeekOrigin::Beginning);
  return size;
}

void Stream::ReadExact(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw StreamError(kStreamReadError);
}

void Stream::WriteExact(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw StreamError(kStreamWriteError);
}

int64_t Stream::CopyFrom(Stream& source, int64_t count) {
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min(std::max<int64_t>(count, 0), kCopyChunk)));
  for (int64_t done = 0; done < count;) {
    const int64_t part = std::min(count - done, kCopyChunk);
    source.ReadExact(chunk.data(), part);
    WriteExact(chunk.data(), part);
    done += part;
  }
  return count;
}

// ---- MemoryStream ----

int64_t MemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || position_ >= size) return 0;
  const int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t MemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = position_ + count;
  if (end > Size()) {
    // Grow geometrically so that many small appends stay linear.
    if (static_cast<size_t>(end) > data_.capacity())
      data_.reserve(std::max(static_cast<size_t>(end), data_.capacity() * 2));
    data_.resize(static_cast<size_t>(end));
  }
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::Current) base = position_;
  if (origin == SeekOrigin::End) base = Size();
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

void MemoryStream::SetSize(int64_t size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
  position_ = std::min(position_, Size());
}

// ---- FileStream ----

FileStream::FileStream(const std::string& path, Mode mode) : path_(path), readOnly_(mode == Mode::Read) {
  const char* openMode = mode == Mode::Read ? "rb" : mode == Mode::Create ? "w+b" : "r+b";
  file_ = std::fopen(path.c_str(), openMode);
  if (!file_) {
    throw StreamError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  }
  buffer_ = std::make_unique<char[]>(kFileBufferSize);
  std::setvbuf(file_, buffer_.get(), _IOFBF, kFileBufferSize);
}

FileStream::~FileStream() {
  if (file_) std::fclose(file_);
}

// C streams require a positioning call between a write and a following read
// (and the reverse); a zero-length relative seek satisfies that.
void FileStream::PrepareFor(LastOp op) {
  if (lastOp_ != LastOp::None && lastOp_ != op) fseeko64(file_, 0, SEEK_CUR);
  lastOp_ = op;
}

int64_t FileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  PrepareFor(LastOp::Read);
  const auto done = static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(count), file_));
  sys::CountFileBytes(done);
  return done;
}

int64_t FileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  PrepareFor(LastOp::Write);
  const auto done = static_cast<int64_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), file_));
  sys::CountFileBytes(done);
  return done;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
  const int whence = origin == SeekOrigin::Beginning ? SEEK_SET
                     : origin == SeekOrigin::Current ? SEEK_CUR
                                                     : SEEK_END;
  if (origin == SeekOrigin::Current && offset == 0 && lastOp_ == LastOp::None) return Position();
  if (fseeko64(file_, offset, whence) != 0) {
    // A target before the start: stay at 0 like the memory stream does.
    fseeko64(file_, 0, SEEK_SET);
  }
  lastOp_ = LastOp::None;
  return Position();
}

int64_t FileStream::Position() { return static_cast<int64_t>(ftello64(file_)); }

int64_t FileStream::Size() {
  const int64_t position = Position();
  fseeko64(file_, 0, SEEK_END);
  const int64_t size = static_cast<int64_t>(ftello64(file_));
  fseeko64(file_, position, SEEK_SET);
  lastOp_ = LastOp::None;
  return size;
}

void FileStream::SetSize(int64_t size) {
  if (readOnly_) throw StreamError(kStreamWriteError);
  Flush();
  const int64_t position = Position();
  std::error_code error;
  std::filesystem::resize_file(std::filesystem::path(path_), static_cast<uintmax_t>(std::max<int64_t>(size, 0)),
                               error);
  if (error) throw StreamError(kStreamWriteError);
  // Re-seek so that no stale buffered bytes survive the size change.
  fseeko64(file_, std::min(position, std::max<int64_t>(size, 0)), SEEK_SET);
  lastOp_ = LastOp::None;
}

void FileStream::Flush() {
  if (std::fflush(file_) != 0) throw StreamError(kStreamWriteError);
}

}  // namespace compression
