// Byte streams of the project: an abstract Stream with a position, and two
// implementations, MemoryStream (owned growable buffer) and FileStream
// (buffered file with 64-bit offsets). The container classes, the codecs'
// callbacks and the archive engine all read and write through this interface.
//
// Failures are raised as StreamError whose what() is the message shown to the
// user as it stands ("Stream read error", "Stream write error", or the
// reason a file could not be opened).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "system/failure.h"
#include "system/platform.h"

namespace compression {

// An I/O failure unless said otherwise; `path` names the file when known.
class StreamError : public sys::FailureError {
 public:
  explicit StreamError(const std::string& message, std::string path = {},
                       sys::FailureKind kind = sys::FailureKind::Io)
      : FailureError(kind, std::move(path), message) {}
};

inline constexpr const char* kStreamReadError = "Stream read error";
inline constexpr const char* kStreamWriteError = "Stream write error";

enum class SeekOrigin { Beginning, Current, End };

class Stream {
 public:
  virtual ~Stream() = default;

  // Reads up to `count` bytes at the position into `buffer` and advances the
  // position by the number read. Returns that number: fewer than `count`
  // only at the end of the content (or when the stream cannot deliver more).
  // A count <= 0 reads nothing and returns 0.
  virtual int64_t Read(void* buffer, int64_t count) = 0;

  // Writes `count` bytes at the position, growing the stream as needed, and
  // advances the position. Returns the number written (fewer than `count`
  // only when the medium refuses more). A count <= 0 writes nothing.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;

  // Moves the position to `offset` relative to the origin and returns the new
  // position from the beginning.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;

  // Size of the content in bytes. The default asks Seek and restores the
  // position.
  virtual int64_t Size();

  // Cuts or extends the content to `size` bytes (new bytes are zero). The
  // position is kept unless it lies beyond the new end.
  virtual void SetSize(int64_t size) = 0;

  // Current position from the beginning.
  virtual int64_t Position() { return Seek(0, SeekOrigin::Current); }

  // Reads exactly `count` bytes or throws StreamError("Stream read error").
  void ReadExact(void* buffer, int64_t count);
  // Writes exactly `count` bytes or throws StreamError("Stream write error").
  void WriteExact(const void* buffer, int64_t count);

  // Copies `count` bytes from the source's position to this stream's
  // position in large chunks; throws "Stream read error" when the source
  // ends early. Returns `count`.
  virtual int64_t CopyFrom(Stream& source, int64_t count);
};

// A stream over an owned, growable byte buffer.
class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<uint8_t> content) : data_(std::move(content)) {}
  explicit MemoryStream(const std::string& content) : data_(content.begin(), content.end()) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Positions below 0 become 0; positions beyond the end are allowed (a
  // later Write fills the gap with zeros).
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override;
  int64_t Position() override { return position_; }

  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }
  std::string ToString() const { return std::string(data_.begin(), data_.end()); }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

// A buffered file stream with 64-bit offsets. One buffer serves either
// reading or writing; the file is read and written at explicit offsets, so
// moving the position costs no system call, and a file written start to end
// in pieces smaller than the buffer reaches the system in one write.
class FileStream : public Stream {
 public:
  enum class Mode {
    Read,       // existing file, reading only
    Create,     // new or emptied file, reading and writing
    CreateNew,  // new file, reading and writing; refused when the name exists
    ReadWrite,  // existing file, reading and writing
  };

  // Opens `path` (bytes as given, forward or backward separators allowed by
  // the platform). Throws StreamError with the text
  // `Cannot open file "<path>". <reason>` when the file cannot be opened.
  // A file that is created gets `permissions` (POSIX bits, limited by the
  // umask; ignored elsewhere).
  FileStream(const std::string& path, Mode mode, uint32_t permissions = 0666);
  // Creates the file `name` inside the held `folder`, refused when anything
  // (a link included) has that name; `path` names the file in messages and
  // to the faults seam. `permissions` as FolderHandle::CreateNewFile. Throws as
  // the constructor above.
  FileStream(const sys::platform::FolderHandle& folder, const std::string& name, const std::string& path,
             int permissions);
  // Writes what is still buffered; a failure here goes unreported, so
  // writers call Flush first.
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Positions below 0 become 0.
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override;
  // Throws "Stream write error" for a file opened with Mode::Read.
  void SetSize(int64_t size) override;
  int64_t Position() override { return position_; }

  // From another file, the system copies the bytes itself when it can.
  int64_t CopyFrom(Stream& source, int64_t count) override;

  // Writes buffered bytes to the file; throws "Stream write error" when
  // they, or any written before, did not reach it.
  void Flush();
  // Flushes, then sets the file's modification time (seconds since 1970
  // UTC). False when the platform refused the time.
  bool SetModifiedTime(int64_t unixSeconds);
  // Flushes, then dates the file now on every platform
  // (sys::platform::FileHandle::SetModifiedTimeAtOnce).
  bool SetModifiedTimeAtOnce(int64_t unixSeconds);
  // Flushes, then sets the open file's attributes (sys::platform::kAttr*).
  bool SetAttributes(uint32_t attributes);

 private:
  // Writes the bytes waiting in the buffer; false when they did not all go.
  bool WritePending();
  uint8_t* Buffer();

  std::string path_;
  sys::platform::FileHandle file_;
  bool readOnly_ = false;
  bool writeFailed_ = false;
  int64_t position_ = 0;
  int64_t readOnlySize_ = -1;  // a read-only file's size, taken at opening
  // The size of a file this stream created under a name no one else knows
  // (nothing else writes to it), kept here rather than asked of the system
  // after every copy; -1 for other files.
  int64_t ownSize_ = -1;
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t capacity_ = 0;
  // The buffer holds file bytes from `bufferStart_`: either `readLength_`
  // bytes read from the file or `pending_` bytes still to be written.
  int64_t bufferStart_ = 0;
  int64_t readLength_ = 0;
  int64_t pending_ = 0;
};

// A seam through which tests make the file system fail without a broken
// disk. `open` is asked before a file is opened and refuses it when it
// answers false (the open fails as in a folder without write permission);
// `write` is asked before each write with the byte count and answers how many
// of those bytes the medium takes (fewer: the write comes up short, as on a
// full disk). Either may be empty. Not for concurrent use; the program never
// installs one.
struct FileFaults {
  std::function<bool(const std::string& path, FileStream::Mode mode)> open;
  std::function<int64_t(const std::string& path, int64_t count)> write;
};
// Installs `faults` for every later file operation ({} removes them).
void SetFileFaults(FileFaults faults);

}  // namespace compression
