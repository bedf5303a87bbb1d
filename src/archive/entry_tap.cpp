#include "archive/entry_tap.h"

#include <algorithm>
#include <memory>

namespace archive {

EntryTap::EntryTap(compression::Stream& inner, bool hash, std::function<void(int64_t)> onAdvance)
    : inner_(inner), hash_(hash), onAdvance_(std::move(onAdvance)), start_(inner.Position()), next_(start_) {}

void EntryTap::Saw(int64_t at, const void* bytes, int64_t count) {
  if (count <= 0) return;
  if (hash_) {
    if (at == next_ && inOrder_) {
      sha_.Update(bytes, static_cast<size_t>(count));
      next_ += count;
    } else if (at + count > next_) {
      inOrder_ = false;  // a gap or a second pass over bytes already seen
    }
  }
  furthest_ = std::max(furthest_, at + count - start_);
  if (onAdvance_) onAdvance_(furthest_);
}

int64_t EntryTap::Read(void* buffer, int64_t count) {
  const int64_t at = inner_.Position();
  const int64_t got = inner_.Read(buffer, count);
  Saw(at, buffer, got);
  return got;
}

int64_t EntryTap::Write(const void* buffer, int64_t count) {
  const int64_t at = inner_.Position();
  const int64_t put = inner_.Write(buffer, count);
  Saw(at, buffer, put);
  return put;
}

void EntryTap::SetSize(int64_t size) {
  if (size < next_) inOrder_ = false;
  inner_.SetSize(size);
}

int64_t EntryTap::CopyFrom(compression::Stream& source, int64_t count) {
  if (hash_) return Stream::CopyFrom(source, count);
  constexpr int64_t kPiece = int64_t{4} << 20;
  for (int64_t done = 0; done < count;) {
    const int64_t piece = std::min(kPiece, count - done);
    const int64_t at = inner_.Position();
    inner_.CopyFrom(source, piece);
    done += piece;
    furthest_ = std::max(furthest_, at + piece - start_);
    if (onAdvance_) onAdvance_(furthest_);
  }
  return count;
}

std::optional<sys::Sha256Digest> EntryTap::Digest(int64_t length) {
  if (!hash_ || !inOrder_ || next_ - start_ != length) return std::nullopt;
  return sha_.Finish();
}

sys::Sha256Digest HashOfStream(compression::Stream& stream) {
  constexpr int64_t kChunk = int64_t{1} << 20;
  const std::unique_ptr<uint8_t[]> chunk(new uint8_t[kChunk]);
  sys::Sha256 sha;
  stream.Seek(0, compression::SeekOrigin::Beginning);
  for (int64_t got; (got = stream.Read(chunk.get(), kChunk)) > 0;) sha.Update(chunk.get(), static_cast<size_t>(got));
  return sha.Finish();
}

}  // namespace archive
