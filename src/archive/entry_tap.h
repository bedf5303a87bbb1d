// A stream that passes every call on to another and watches the content
// going through it: the bytes read or written in order from where it
// started may feed a SHA-256, and the furthest point reached is told to a
// callback (a long entry's progress).
#pragma once

#include <functional>
#include <optional>

#include "compression/stream.h"
#include "system/sha256.h"

namespace archive {

class EntryTap : public compression::Stream {
 public:
  EntryTap(compression::Stream& inner, bool hash, std::function<void(int64_t done)> onAdvance = {});

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, compression::SeekOrigin origin) override { return inner_.Seek(offset, origin); }
  int64_t Size() override { return inner_.Size(); }
  void SetSize(int64_t size) override;
  int64_t Position() override { return inner_.Position(); }
  // Without hashing, a copy keeps the inner stream's own (a file's copy
  // done by the system), in pieces between which the progress is told.
  int64_t CopyFrom(compression::Stream& source, int64_t count) override;

  // The digest of the `length` bytes from the start, when every one of them
  // went through once and in order (a codec that read its source twice or
  // out of order gives nullopt: the caller hashes the content itself).
  std::optional<sys::Sha256Digest> Digest(int64_t length);

 private:
  void Saw(int64_t at, const void* bytes, int64_t count);

  compression::Stream& inner_;
  bool hash_;
  std::function<void(int64_t)> onAdvance_;
  int64_t start_;
  int64_t next_;           // where the bytes hashed so far end
  int64_t furthest_ = 0;   // furthest point reached, from the start
  bool inOrder_ = true;
  sys::Sha256 sha_;
};

// The digest of `stream` from its beginning to its end.
sys::Sha256Digest HashOfStream(compression::Stream& stream);

}  // namespace archive
