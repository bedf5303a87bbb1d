#include "compression/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "compression/spare_objects.h"
#include "system/platform.h"

#include "system/activity_log.h"

namespace compression {

namespace {

// Chunk size of CopyFrom and buffer size of FileStream: large enough that a
// file passes in few system calls.
constexpr int64_t kCopyChunk = 1 << 20;
constexpr size_t kFileBufferSize = 1 << 20;
// Reads and writes at least this large, which the buffer would only copy
// once more, go straight between the caller's memory and the file.
constexpr int64_t kDirectTransfer = 64 << 10;

// Megabyte buffers kept for the next file or copy (a copy's chunk and the
// file it writes take one each): an extraction opens one file after
// another, and a fresh megabyte for each is returned to the system when
// freed and costs page faults when taken again.
class SpareBuffers {
 public:
  static std::unique_ptr<uint8_t[]> Take() {
    if (std::unique_ptr<uint8_t[]> buffer = Spares().Take()) return buffer;
    // Uninitialised: every byte is written before it is read.
    return std::unique_ptr<uint8_t[]>(new uint8_t[kFileBufferSize]);
  }
  static void Give(std::unique_ptr<uint8_t[]> buffer) { Spares().Give(std::move(buffer)); }

 private:
  // Two for the writer, two for each of a few workers. Never destroyed: a
  // worker may still give a buffer back while static objects are torn down.
  static SpareObjects<uint8_t[]>& Spares() {
    static auto* spares = new SpareObjects<uint8_t[]>(8);
    return *spares;
  }
};

FileFaults& Faults() {
  static FileFaults faults;
  return faults;
}

}  // namespace

void SetFileFaults(FileFaults faults) { Faults() = std::move(faults); }

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
  if (count <= 0) return count;
  static_assert(kCopyChunk <= int64_t{kFileBufferSize});
  std::unique_ptr<uint8_t[]> chunk = SpareBuffers::Take();
  for (int64_t done = 0; done < count;) {
    const int64_t part = std::min(count - done, kCopyChunk);
    source.ReadExact(chunk.get(), part);
    WriteExact(chunk.get(), part);
    done += part;
  }
  SpareBuffers::Give(std::move(chunk));
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
    // An append copies the bytes in once; zeros first would write them twice.
    if (position_ == Size()) {
      const auto* bytes = static_cast<const uint8_t*>(buffer);
      data_.insert(data_.end(), bytes, bytes + count);
      position_ = end;
      return count;
    }
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

namespace {

sys::platform::OpenMode PlatformMode(FileStream::Mode mode) {
  switch (mode) {
    case FileStream::Mode::Read: return sys::platform::OpenMode::Read;
    case FileStream::Mode::Create: return sys::platform::OpenMode::Create;
    case FileStream::Mode::CreateNew: return sys::platform::OpenMode::CreateNew;
    case FileStream::Mode::ReadWrite: break;
  }
  return sys::platform::OpenMode::ReadWrite;
}

// The smallest buffer given to a file opened for reading.
constexpr int64_t kSmallestBuffer = 4096;

}  // namespace

FileStream::FileStream(const std::string& path, Mode mode, uint32_t permissions)
    : path_(path), readOnly_(mode == Mode::Read) {
  if (Faults().open && !Faults().open(path, mode)) {
    throw StreamError("Cannot open file \"" + path + "\". " + std::strerror(EACCES), path);
  }
  std::string reason;
  if (!file_.Open(path, PlatformMode(mode), reason, permissions)) {
    throw StreamError("Cannot open file \"" + path + "\". " + reason, path);
  }
  capacity_ = static_cast<int64_t>(kFileBufferSize);
  if (readOnly_) {
    readOnlySize_ = file_.Size().value_or(0);
    // A small file needs no megabyte of buffer.
    capacity_ = std::clamp(readOnlySize_, kSmallestBuffer, capacity_);
  }
}

FileStream::FileStream(const sys::platform::FolderHandle& folder, const std::string& name, const std::string& path,
                       int permissions)
    : path_(path), capacity_(static_cast<int64_t>(kFileBufferSize)) {
  if (Faults().open && !Faults().open(path, Mode::CreateNew)) {
    throw StreamError("Cannot open file \"" + path + "\". " + std::strerror(EACCES));
  }
  std::string reason;
  if (!folder.CreateNewFile(name, file_, permissions, reason)) {
    throw StreamError("Cannot open file \"" + path + "\". " + reason);
  }
  ownSize_ = 0;
}

FileStream::~FileStream() {
  WritePending();
  if (buffer_ && capacity_ == int64_t{kFileBufferSize}) SpareBuffers::Give(std::move(buffer_));
}

// Allocated on first use and left uninitialised: zeroing a megabyte for
// every file opened would cost more than reading or writing a small file.
uint8_t* FileStream::Buffer() {
  if (!buffer_) {
    buffer_ = capacity_ == int64_t{kFileBufferSize} ? SpareBuffers::Take()
                                                     : std::unique_ptr<uint8_t[]>(new uint8_t[static_cast<size_t>(capacity_)]);
  }
  return buffer_.get();
}

bool FileStream::WritePending() {
  if (pending_ == 0) return true;
  const bool complete = file_.WriteAt(bufferStart_, buffer_.get(), pending_) == pending_;
  pending_ = 0;
  if (!complete) writeFailed_ = true;
  return complete;
}

int64_t FileStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || !WritePending()) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t buffered = bufferStart_ + readLength_ - position_;
    if (position_ >= bufferStart_ && buffered > 0) {
      const int64_t part = std::min(count - done, buffered);
      std::memcpy(out + done, buffer_.get() + (position_ - bufferStart_), static_cast<size_t>(part));
      position_ += part;
      done += part;
      continue;
    }
    // A large request goes straight to the caller's memory.
    if (count - done >= std::min(capacity_, kDirectTransfer)) {
      const int64_t got = file_.ReadAt(position_, out + done, count - done);
      position_ += got;
      done += got;
      break;
    }
    bufferStart_ = position_;
    readLength_ = file_.ReadAt(position_, Buffer(), capacity_);
    if (readLength_ <= 0) {
      readLength_ = 0;
      break;
    }
  }
  sys::CountFileBytes(done);
  return done;
}

int64_t FileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || readOnly_) return 0;
  if (Faults().write) count = std::clamp<int64_t>(Faults().write(path_, count), 0, count);
  readLength_ = 0;  // what was read ahead may be overwritten
  // Bytes that do not continue the pending ones, or do not fit beside them,
  // send those to the file first.
  if (pending_ > 0 && (position_ != bufferStart_ + pending_ || pending_ + count > capacity_)) {
    if (!WritePending()) return 0;
  }
  int64_t done = count;
  if (pending_ == 0 && count >= std::min(capacity_, kDirectTransfer)) {
    done = file_.WriteAt(position_, buffer, count);
    if (done < count) writeFailed_ = true;
  } else {
    if (pending_ == 0) bufferStart_ = position_;
    std::memcpy(Buffer() + pending_, buffer, static_cast<size_t>(count));
    pending_ += count;
  }
  position_ += done;
  if (ownSize_ >= 0) ownSize_ = std::max(ownSize_, position_);
  sys::CountFileBytes(done);
  return done;
}

int64_t FileStream::CopyFrom(Stream& source, int64_t count) {
  auto* file = dynamic_cast<FileStream*>(&source);
  // Injected faults must see every write.
  if (!file || file == this || count <= 0 || readOnly_ || Faults().write) return Stream::CopyFrom(source, count);
  if (!WritePending() || !file->WritePending()) throw StreamError(kStreamWriteError);
  const int64_t done = file_.CopyFrom(file->file_, file->position_, position_, count);
  if (done < 0) return Stream::CopyFrom(source, count);
  readLength_ = 0;
  file->position_ += done;
  position_ += done;
  if (ownSize_ >= 0) ownSize_ = std::max(ownSize_, position_);
  sys::CountFileBytes(2 * done);  // read and written
  if (done < count) {
    if (file->position_ >= file->Size()) throw StreamError(kStreamReadError);
    writeFailed_ = true;
    throw StreamError(kStreamWriteError);
  }
  return count;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::Current) base = position_;
  if (origin == SeekOrigin::End) base = Size();
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

int64_t FileStream::Size() {
  if (readOnly_) return readOnlySize_;
  if (ownSize_ >= 0) return ownSize_;
  // Asked of the file each time: another stream may have grown it.
  const int64_t written = file_.Size().value_or(0);
  return pending_ > 0 ? std::max(written, bufferStart_ + pending_) : written;
}

void FileStream::SetSize(int64_t size) {
  if (readOnly_) throw StreamError(kStreamWriteError);
  Flush();
  size = std::max<int64_t>(size, 0);
  readLength_ = 0;
  if (!file_.Resize(size)) throw StreamError(kStreamWriteError);
  if (ownSize_ >= 0) ownSize_ = size;
  position_ = std::min(position_, size);
}

void FileStream::Flush() {
  if (!WritePending() || writeFailed_) throw StreamError(kStreamWriteError);
}

bool FileStream::SetModifiedTime(int64_t unixSeconds) {
  Flush();
  return file_.SetModifiedTime(unixSeconds);
}

bool FileStream::SetModifiedTimeAtOnce(int64_t unixSeconds) {
  Flush();
  return file_.SetModifiedTimeAtOnce(unixSeconds);
}

bool FileStream::SetAttributes(uint32_t attributes) {
  Flush();
  return file_.SetAttributes(attributes);
}

}  // namespace compression
